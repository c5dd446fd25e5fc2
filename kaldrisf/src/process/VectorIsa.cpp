#include "VectorIsa.h"

#include <atomic>

namespace kaldris {

namespace {

std::atomic<int> limit{int(Isa::Avx2)};

}

bool isaAvailable(Isa isa)
{
    if (isa == Isa::Baseline)
        return true;
#if KALDRIS_HAVE_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
#else
    return false;
#endif
}

Isa bestIsa()
{
    if (limit.load(std::memory_order_relaxed) >= int(Isa::Avx2) && isaAvailable(Isa::Avx2))
        return Isa::Avx2;
    return Isa::Baseline;
}

void limitIsa(Isa isa)
{
    limit.store(int(isa), std::memory_order_relaxed);
}

}
