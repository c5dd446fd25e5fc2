#include "formats/DngOpcodeList.h"

#include "io/ByteStream.h"
#include "io/DecodeError.h"

#include <algorithm>

namespace kaldris {

DngOpcodeList::DngOpcodeList(std::vector<uint8_t> bytes, int list) : m_bytes(std::move(bytes)), m_list(list)
{
    const ByteStream s(m_bytes.data(), m_bytes.size(), true);
    if (!s.contains(0, 4))
        return;
    const uint32_t count = s.u32(0);
    uint64_t at = 4;
    // The count is a claim; the bytes there are the bound. Cameras write a
    // few dozen at the most; a list of thousands would only cost time.
    constexpr uint32_t maxOpcodes = 1024;
    for (uint32_t i = 0; i < count && s.contains(at, 16); ++i) {
        if (m_entries.size() == maxOpcodes) {
            m_ignored = uint32_t(std::min<uint64_t>(count - i, (s.size() - at) / 16));
            break;
        }
        Entry e;
        e.id = s.u32(at);
        e.flags = s.u32(at + 8);
        const uint64_t length = s.u32(at + 12);
        e.offset = at + 16;
        e.length = s.available(e.offset, length);
        e.cut = e.length < length;
        m_entries.push_back(e);
        if (e.cut)
            break;
        at = e.offset + length;
    }
}

bool DngOpcodeList::refused() const
{
    if (m_ignored)
        return true;
    for (const Entry &e : m_entries)
        if (!DngOpcodes::known(e.id) && !e.optional())
            return true;
    return false;
}

void DngOpcodeList::addNotes(kaldris_opcodes_t &notes) const
{
    const unsigned room = sizeof notes.notes / sizeof notes.notes[0];
    notes.more += m_ignored;
    for (const Entry &e : m_entries) {
        if (notes.count >= room) {
            ++notes.more;
            continue;
        }
        kaldris_opcode_note_t &n = notes.notes[notes.count++];
        n.id = e.id;
        n.list = (unsigned char)m_list;
        n.state = KALDRIS_OPCODE_NOT_REQUESTED;
        n.optional = e.optional() ? 1 : 0;
        n.reserved = 0;
    }
}

void DngOpcodeList::setState(kaldris_opcodes_t &notes, size_t index, int state) const
{
    size_t seen = 0;
    for (unsigned i = 0; i < notes.count; ++i)
        if (notes.notes[i].list == m_list && seen++ == index) {
            notes.notes[i].state = (unsigned char)state;
            return;
        }
}

void DngOpcodeList::markAll(kaldris_opcodes_t &notes, int state) const
{
    for (size_t i = 0; i < m_entries.size(); ++i)
        setState(notes, i, state);
}

void DngOpcodeList::apply(OpcodeImage &img, kaldris_opcodes_t &notes,
                          const std::function<void(const DngOpcodes::Rect &)> &trim) const
{
    if (refused()) {
        for (size_t i = 0; i < m_entries.size(); ++i) {
            const Entry &e = m_entries[i];
            setState(notes, i, !DngOpcodes::known(e.id) && !e.optional() ? KALDRIS_OPCODE_UNKNOWN : KALDRIS_OPCODE_LIST_REFUSED);
        }
        return;
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry &e = m_entries[i];
        // A run of gain maps (a phone's lens shading, one a Bayer site) goes in one pass.
        size_t run = 0;
        while (i + run < m_entries.size() && m_entries[i + run].id == DngOpcodes::GainMap && !m_entries[i + run].cut)
            ++run;
        if (run >= 2) {
            std::vector<ByteStream> params;
            for (size_t k = i; k < i + run; ++k)
                params.emplace_back(m_bytes.data() + m_entries[k].offset, size_t(m_entries[k].length), true);
            std::vector<OpcodeResult> results;
            try {
                results = DngOpcodes::applyGainMaps(params, img);
            } catch (const DecodeError &) {
                results.clear();
            }
            if (results.size() == run) {
                for (size_t k = 0; k < run; ++k)
                    setState(notes, i + k, KALDRIS_OPCODE_APPLIED);
                i += run - 1;
                continue;
            }
        }
        if (!DngOpcodes::known(e.id)) {
            setState(notes, i, KALDRIS_OPCODE_SKIPPED_OPTIONAL);
            continue;
        }
        if (e.cut) {
            setState(notes, i, KALDRIS_OPCODE_SKIPPED_BOUNDS);
            continue;
        }
        const ByteStream params(m_bytes.data() + e.offset, size_t(e.length), true);
        DngOpcodes::Rect rect;
        OpcodeResult r;
        try {
            r = DngOpcodes::apply(e.id, params, img, trim ? &rect : nullptr);
        } catch (const DecodeError &) {
            r = OpcodeResult::OutOfBounds;
        }
        if (r == OpcodeResult::Applied && e.id == DngOpcodes::TrimBounds)
            trim(rect);
        setState(notes, i, r == OpcodeResult::Applied       ? KALDRIS_OPCODE_APPLIED
                           : r == OpcodeResult::OutOfBounds ? KALDRIS_OPCODE_SKIPPED_BOUNDS
                                                            : KALDRIS_OPCODE_NOT_APPLICABLE);
    }
}

}
