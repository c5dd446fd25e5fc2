// tw_make_icc OUTDIR: writes OUTDIR/rgb1.icm .. rgb6.icm, the profiles of the
// renderer's output spaces 1 to 6 (primaries, white point and the power
// curve the program renders them with), so an exported RGB TIFF carries a
// profile that describes its numbers.
#include "OutputSpace.h"

#include <lcms2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool writeProfile(const kaldris::OutputSpace &space, const std::string &path)
{
    cmsCIExyY white = {space.white[0], space.white[1], 1.0};
    cmsCIExyYTRIPLE primaries = {{space.red[0], space.red[1], 1.0},
                                 {space.green[0], space.green[1], 1.0},
                                 {space.blue[0], space.blue[1], 1.0}};
    cmsToneCurve *curve = cmsBuildGamma(nullptr, space.displayGamma);
    if (!curve)
        return false;
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    if (!profile)
        return false;
    cmsSetProfileVersion(profile, 2.1);

    char text[160];
    std::snprintf(text, sizeof text, "Tessivane %s, gamma %.1f", space.name, space.displayGamma);
    cmsMLU *description = cmsMLUalloc(nullptr, 1);
    cmsMLU *copyright = cmsMLUalloc(nullptr, 1);
    bool ok = description && copyright && cmsMLUsetASCII(description, "en", "US", text)
        && cmsMLUsetASCII(copyright, "en", "US", "No copyright, use freely")
        && cmsWriteTag(profile, cmsSigProfileDescriptionTag, description)
        && cmsWriteTag(profile, cmsSigCopyrightTag, copyright);
    if (description)
        cmsMLUfree(description);
    if (copyright)
        cmsMLUfree(copyright);

    cmsUInt32Number size = 0;
    ok = ok && cmsSaveProfileToMem(profile, nullptr, &size) && size > 128;
    std::vector<unsigned char> bytes(size);
    ok = ok && cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    if (!ok)
        return false;
    // No creation date, so the build makes the same bytes every time.
    std::memset(bytes.data() + 24, 0, 12);

    std::string temp = path + ".tmp";
    FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f)
        return false;
    ok = std::fwrite(bytes.data(), 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tw_make_icc OUTDIR\n");
        return 2;
    }
    for (int i = 1; i <= kaldris::OutputSpace::Count; ++i) {
        std::string path = std::string(argv[1]) + "/rgb" + std::to_string(i) + ".icm";
        if (!writeProfile(*kaldris::OutputSpace::byIndex(i), path)) {
            std::fprintf(stderr, "tw_make_icc: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
