#include "tiff/TiffIfd.h"

#include <algorithm>

namespace kaldris {

const TiffEntry *TiffIfd::get(uint16_t tag) const
{
    auto it = std::lower_bound(entries.begin(), entries.end(), tag,
                               [](const TiffEntry &e, uint16_t t) { return e.tag() < t; });
    return it != entries.end() && it->tag() == tag ? &*it : nullptr;
}

uint64_t TiffIfd::u(uint16_t tag, uint64_t fallback, uint32_t index) const
{
    const TiffEntry *e = get(tag);
    return e && index < e->count() ? e->u(index) : fallback;
}

double TiffIfd::f(uint16_t tag, double fallback, uint32_t index) const
{
    const TiffEntry *e = get(tag);
    return e && index < e->count() ? e->f(index) : fallback;
}

const TiffIfd *TiffIfd::subIfd(uint16_t tag) const
{
    for (const auto &[t, ifd] : tagged)
        if (t == tag)
            return ifd.get();
    return nullptr;
}

}
