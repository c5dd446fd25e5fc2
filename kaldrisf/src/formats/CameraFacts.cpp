#include "formats/CameraFacts.h"

#include "formats/ExifFields.h"

#include <algorithm>
#include <string>

namespace kaldris {

const CameraEntry *CameraFacts::identify(kaldris_data_t &d, std::string_view mode)
{
    const CameraDatabase &db = CameraDatabase::instance();
    std::string idModel;
    const CameraEntry *e = db.find(d.idata.file_make, d.idata.file_model, mode, &idModel);
    if (!e && !mode.empty()) {
        e = db.find(d.idata.file_make, d.idata.file_model, {}, &idModel);
        mode = {};
    }
    d.idata.in_database = e ? 1 : 0;
    ExifFields::copyText(d.idata.camera_mode, sizeof d.idata.camera_mode, std::string(e ? mode : std::string_view()));
    if (!e)
        return nullptr;
    ExifFields::copyText(d.idata.make, sizeof d.idata.make, e->idMake);
    ExifFields::copyText(d.idata.model, sizeof d.idata.model, idModel.empty() ? e->idModel : idModel);
    kaldris_dng_color_t &c = d.color.builtin_color;
    c = kaldris_dng_color_t{};
    if (e->matrixPlanes >= 3 && e->matrixPlanes <= 4 && e->colorMatrix.size() == size_t(e->matrixPlanes) * 3) {
        for (int i = 0; i < e->matrixPlanes; ++i)
            for (int j = 0; j < 3; ++j)
                c.colormatrix[i][j] = float(e->colorMatrix[size_t(i) * 3 + j] / 10000.0);
        c.illuminant = 21;   // the database's matrices are for D65
        c.has_colormatrix = 1;
    }
    return e;
}

unsigned CameraFacts::bayerFilters(const CameraEntry &e, unsigned top, unsigned left)
{
    const int h = e.cfaHeight, w = e.cfaWidth;
    if (h < 1 || w < 1 || h > 8 || w > 2 || 8 % h || e.cfa.size() != size_t(h) * w)
        return 0;
    int colour[8][2];
    for (int r = 0; r < h; ++r) {
        bool hasRed = false;
        for (int c = 0; c < w; ++c)
            hasRed |= e.cfa[size_t(r) * w + c] == 'R';
        for (int c = 0; c < w; ++c) {
            switch (e.cfa[size_t(r) * w + c]) {
            case 'R': colour[r][c] = 0; break;
            case 'G': colour[r][c] = hasRed ? 1 : 3; break;
            case 'B': colour[r][c] = 2; break;
            default: return 0;
            }
        }
    }
    unsigned filters = 0;
    for (unsigned r = 0; r < 8; ++r)
        for (unsigned c = 0; c < 2; ++c)
            filters |= unsigned(colour[(r + top) % h][(c + left) % w]) << (((r << 1) | c) << 1);
    return filters < 1000 ? 0 : filters;
}

void CameraFacts::placeVisibleArea(kaldris_data_t &d, const CameraEntry *cam, const uint32_t *fileArea)
{
    auto &s = d.sizes;
    uint32_t area[4] = {0, 0, s.raw_width, s.raw_height};
    int x, y, w, h;
    if (fileArea)
        std::copy(fileArea, fileArea + 4, area);
    else if (cam && cam->cropRect(s.raw_width, s.raw_height, x, y, w, h))
        area[0] = uint32_t(x), area[1] = uint32_t(y), area[2] = uint32_t(w), area[3] = uint32_t(h);
    s.left_margin = ushort(area[0]);
    s.top_margin = ushort(area[1]);
    s.width = s.iwidth = ushort(area[2]);
    s.height = s.iheight = ushort(area[3]);
}

}
