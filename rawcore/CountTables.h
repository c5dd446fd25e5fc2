// The count tables of the bands of one area histogram that run at the same
// time: one table of 32-bit counts a channel in each set, a set lent to a
// band job while it runs. What is cleared and added up afterwards follows
// the number of cores, not the number of bands, and the sets are kept from
// one histogram to the next (fresh ones cost a page fault every 4 KiB).
#ifndef COUNTTABLES_H
#define COUNTTABLES_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CountTables
{
public:
    static constexpr int MaxSets = 64;

    CountTables();
    CountTables(const CountTables &) = delete;
    CountTables &operator=(const CountTables &) = delete;

    // Begins a histogram of `length` values: every set reads as empty.
    void start(int length);
    // A set no running job holds, zeroed on its first loan since start();
    // -1 when all are lent or its memory cannot be had.
    int acquire();
    void release(int set);

    // A slot for every 16-bit value, so a job may count a value before it
    // tests it; the slots at and beyond the length are never read, and a job
    // takes back what it counted there so that they cannot grow.
    int *table(int set, int channel) { return sets[size_t(set)]->counts.data() + size_t(channel) * stride; }
    int64_t *counted(int set) { return sets[size_t(set)]->counted; }

    // For after the jobs: the sets lent since start(), and rows [from, to)
    // of their counts added up into rows of four channels.
    int usedSets() const;
    void sumInto(int *rows, int from, int to) const;
    void totals(int64_t out[4]) const;

    // Frees sets beyond `bytes` of counts.
    void trim(size_t bytes);

private:
    struct Set {
        std::vector<int> counts;
        int64_t counted[4] = {0, 0, 0, 0};
        unsigned generation = 0;
    };

    std::vector<std::unique_ptr<Set>> sets;
    std::atomic<uint64_t> lent{0};
    std::atomic<uint64_t> touched{0};
    unsigned generation = 0;
    // Channel tables a multiple of 64 bytes apart, and not of 4 KiB.
    static constexpr size_t stride = 65536 + 16;
    int length = 0;
};

#endif
