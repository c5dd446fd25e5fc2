// One of a DNG file's three opcode lists (OpcodeList1/2/3), parsed within
// the tag's bytes, and its application to an image, opcode after opcode.
// The list's data are big-endian whatever the file's byte order.
#ifndef KALDRIS_DNGOPCODELIST_H
#define KALDRIS_DNGOPCODELIST_H

#include "Kaldris.h"
#include "formats/DngOpcodes.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kaldris {

class DngOpcodeList {
public:
    struct Entry {
        unsigned id = 0;
        unsigned flags = 0;          // bit 0: optional
        uint64_t offset = 0, length = 0;
        bool cut = false;            // its parameters run past the list's data
        bool optional() const { return flags & 1; }
    };

    DngOpcodeList() = default;
    DngOpcodeList(std::vector<uint8_t> bytes, int list);

    bool empty() const { return m_entries.empty(); }
    const std::vector<Entry> &entries() const { return m_entries; }
    // An opcode not known here and not optional keeps the whole list from
    // being applied, as do more opcodes than any camera writes.
    bool refused() const;

    // Adds a note for each opcode, as not requested.
    void addNotes(kaldris_opcodes_t &notes) const;
    // Applies the list to `img` and records what each opcode did;
    // TrimBounds opcodes reach `trim` with their rectangle.
    void apply(OpcodeImage &img, kaldris_opcodes_t &notes, const std::function<void(const DngOpcodes::Rect &)> &trim) const;
    // Marks this list's notes with `state` (data the list cannot be applied to).
    void markAll(kaldris_opcodes_t &notes, int state) const;

private:
    void setState(kaldris_opcodes_t &notes, size_t index, int state) const;

    std::vector<uint8_t> m_bytes;
    std::vector<Entry> m_entries;
    uint32_t m_ignored = 0;      // opcodes past the most this library takes
    int m_list = 0;
};

}

#endif
