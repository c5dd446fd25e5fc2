// kaldrisf: the raw-decoding library's one public header.
//
// Coordinates: `filters`, fcol() and COLOR() are relative to the visible
// origin (top_margin, left_margin). The cblack pattern is in raw coordinates.
// Buffers: after unpack() exactly one of raw_image / color3_image /
// color4_image is set; rows are raw_pitch bytes (raw_width x 2 x components).
// No exception ever leaves this interface: every call returns a code.
#ifndef KALDRIS_H
#define KALDRIS_H

#include <cstddef>
#include <cstdint>
#include <ctime>

class QString;

typedef unsigned short ushort;

enum KaldrisError {
    KALDRIS_SUCCESS = 0,
    KALDRIS_UNSPECIFIED_ERROR = -1,
    KALDRIS_FILE_UNSUPPORTED = -2,
    KALDRIS_REQUEST_FOR_NONEXISTENT_IMAGE = -3,
    KALDRIS_OUT_OF_ORDER_CALL = -4,
    KALDRIS_NO_THUMBNAIL = -5,
    KALDRIS_UNSUPPORTED_THUMBNAIL = -6,
    KALDRIS_INPUT_CLOSED = -7,
    KALDRIS_NOT_IMPLEMENTED = -8,
    KALDRIS_IO_ERROR = -9,
    KALDRIS_TRUNCATED = -10,
    KALDRIS_CORRUPT = -11,
    KALDRIS_UNSUPPORTED_CFA = -12,
    KALDRIS_UNSUPPORTED_COMPRESSION = -13,
    KALDRIS_TOO_BIG = -14,
    KALDRIS_OUT_OF_MEMORY = -15,
    KALDRIS_DATA_ERROR = -16,
    KALDRIS_NOT_PROCESSED = -17,
    // A camera format we recognise but do not read, one code a format family.
    KALDRIS_CANON_CR3_UNSUPPORTED = -18,
    KALDRIS_CANON_CRW_UNSUPPORTED = -19,
    KALDRIS_NIKON_UNSUPPORTED = -20,
    KALDRIS_PENTAX_UNSUPPORTED = -21,
    KALDRIS_SONY_UNSUPPORTED = -22,
    KALDRIS_SAMSUNG_UNSUPPORTED = -23,
    KALDRIS_PANASONIC_UNSUPPORTED = -24,
    KALDRIS_OLYMPUS_UNSUPPORTED = -25,
    KALDRIS_FUJIFILM_UNSUPPORTED = -26,
    KALDRIS_PHASEONE_UNSUPPORTED = -27,
    KALDRIS_HASSELBLAD_UNSUPPORTED = -28,
    KALDRIS_LEAF_UNSUPPORTED = -29,
    KALDRIS_KODAK_UNSUPPORTED = -30,
    KALDRIS_MINOLTA_UNSUPPORTED = -31,
    KALDRIS_EPSON_UNSUPPORTED = -32,
    KALDRIS_MAMIYA_UNSUPPORTED = -33,
    KALDRIS_SIGMA_UNSUPPORTED = -34,
};

// Processing-flag bits (kaldris_output_params_t::processing_flags).
//
// The ARW2 analysis modes, read at unpack, for Sony ARW 2 compressed data
// only (decoder flag KALDRIS_DECODER_SONYARW2; the first bit set wins). A
// block codes 16 same-colour pixels of a row: two base pixels, its maximum
// and minimum, and fourteen delta pixels, each the minimum plus a 7-bit
// delta times the block's step (1 << shift).
//   BASE_ONLY   the two base pixels keep their values, the fourteen others read 0.
//   DELTA_ONLY  the fourteen delta pixels keep their values, the base pixels read 0.
//   DELTA_ZERO  each delta pixel reads curve(its code) - curve(the block's
//               minimum), base pixels 0: with the linear curve the caller
//               sets for this mode, its coded delta times the step.
//   DELTA_STEP  every pixel reads S x 16384 / V (integer, at most the white
//               level `maximum`), where V is its value on the file's own
//               curve (14-bit) and S the span on that curve of one step up
//               from its code (down from the top code when there is no room
//               above); V below params.arw2_delta_threshold reads 0, V = 0
//               reads the white level. The values do not go through the
//               data block's curve (state KALDRIS_STATE_CURVE_NOT_USED).
// A block whose maximum and minimum positions coincide cannot be decoded:
// it counts a decode error and every pixel takes the block's minimum.
// When the curve of the data block is linear over the 2048 codes at unpack
// (the caller's "linear" curve), black and white are given as codes too.
enum : unsigned {
    KALDRIS_PROC_ARW2_BASE_ONLY = 0x1,
    KALDRIS_PROC_ARW2_DELTA_ONLY = 0x2,
    KALDRIS_PROC_ARW2_DELTA_ZERO = 0x4,
    KALDRIS_PROC_ARW2_DELTA_STEP = 0x8,
    KALDRIS_PROC_SIGMA_RG_INTERP = 0x10,
    KALDRIS_PROC_SIGMA_AF_INTERP = 0x20,
    KALDRIS_PROC_4SHOT_MERGE = 0x40,
    KALDRIS_PROC_SRAW_YCC = 0x100,
    KALDRIS_PROC_SRAW_NO_INTERP = 0x200,
    KALDRIS_PROC_DNG_DEFAULT_CROP = 0x1000,
    KALDRIS_PROC_ALWAYS_10000 = 0x10000,
    KALDRIS_PROC_DNG_ENHANCED = 0x40000,
    KALDRIS_PROC_DNG_PREVIEWS = 0x80000,
    KALDRIS_PROC_ALWAYS_100000 = 0x100000,
    KALDRIS_PROC_DNG_STAGE2 = 0xa00000,
    KALDRIS_PROC_DNG_STAGE3 = 0x400000,
};

// Decoder-information flags.
enum : unsigned {
    KALDRIS_DECODER_HASCURVE = 0x10,
    KALDRIS_DECODER_SONYARW2 = 0x20,
};

// State-word bits (kaldris_data_t::progress_flags).
enum : unsigned {
    KALDRIS_STATE_OPENED = 0x1,
    KALDRIS_STATE_UNPACKED = 0x2,
    KALDRIS_STATE_PROCESSED = 0x4,
    KALDRIS_STATE_CURVE_NOT_USED = 0x20000,   // the curve does not describe the unpacked values
};

enum kaldris_thumbnail_format_t {
    KALDRIS_THUMBNAIL_UNKNOWN = 0,
    KALDRIS_THUMBNAIL_JPEG = 1,
};

struct kaldris_decoder_info_t {
    const char *decoder_name;
    unsigned decoder_flags;
};

struct kaldris_image_sizes_t {
    ushort raw_height, raw_width;
    ushort height, width;
    ushort top_margin, left_margin;
    ushort iheight, iwidth;
    unsigned raw_pitch;          // bytes a row of the unpacked buffer
    ushort rotated_width;        // 0 = ordinary sensor; else a 45-degree sensor, and filters
                                 // is the pattern of the upright image its diagonals make up
    ushort rotated_layout;
    int flip;                    // EXIF/DNG orientation as read; data stay unrotated
};

struct kaldris_iparams_t {
    char make[64];
    char model[64];
    char unique_model[64];
    unsigned raw_count;          // frames in the file
    unsigned dng_version;        // 0 = not a DNG; else the four version bytes, first in the top byte
    int colors;                  // distinct filter colours (3 for an RGB Bayer pattern), or samples a pixel
    unsigned filters;            // 0 none, 9 = 6x6 pattern in xtrans[][], >= 1000 2 bits a site over 8x2
    char xtrans[6][6];           // colours of a 6x6 pattern, visible coordinates
    char cdesc[5];               // colour letters, index = colour
    unsigned is_foveon;          // sensor-type flag
    // make and model above are the camera database's names where it knows
    // the camera; these are the file's own strings
    char file_make[64];
    char file_model[64];
    char camera_mode[32];        // the database entry's mode ("sRaw1", ...), empty for none
    int in_database;             // the camera was found in the database
    char format[32];             // the file format as users name it ("Canon CR2", "DNG")
};

struct kaldris_imgother_t {
    float iso_speed;
    float shutter;
    float aperture;
    float focal_len;
    time_t timestamp;            // capture time, local time as written by the camera
    unsigned shot_order;
    char desc[512];
    char artist[64];
};

struct kaldris_rawdata_t {
    void *raw_alloc;             // the library's own allocation (one of the three below)
    ushort *raw_image;           // 1 value a pixel
    ushort (*color3_image)[3];   // 3 values a pixel
    ushort (*color4_image)[4];   // 4 values a pixel
    float *float_image;          // the floating-point data before convertFloatToInt (null otherwise)
    int float_components;
};

// Colour data kept from the DNG tags for rendering.
struct kaldris_dng_color_t {
    int illuminant;              // CalibrationIlluminant
    float colormatrix[4][3];     // ColorMatrix: XYZ to camera
    float calibration[4][4];     // CameraCalibration
    float forwardmatrix[3][4];   // ForwardMatrix: camera to XYZ(D50)
    int has_colormatrix, has_calibration, has_forwardmatrix;
};

struct kaldris_colordata_t {
    ushort curve[0x10000];       // tone curve (LinearizationTable); identity when none
    unsigned black;              // common black level
    unsigned cblack[4104];       // [0..3] per colour, [4] pattern height, [5] width, [6..] pattern (raw coordinates);
                                 // a pixel's level is black + cblack[colour] + its pattern entry
    unsigned maximum;            // white level
    unsigned linear_max[4];      // black + LinearResponseLimit x (maximum - black), per colour; 0 = unknown
    float cam_mul[4];            // as-shot multipliers (G = 1 scale; [3] = [1] for RGB); 0 = unknown
    float pre_mul[4];            // daylight multipliers
    float analog_balance[4];
    float as_shot_white_xy[2];   // AsShotWhiteXY, 0 when absent
    kaldris_dng_color_t dng_color[2];   // the file's own colour data
    kaldris_dng_color_t builtin_color;  // the camera database's matrix (D65), has_colormatrix 0 when none
    float black_delta_avg;       // informational: the average of BlackLevelDeltaH/V (already
                                 // in the per-row/column arrays below, not in black)
    // Per-row and per-column black offsets (DNG BlackLevelDeltaV / H), raw
    // coordinates: a pixel's level also gains black_row_delta[row] +
    // black_col_delta[column]. Counts are raw_height / raw_width, or 0 when
    // the file has none; the arrays belong to the library.
    const float *black_row_delta;
    unsigned black_row_delta_count;
    const float *black_col_delta;
    unsigned black_col_delta_count;
    float baseline_exposure;
    float fnorm;                 // normalisation factor of convertFloatToInt (0 = left as is)
    int zero_is_bad;             // zero-valued pixels mark defects
    // Where the levels came from ("file", "masked area", "database", "bit depth"),
    // and the masked areas (x, y, width, height; raw coordinates) black was measured on.
    char black_source[16];
    char white_source[16];
    ushort black_areas[4][4];
    int black_area_count;
};

// How the library handled each opcode of a DNG file's three opcode lists.
enum kaldris_opcode_state_t {
    KALDRIS_OPCODE_NOT_REQUESTED = 0,    // its list's stage is not selected
    KALDRIS_OPCODE_APPLIED = 1,
    KALDRIS_OPCODE_SKIPPED_OPTIONAL = 2, // not known here, marked optional
    KALDRIS_OPCODE_SKIPPED_BOUNDS = 3,   // parameters outside the image or its own data
    KALDRIS_OPCODE_NOT_APPLICABLE = 4,   // not for this kind of data (a warp on a mosaic, float data)
    KALDRIS_OPCODE_UNKNOWN = 5,          // not known here and not optional: its list is not applied
    KALDRIS_OPCODE_LIST_REFUSED = 6,     // in a list that another opcode keeps from being applied
};

struct kaldris_opcode_note_t {
    unsigned id;                 // the DNG opcode number
    unsigned char list;          // 1, 2 or 3
    unsigned char state;         // kaldris_opcode_state_t
    unsigned char optional;
    unsigned char reserved;
};

struct kaldris_opcodes_t {
    unsigned count;              // notes filled
    unsigned more;               // opcodes beyond the notes' room
    kaldris_opcode_note_t notes[64];
};

struct kaldris_thumbnail_t {
    int tformat;                 // kaldris_thumbnail_format_t
    ushort twidth, theight;
    unsigned tlength;
    int tcolors;
    char *thumb;                 // tlength bytes after unpack_thumb()
};

struct kaldris_output_params_t {
    // input
    unsigned shot_select;        // frame to open, in file order
    unsigned processing_flags;   // KALDRIS_PROC_*; default KALDRIS_PROC_DNG_ENHANCED
    unsigned max_raw_memory_mb;  // refuse files whose raw data exceed it (0 = no limit)
    int use_fast_unpacker;
    int dng_sdk_mode;
    int arw2_delta_threshold;
    float coolscan_gamma;
    const char **custom_camera_strings;
    int threads;                 // upper bound on worker threads (0 or 1 = caller decides)
    int user_flip;               // orientation override (data stay unrotated)
    int user_qual;               // interpolation-quality override (0 = default)
    // rendering
    int use_camera_wb;
    int use_auto_wb;
    int use_camera_matrix;       // 0 built-in where known, else file; 3 file's matrices
    int output_color;            // 0 raw, 1 sRGB, 2 Adobe, 3 WideGamut, 4 ProPhoto, 5 Rec. 2020, 6 Display P3
    double gamm[2];              // power, toe slope (0 = pure power)
    int no_auto_bright;
    float auto_bright_thr;       // fraction of pixels allowed to clip
    int no_auto_scale;           // scaling-off switch
    int user_black;              // -1 = unset
    int user_cblack[4];          // -1000001 = unset
    int user_sat;                // -1 = unset
};

struct kaldris_data_t {
    kaldris_image_sizes_t sizes;
    kaldris_iparams_t idata;
    kaldris_imgother_t other;
    kaldris_rawdata_t rawdata;
    kaldris_colordata_t color;
    kaldris_thumbnail_t thumbnail;
    kaldris_opcodes_t opcodes;
    kaldris_output_params_t params;
    unsigned progress_flags;     // state word, KALDRIS_STATE_*
    unsigned process_warnings;
    unsigned decode_errors;      // count of partly unusable pieces (tiles, strips)
    size_t processed_data_size;  // bytes of the processed image's data block
};

// The processed image: 16 bytes of header, then the pixel data.
struct kaldris_processed_image_t {
    ushort height, width, colors, bits;
    unsigned data_size;
    unsigned reserved;
    unsigned char data[1];
};

struct KaldrisPrivate;

class Kaldris {
public:
    explicit Kaldris(unsigned flags = 0);
    virtual ~Kaldris();
    Kaldris(const Kaldris &) = delete;
    Kaldris &operator=(const Kaldris &) = delete;

    kaldris_data_t imgdata;

    virtual int get_decoder_info(kaldris_decoder_info_t *info) const;
    virtual int is_phaseone_compressed() const;

    int open_file(const char *path, int64_t max_buffered = 1);
    int open_buffer(const void *data, size_t size);
    int unpack();
    virtual int unpack_thumb();
    virtual void recycle();

    virtual int is_jpeg_thumb() const;
    int is_floating_point() const;
    void convertFloatToInt(float dmin, float dmax, float target);
    virtual int is_sraw() const;
    int sraw_midpoint() const;
    int is_coolscan_nef() const;

    int fcol(int row, int col) const;
    int COLOR(int row, int col) const;

    virtual int adjust_bl();
    int adjust_sizes_info_only();
    virtual int phase_one_subtract_black(ushort *src, ushort *dest);
    virtual int phase_one_correct();

    int dcraw_process();
    void free_image();

    static const char *strerror(int code);
    // DNG opcode names ("GainMap"; "Unknown" for a number not in the DNG
    // format) and the words for a kaldris_opcode_state_t.
    static const char *opcodeName(unsigned id);
    static const char *opcodeStateText(int state);
    static int cameraCount();
    static const char **cameraList();
    static void dcraw_clear_mem(kaldris_processed_image_t *img);

protected:
    KaldrisPrivate *d;
};

class Kaldris_fast : public Kaldris {
public:
    explicit Kaldris_fast(unsigned flags = 0);
    ~Kaldris_fast() override;

    virtual int open_qfile(const QString &path, int64_t max_buffered = 1);
    virtual int unpack();
    virtual int clearZeroPixels();
    virtual int get_phaseone_blacklevel();
    virtual int get_other_blacklevel(int *levels, int channels);
    kaldris_processed_image_t *dcraw_make_mem_image_ex(kaldris_processed_image_t *previous, int *errcode);
};

#endif
