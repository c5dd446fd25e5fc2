// Camera facts the raw files do not carry themselves (colour-filter layout,
// visible area, levels, masked areas, colour matrix, decoder hints), read from
// the camera definition file built into the library.
#ifndef KALDRIS_CAMERADATABASE_H
#define KALDRIS_CAMERADATABASE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kaldris {

struct CameraSensor {
    int black = 0, white = 0;
    std::vector<int> blackColors;
    int isoMin = 0, isoMax = 0;   // 0 = open
    std::vector<int> isoList;     // empty = any ISO (within min/max)
};

struct CameraBlackArea {
    bool vertical;                // true: columns offset..offset+size, false: rows
    int offset;
    int size;
};

struct CameraEntry {
    std::string make, model, mode;
    std::string idMake, idModel;
    std::string supported;
    bool isSupported() const;
    int cfaWidth = 0, cfaHeight = 0;
    std::vector<char> cfa;        // row-major 'R','G','B','C','M','Y','W','E' (Fujifilm's second green)
    bool hasCrop = false;
    int cropX = 0, cropY = 0, cropWidth = 0, cropHeight = 0;   // width/height <= 0 count from the right/bottom edge
    std::vector<CameraSensor> sensors;
    std::vector<CameraBlackArea> blackAreas;
    int matrixPlanes = 0;         // 0 = no matrix
    std::vector<int> colorMatrix; // planes x 3, XYZ(D65) to camera, times 10000, row-major
    std::vector<std::pair<std::string, std::string>> hints;   // name, value
    std::vector<std::pair<std::string, std::string>> aliases; // model as files write it, canonical model
    bool hint(std::string_view name, std::string *value = nullptr) const;
    // The sensor levels for an ISO: the entry whose iso_list holds it, else the one whose
    // min/max range holds it, else the one without ISO conditions; null when none.
    const CameraSensor *sensorFor(int iso) const;
    // The crop resolved against a raw area: false when there is no crop or it does not fit inside.
    bool cropRect(int rawWidth, int rawHeight, int &x, int &y, int &w, int &h) const;
};

class CameraDatabase {
public:
    static const CameraDatabase &instance();

    // Parses a definition text; entries that fail to parse are left out, and
    // a text that breaks off keeps the entries complete before the break.
    explicit CameraDatabase(std::string_view xml);

    // make and model as the file writes them (trailing spaces/NULs ignored; make compared
    // case-insensitively, model exactly and then through the aliases); mode "" is the entry
    // without a mode. Null when not found. `idModel` (optional) receives the canonical model.
    const CameraEntry *find(std::string_view make, std::string_view model, std::string_view mode = {},
                            std::string *idModel = nullptr) const;
    // "IDMake IDModel" of every supported entry of the given makes, aliases as lines of
    // their own, sorted, without duplicates.
    // With fileMakes, only entries whose make (as files write it) is one of them: a maker
    // whose cameras write several formats has each one's bodies listed with its decoder.
    std::vector<std::string> supportedCameras(const std::vector<std::string> &idMakes,
                                              const std::vector<std::string> &fileMakes = {}) const;
    size_t size() const { return entries_.size(); }

private:
    struct AliasTarget {
        std::string model;        // the entry's model the alias stands for
        std::string id;
    };

    void addEntry(CameraEntry &&entry);

    std::vector<CameraEntry> entries_;
    std::unordered_map<std::string, size_t> byName_;         // make (lower case), model, mode
    std::unordered_map<std::string, AliasTarget> byAlias_;   // make (lower case), alias
};

}

#endif
