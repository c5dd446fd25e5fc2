// kaldris-dump: prints what the decoding library makes of a raw file and
// writes its unpacked data, thumbnail or rendering.
#include "Kaldris.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void usage()
{
    std::fprintf(stderr,
                 "usage: kaldris-dump FILE [--frame N] [--previews] [--raw OUT.pgm] [--thumb OUT.jpg] [--rgb OUT.ppm]\n"
                 "                    [--wb daylight|asshot|auto] [--space 0-6] [--gamma POWER,SLOPE] [--no-auto-bright]\n"
                 "                    [--max-memory MB (default 1024, 0: no limit)] [--flags N] [--arw2-threshold N]\n"
                 "                    [--stage 1|2|3 (DNG opcode lists applied, default 1)]\n");
}

std::string num(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
}

template <class T> std::string list(const T *v, int n)
{
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i)
            s += ' ';
        s += num(double(v[i]));
    }
    return s;
}

bool writeRaw(const kaldris_data_t &d, const char *path)
{
    const auto &s = d.sizes;
    int comps = d.rawdata.raw_image ? 1 : d.rawdata.color3_image ? 3 : d.rawdata.color4_image ? 4 : 0;
    if (!comps)
        return false;
    const ushort *src = static_cast<const ushort *>(d.rawdata.raw_alloc);
    FILE *f = std::fopen(path, "wb");
    if (!f)
        return false;
    if (comps == 1)
        std::fprintf(f, "P5\n%d %d\n65535\n", s.raw_width, s.raw_height);
    else if (comps == 3)
        std::fprintf(f, "P6\n%d %d\n65535\n", s.raw_width, s.raw_height);
    else
        std::fprintf(f, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL 65535\nTUPLTYPE %s\nENDHDR\n", s.raw_width,
                     s.raw_height, comps, comps == 3 ? "RGB" : "RGB_ALPHA");
    std::vector<unsigned char> row(size_t(s.raw_width) * comps * 2);
    bool ok = true;
    for (int y = 0; y < s.raw_height && ok; ++y) {
        const ushort *r = src + size_t(y) * (s.raw_pitch / 2);
        for (size_t i = 0; i < size_t(s.raw_width) * comps; ++i) {
            row[2 * i] = uint8_t(r[i] >> 8);
            row[2 * i + 1] = uint8_t(r[i]);
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

bool writeFile(const char *path, const void *data, size_t n, const char *header = nullptr)
{
    FILE *f = std::fopen(path, "wb");
    if (!f)
        return false;
    bool ok = (!header || std::fputs(header, f) >= 0) && std::fwrite(data, 1, n, f) == n;
    return std::fclose(f) == 0 && ok;
}

}

int main(int argc, char **argv)
{
    const char *file = nullptr, *rawOut = nullptr, *thumbOut = nullptr, *rgbOut = nullptr;
    unsigned frame = 0;
    std::string wb = "daylight";
    int space = 1;
    double gamma[2] = {0.45, 4.5};
    bool autoBright = true;
    bool previews = false;
    long flags = -1;
    int arw2Threshold = 0;
    int stage = 0;
    // The program's default limit, so a file refused there is refused here.
    unsigned maxMemory = 1024;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--frame" && more)
            frame = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--max-memory" && more)
            maxMemory = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--flags" && more)
            flags = std::strtol(argv[++i], nullptr, 0);
        else if (a == "--stage" && more)
            stage = std::atoi(argv[++i]);
        else if (a == "--arw2-threshold" && more)
            arw2Threshold = std::atoi(argv[++i]);
        else if (a == "--raw" && more)
            rawOut = argv[++i];
        else if (a == "--thumb" && more)
            thumbOut = argv[++i];
        else if (a == "--rgb" && more)
            rgbOut = argv[++i];
        else if (a == "--wb" && more)
            wb = argv[++i];
        else if (a == "--space" && more)
            space = std::atoi(argv[++i]);
        else if (a == "--gamma" && more) {
            if (std::sscanf(argv[++i], "%lf,%lf", &gamma[0], &gamma[1]) < 1) {
                usage();
                return 2;
            }
        } else if (a == "--previews")
            previews = true;
        else if (a == "--no-auto-bright")
            autoBright = false;
        else if (!file && a[0] != '-')
            file = argv[i];
        else {
            usage();
            return 2;
        }
    }
    if (!file || (wb != "daylight" && wb != "asshot" && wb != "auto") || space < 0 || space > 6 || stage < 0
        || stage > 3) {
        usage();
        return 2;
    }

    Kaldris_fast k;
    kaldris_data_t &d = k.imgdata;
    d.params.shot_select = frame;
    d.params.max_raw_memory_mb = maxMemory;
    if (flags >= 0)
        d.params.processing_flags = unsigned(flags);
    if (previews)
        d.params.processing_flags |= KALDRIS_PROC_DNG_PREVIEWS;
    // The program's "Apply DNG opcodes" choice: stage 1 always, then 2, then 3.
    if (stage) {
        d.params.processing_flags &= ~unsigned(KALDRIS_PROC_DNG_STAGE2 | KALDRIS_PROC_DNG_STAGE3);
        if (stage >= 2)
            d.params.processing_flags |= KALDRIS_PROC_DNG_STAGE2;
        if (stage >= 3)
            d.params.processing_flags |= KALDRIS_PROC_DNG_STAGE3;
    }
    d.params.arw2_delta_threshold = arw2Threshold;
    int rc = k.open_file(file);
    if (rc == KALDRIS_SUCCESS)
        rc = k.unpack();
    if (rc != KALDRIS_SUCCESS) {
        std::fprintf(stderr, "%s: %s\n", file, Kaldris::strerror(rc));
        return 1;
    }

    const auto &s = d.sizes;
    char when[64] = "";
    if (d.other.timestamp) {
        struct tm t;
        localtime_r(&d.other.timestamp, &t);
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &t);
    }
    kaldris_decoder_info_t info{};
    k.get_decoder_info(&info);
    unsigned cb[6 + 64] = {};
    const unsigned pat = std::min(d.color.cblack[4] * d.color.cblack[5], 64u);
    std::printf("format: %s\n", d.idata.format);
    std::printf("decoder: %s\n", info.decoder_name);
    std::printf("decoder_flags: %u\n", info.decoder_flags);
    std::printf("make: %s\nmodel: %s\nunique_model: %s\n", d.idata.make, d.idata.model, d.idata.unique_model);
    std::printf("file_make: %s\nfile_model: %s\n", d.idata.file_make, d.idata.file_model);
    if (d.idata.in_database)
        std::printf("camera_database: %s %s%s%s\n", d.idata.make, d.idata.model, *d.idata.camera_mode ? " mode " : "",
                    d.idata.camera_mode);
    else
        std::printf("camera_database: not found\n");
    const bool fileMatrix = d.color.dng_color[0].has_colormatrix || d.color.dng_color[1].has_colormatrix;
    std::printf("colour_matrix: %s\n", d.color.builtin_color.has_colormatrix
                                          ? (fileMatrix ? "database (built-in), file (embedded)" : "database")
                                          : fileMatrix ? "file" : "none: camera colours");
    std::printf("timestamp: %lld\n", (long long)d.other.timestamp);
    if (*when)
        std::printf("capture_time: %s\n", when);
    std::printf("dng_version: %u\n", d.idata.dng_version);
    std::printf("dng_version_bytes: %u %u %u %u\n", d.idata.dng_version >> 24, (d.idata.dng_version >> 16) & 255,
                (d.idata.dng_version >> 8) & 255, d.idata.dng_version & 255);
    std::printf("raw_count: %u\n", d.idata.raw_count);
    std::printf("raw_width: %d\nraw_height: %d\nwidth: %d\nheight: %d\n", s.raw_width, s.raw_height, s.width, s.height);
    std::printf("top_margin: %d\nleft_margin: %d\nraw_pitch: %u\nflip: %d\n", s.top_margin, s.left_margin, s.raw_pitch,
                s.flip);
    std::printf("crop: %d %d %d %d\n", s.left_margin, s.top_margin, s.width, s.height);
    std::printf("colors: %d\nfilters: 0x%x\ncdesc: %s\n", d.idata.colors, d.idata.filters, d.idata.cdesc);
    std::printf("black: %u\n", d.color.black);
    std::printf("black_source: %s\nwhite_source: %s\n", d.color.black_source, d.color.white_source);
    for (int i = 0; i < d.color.black_area_count && i < 4; ++i)
        std::printf("black_area: %s\n", list(d.color.black_areas[i], 4).c_str());
    for (unsigned i = 0; i < 6 + pat; ++i)
        cb[i] = d.color.cblack[i];
    std::printf("cblack: %s\n", list(cb, int(6 + pat)).c_str());
    std::printf("black_delta_avg: %s\n", num(d.color.black_delta_avg).c_str());
    std::printf("black_row_deltas: %u\nblack_col_deltas: %u\n", d.color.black_row_delta_count,
                d.color.black_col_delta_count);
    std::printf("maximum: %u\n", d.color.maximum);
    std::printf("linear_max: %s\n", list(d.color.linear_max, 4).c_str());
    std::printf("as_shot_multipliers: %s\n", list(d.color.cam_mul, 4).c_str());
    std::printf("daylight_multipliers: %s\n", list(d.color.pre_mul, 4).c_str());
    std::printf("iso_speed: %s\nshutter: %s\naperture: %s\nfocal_len: %s\n", num(d.other.iso_speed).c_str(),
                num(d.other.shutter).c_str(), num(d.other.aperture).c_str(), num(d.other.focal_len).c_str());
    std::printf("floating_point: %d\n", k.is_floating_point());
    std::printf("sraw: %d\nsraw_midpoint: %d\n", k.is_sraw(), k.sraw_midpoint());
    std::printf("fnorm: %s\n", num(d.color.fnorm).c_str());
    std::printf("thumb_format: %d\nthumb_length: %u\n", d.thumbnail.tformat, d.thumbnail.tlength);
    std::printf("decode_errors: %u\n", d.decode_errors);
    std::printf("baseline_exposure: %s\n", num(d.color.baseline_exposure).c_str());
    std::printf("opcodes: %u\n", d.opcodes.count + d.opcodes.more);

    int status = 0;
    if (rawOut && !writeRaw(d, rawOut)) {
        std::fprintf(stderr, "%s: cannot write\n", rawOut);
        status = 1;
    }
    if (thumbOut) {
        rc = k.unpack_thumb();
        if (rc != KALDRIS_SUCCESS) {
            std::fprintf(stderr, "%s: %s\n", file, Kaldris::strerror(rc));
            status = 1;
        } else if (!writeFile(thumbOut, d.thumbnail.thumb, d.thumbnail.tlength)) {
            std::fprintf(stderr, "%s: cannot write\n", thumbOut);
            status = 1;
        }
    }
    if (rgbOut) {
        d.params.use_camera_wb = wb == "asshot";
        d.params.use_auto_wb = wb == "auto";
        d.params.output_color = space;
        d.params.gamm[0] = gamma[0];
        d.params.gamm[1] = gamma[1];
        d.params.no_auto_bright = !autoBright;
        rc = k.dcraw_process();
        kaldris_processed_image_t *img = rc == KALDRIS_SUCCESS ? k.dcraw_make_mem_image_ex(nullptr, &rc) : nullptr;
        if (!img) {
            std::fprintf(stderr, "%s: %s\n", file, Kaldris::strerror(rc));
            status = 1;
        } else {
            char header[64];
            std::snprintf(header, sizeof header, "%s\n%d %d\n255\n", img->colors == 1 ? "P5" : "P6", img->width,
                          img->height);
            if ((img->colors != 1 && img->colors != 3) || !writeFile(rgbOut, img->data, img->data_size, header)) {
                std::fprintf(stderr, "%s: cannot write\n", rgbOut);
                status = 1;
            }
            Kaldris::dcraw_clear_mem(img);
        }
    }
    // Printed last: OpcodeList3 is applied (or not) by the rendering.
    for (unsigned i = 0; i < d.opcodes.count; ++i) {
        const kaldris_opcode_note_t &n = d.opcodes.notes[i];
        std::printf("opcode: list %u %s (%u)%s: %s\n", unsigned(n.list), Kaldris::opcodeName(n.id), n.id,
                    n.optional ? " optional" : "", Kaldris::opcodeStateText(n.state));
    }
    if (d.opcodes.more)
        std::printf("opcode: %u more not listed\n", d.opcodes.more);
    return status;
}
