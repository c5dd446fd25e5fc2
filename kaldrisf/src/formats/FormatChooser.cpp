#include "formats/FormatChooser.h"

#include "formats/ArwDecoder.h"
#include "formats/Cr2Decoder.h"
#include "formats/DngDecoder.h"
#include "formats/NikonDecoder.h"
#include "formats/OrfDecoder.h"
#include "formats/PefDecoder.h"
#include "formats/RafDecoder.h"
#include "formats/Rw2Decoder.h"
#include "formats/SrfDecoder.h"
#include "formats/SrwDecoder.h"
#include "tiff/TiffParser.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace kaldris {

namespace {

constexpr uint16_t tagMake = 271;
constexpr uint16_t tagDngVersion = 50706;

// `magic` may hold NULs, so its length is that of the literal.
template <size_t N> bool startsWith(const ByteStream &f, uint64_t at, const char (&magic)[N])
{
    return f.contains(at, N - 1) && std::memcmp(f.data() + at, magic, N - 1) == 0;
}

// Containers that are not TIFF, recognised by their first bytes.
int familyOfMagic(const ByteStream &f)
{
    if (startsWith(f, 4, "ftypcrx "))
        return KALDRIS_CANON_CR3_UNSUPPORTED;
    if (startsWith(f, 0, "II\x1a") && startsWith(f, 6, "HEAPCCDR"))
        return KALDRIS_CANON_CRW_UNSUPPORTED;
    if (startsWith(f, 0, "\0MRM"))
        return KALDRIS_MINOLTA_UNSUPPORTED;
    if (startsWith(f, 0, "FOVb"))
        return KALDRIS_SIGMA_UNSUPPORTED;
    if ((startsWith(f, 0, "IIII") || startsWith(f, 0, "MMMM")) && startsWith(f, 8, "raw"))
        return KALDRIS_PHASEONE_UNSUPPORTED;
    return KALDRIS_SUCCESS;
}

std::string lowerTrimmed(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    size_t b = s.find_first_not_of(' ');
    s = b == std::string::npos ? std::string() : s.substr(b);
    for (char &c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The format family a TIFF-based file's Make names, for files no decoder of
// ours reads.
int familyOfMake(const std::string &make)
{
    struct Family {
        const char *prefix;
        int code;
    };
    static const Family families[] = {
        {"nikon", KALDRIS_NIKON_UNSUPPORTED},        {"pentax", KALDRIS_PENTAX_UNSUPPORTED},
        {"ricoh", KALDRIS_PENTAX_UNSUPPORTED},       {"asahi", KALDRIS_PENTAX_UNSUPPORTED},
        {"sony", KALDRIS_SONY_UNSUPPORTED},          {"samsung", KALDRIS_SAMSUNG_UNSUPPORTED},
        {"panasonic", KALDRIS_PANASONIC_UNSUPPORTED}, {"leica", KALDRIS_PANASONIC_UNSUPPORTED},
        {"olympus", KALDRIS_OLYMPUS_UNSUPPORTED},    {"om digital", KALDRIS_OLYMPUS_UNSUPPORTED},
        {"fujifilm", KALDRIS_FUJIFILM_UNSUPPORTED},  {"phase one", KALDRIS_PHASEONE_UNSUPPORTED},
        {"hasselblad", KALDRIS_HASSELBLAD_UNSUPPORTED}, {"leaf", KALDRIS_LEAF_UNSUPPORTED},
        {"kodak", KALDRIS_KODAK_UNSUPPORTED},        {"eastman kodak", KALDRIS_KODAK_UNSUPPORTED},
        {"minolta", KALDRIS_MINOLTA_UNSUPPORTED},    {"konica minolta", KALDRIS_MINOLTA_UNSUPPORTED},
        {"seiko epson", KALDRIS_EPSON_UNSUPPORTED},  {"epson", KALDRIS_EPSON_UNSUPPORTED},
        {"mamiya", KALDRIS_MAMIYA_UNSUPPORTED},      {"sigma", KALDRIS_SIGMA_UNSUPPORTED},
    };
    for (const Family &f : families)
        if (make.rfind(f.prefix, 0) == 0)
            return f.code;
    return KALDRIS_FILE_UNSUPPORTED;
}

std::string makeOf(const TiffTree &tree)
{
    for (const auto &ifd : tree.chain)
        if (const TiffEntry *e = ifd->get(tagMake))
            return lowerTrimmed(e->text());
    return {};
}

enum class Candidate { Cr2, Nef, Pef, Arw, Srf, Rw2, Orf, Srw, Dng };

std::unique_ptr<FormatDecoder> make(Candidate c)
{
    if (c == Candidate::Cr2)
        return std::make_unique<Cr2Decoder>();
    if (c == Candidate::Nef)
        return std::make_unique<NikonDecoder>();
    if (c == Candidate::Pef)
        return std::make_unique<PefDecoder>();
    if (c == Candidate::Arw)
        return std::make_unique<ArwDecoder>();
    if (c == Candidate::Srf)
        return std::make_unique<SrfDecoder>();
    if (c == Candidate::Rw2)
        return std::make_unique<Rw2Decoder>();
    if (c == Candidate::Orf)
        return std::make_unique<OrfDecoder>();
    if (c == Candidate::Srw)
        return std::make_unique<SrwDecoder>();
    return std::make_unique<DngDecoder>();
}

}

std::unique_ptr<FormatDecoder> FormatChooser::open(const ByteStream &file, kaldris_data_t &d)
{
    if (int family = familyOfMagic(file))
        fail(family);
    if (RafDecoder::recognises(file)) {
        auto raf = std::make_unique<RafDecoder>();
        raf->open(file, TiffTree{}, d);
        return raf;
    }
    TiffTree tree = TiffParser::parse(file);
    const std::string maker = makeOf(tree);
    const bool dng = tree.chain.front()->has(tagDngVersion);

    // The content decides: a maker's own structure first (whatever the Make
    // says), then DNG; a file its maker's decoder cannot read falls to DNG
    // when it is one.
    std::vector<Candidate> candidates;
    if (Cr2Decoder::recognises(file))
        candidates.push_back(Candidate::Cr2);
    else if (OrfDecoder::recognises(file))
        candidates.push_back(Candidate::Orf);
    else if (Rw2Decoder::recognises(file))
        candidates.push_back(Candidate::Rw2);
    else if (NikonDecoder::recognises(tree))
        candidates.push_back(Candidate::Nef);
    else if (SrfDecoder::recognises(tree))
        candidates.push_back(Candidate::Srf);
    else if (ArwDecoder::recognises(tree))
        candidates.push_back(Candidate::Arw);
    else if (PefDecoder::recognises(tree, maker))
        candidates.push_back(Candidate::Pef);
    else if (SrwDecoder::recognises(tree, maker))
        candidates.push_back(Candidate::Srw);
    if (dng)
        candidates.push_back(Candidate::Dng);
    if (candidates.empty())
        fail(maker == "canon" || maker == "fujifilm" ? KALDRIS_FILE_UNSUPPORTED : familyOfMake(maker));

    int firstError = KALDRIS_SUCCESS;
    const auto clean = std::make_unique<kaldris_data_t>(d);
    for (size_t i = 0; i < candidates.size(); ++i) {
        std::unique_ptr<FormatDecoder> decoder = make(candidates[i]);
        if (i > 0)
            d = *clean;
        try {
            decoder->open(file, i == 0 ? std::move(tree) : TiffParser::parse(file), d);
            return decoder;
        } catch (const DecodeError &e) {
            if (firstError == KALDRIS_SUCCESS)
                firstError = e.code;
            if (e.code == KALDRIS_OUT_OF_MEMORY || e.code == KALDRIS_TOO_BIG)
                break;
        }
    }
    fail(firstError);
}

}
