// Which vector instructions the per-pixel rendering loops run: the baseline
// build's or, where the processor has it, AVX2. Both are compiled from the
// same loop bodies, and every operation in them is exact or rounded per
// element, so they give the same values; AVX2 only takes more at a time.
#ifndef KALDRIS_VECTORISA_H
#define KALDRIS_VECTORISA_H

#if defined(__x86_64__) && defined(__GNUC__)
#define KALDRIS_HAVE_AVX2 1
// No FMA with it: a fused multiply-add rounds once where the baseline rounds twice.
#define KALDRIS_TARGET_AVX2 [[gnu::target("avx2,no-fma")]]
#else
#define KALDRIS_HAVE_AVX2 0
#define KALDRIS_TARGET_AVX2
#endif

namespace kaldris {

enum class Isa { Baseline, Avx2 };

// The best the processor runs, within the limit.
Isa bestIsa();
bool isaAvailable(Isa isa);
// For comparing the paths: caps what bestIsa() returns; Avx2 lifts the cap.
void limitIsa(Isa isa);

}

#endif
