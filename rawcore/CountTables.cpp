#include "CountTables.h"

#include <algorithm>
#include <cstring>
#include <new>

CountTables::CountTables()
{
    sets.resize(MaxSets);
}

void CountTables::start(int n)
{
    length = std::clamp(n, 0, 65536);
    ++generation;
    lent.store(0);
    touched.store(0);
}

int CountTables::acquire()
{
    uint64_t taken = lent.load(std::memory_order_relaxed);
    for (;;) {
        if (taken == ~uint64_t(0))
            return -1;
        const int i = __builtin_ctzll(~taken);
        if (lent.compare_exchange_weak(taken, taken | (uint64_t(1) << i), std::memory_order_acquire))
        {
            std::unique_ptr<Set> &s = sets[size_t(i)];
            if (!s || s->generation != generation) {
                try {
                    if (!s)
                        s = std::make_unique<Set>();
                    if (s->counts.size() < 4 * stride)
                        s->counts.resize(4 * stride);
                } catch (const std::bad_alloc &) {
                    // Never handed out: the jobs count without it.
                    return -1;
                }
                for (size_t k = 0; k < 4; ++k)
                    std::memset(s->counts.data() + k * stride, 0, size_t(length) * sizeof(int));
                std::fill(s->counted, s->counted + 4, 0);
                s->generation = generation;
                touched.fetch_or(uint64_t(1) << i, std::memory_order_relaxed);
            }
            return i;
        }
    }
}

void CountTables::release(int set)
{
    if (set >= 0)
        lent.fetch_and(~(uint64_t(1) << set), std::memory_order_release);
}

int CountTables::usedSets() const
{
    return __builtin_popcountll(touched.load());
}

void CountTables::sumInto(int *rows, int from, int to) const
{
    from = std::max(0, from);
    to = std::min(to, length);
    if (to <= from)
        return;
    bool first = true;
    const uint64_t mask = touched.load();
    for (int i = 0; i < MaxSets; ++i) {
        if (!(mask >> i & 1))
            continue;
        const int *c = sets[size_t(i)]->counts.data();
        for (int k = 0; k < 4; ++k) {
            const int *t = c + size_t(k) * stride;
            int *o = rows + k;
            if (first)
                for (int v = from; v < to; ++v)
                    o[size_t(v) * 4] = t[v];
            else
                for (int v = from; v < to; ++v)
                    o[size_t(v) * 4] += t[v];
        }
        first = false;
    }
    if (first)
        std::memset(rows + size_t(from) * 4, 0, size_t(to - from) * 4 * sizeof(int));
}

void CountTables::totals(int64_t out[4]) const
{
    std::fill(out, out + 4, 0);
    const uint64_t mask = touched.load();
    for (int i = 0; i < MaxSets; ++i)
        if (mask >> i & 1)
            for (int k = 0; k < 4; ++k)
                out[k] += sets[size_t(i)]->counted[k];
}

void CountTables::trim(size_t bytes)
{
    size_t kept = 0;
    for (std::unique_ptr<Set> &s : sets) {
        if (!s)
            continue;
        const size_t b = s->counts.capacity() * sizeof(int);
        if (kept + b > bytes)
            s.reset();
        else
            kept += b;
    }
}
