// A hand-filled data block with a pixel buffer the test owns, for driving
// the renderer without a file.
#ifndef RENDERFIXTURE_H
#define RENDERFIXTURE_H

#include "Kaldris.h"
#include "process/ColorMath.h"
#include "process/Renderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

struct RenderFixture {
    static constexpr unsigned RGGB = 0x94949494;

    std::unique_ptr<kaldris_data_t> data = std::make_unique<kaldris_data_t>();
    std::vector<ushort> buffer;
    int components;

    RenderFixture(int width, int height, int comps, unsigned filters, int colors = 3, int margin = 0)
        : components(comps)
    {
        kaldris_data_t &d = *data;
        std::memset(&d, 0, sizeof d);
        d.sizes.raw_width = ushort(width + 2 * margin);
        d.sizes.raw_height = ushort(height + 2 * margin);
        d.sizes.width = ushort(width);
        d.sizes.height = ushort(height);
        d.sizes.top_margin = d.sizes.left_margin = ushort(margin);
        d.sizes.iwidth = d.sizes.width;
        d.sizes.iheight = d.sizes.height;
        d.sizes.raw_pitch = unsigned(d.sizes.raw_width) * 2 * comps;
        d.idata.colors = colors;
        d.idata.filters = filters;
        std::strcpy(d.idata.cdesc, colors == 1 ? "W" : "RGBG");
        d.color.black = 512;
        d.color.maximum = 16383;
        d.params.user_black = -1;
        for (int &c : d.params.user_cblack)
            c = -1000001;
        d.params.user_sat = -1;
        d.params.gamm[0] = 1.0;
        d.params.gamm[1] = 0;
        d.params.output_color = 1;
        d.params.no_auto_bright = 1;
        buffer.assign(size_t(d.sizes.raw_width) * d.sizes.raw_height * comps, 0);
        if (comps == 1)
            d.rawdata.raw_image = buffer.data();
        else if (comps == 3)
            d.rawdata.color3_image = reinterpret_cast<ushort(*)[3]>(buffer.data());
        else
            d.rawdata.color4_image = reinterpret_cast<ushort(*)[4]>(buffer.data());
    }

    kaldris_data_t &d() { return *data; }

    // Visible coordinates.
    ushort &at(int row, int col, int k = 0)
    {
        const kaldris_data_t &dd = *data;
        return buffer[(size_t(row + dd.sizes.top_margin) * dd.sizes.raw_width + col + dd.sizes.left_margin) * components
                      + k];
    }

    // Raw value of a level 0..1 above the black.
    ushort level(double v) const
    {
        double b = data->color.black, w = data->color.maximum;
        return ushort(std::lround(b + std::clamp(v, 0.0, 1.0) * (w - b)));
    }

    int colourAt(int row, int col) const
    {
        const unsigned f = data->idata.filters;
        if (f == 9)
            return data->idata.xtrans[row % 6][col % 6];
        return (f >> ((((row << 1) & 14) | (col & 1)) << 1)) & 3;
    }

    // Every pixel shows the camera colour cam (levels 0..1 above black).
    void fill(const double cam[3])
    {
        for (int r = 0; r < data->sizes.height; ++r)
            for (int c = 0; c < data->sizes.width; ++c) {
                if (components == 1)
                    at(r, c) = level(data->idata.filters ? cam[colourAt(r, c) == 3 ? 1 : colourAt(r, c)] : cam[0]);
                else
                    for (int k = 0; k < 3; ++k)
                        at(r, c, k) = level(cam[k]);
            }
    }

    void setColorMatrix(int slot, int illuminant, const kaldris::Mat3 &xyzToCamera)
    {
        kaldris_dng_color_t &c = data->color.dng_color[slot];
        c.illuminant = illuminant;
        c.has_colormatrix = 1;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                c.colormatrix[i][j] = float(xyzToCamera.m[i][j]);
    }

    kaldris::RenderedImage render(int *rc = nullptr)
    {
        kaldris::RenderedImage out;
        int r = kaldris::renderImage(*data, out);
        if (rc)
            *rc = r;
        return out;
    }

    static const uint8_t *pixel(const kaldris::RenderedImage &img, int row, int col)
    {
        return img.pixels.data() + (size_t(row) * img.width + col) * img.colors;
    }
};

// RGB-to-XYZ of primaries and white (xy), Y of white = 1.
inline kaldris::Mat3 rgbToXyz(const double r[2], const double g[2], const double b[2], const double w[2])
{
    kaldris::Mat3 p;
    const double *prim[3] = {r, g, b};
    for (int j = 0; j < 3; ++j) {
        double xyz[3];
        kaldris::xyToXyz(prim[j], xyz);
        for (int i = 0; i < 3; ++i)
            p.m[i][j] = xyz[i];
    }
    kaldris::Mat3 inv;
    kaldris::invert(p, inv);
    double wx[3], s[3];
    kaldris::xyToXyz(w, wx);
    kaldris::apply(inv, wx, s);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            p.m[i][j] *= s[j];
    return p;
}

// A camera whose own primaries enclose every output space's gamut, so all
// test scenes give non-negative raw values.
inline kaldris::Mat3 wideCameraXyzToCamera()
{
    const double r[2] = {0.85, 0.20}, g[2] = {0.01, 1.05}, b[2] = {0.01, -0.60};
    kaldris::Mat3 toXyz = rgbToXyz(r, g, b, kaldris::WhiteD65), inv;
    kaldris::invert(toXyz, inv);
    return inv;
}

// A camera-like matrix with cross-talk (XYZ to camera).
inline kaldris::Mat3 typicalXyzToCamera()
{
    kaldris::Mat3 m;
    const double v[3][3] = {{0.6722, -0.0635, -0.0963}, {-0.4287, 1.2460, 0.2028}, {-0.0908, 0.2162, 0.5668}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.m[i][j] = v[i][j];
    return m;
}

#endif
