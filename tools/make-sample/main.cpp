// tw_make_sample OUTPUT.dng: writes the bundled sample raw file.
#include "DngWriter.h"
#include "SampleScene.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.dng\n", argv[0]);
        return 2;
    }
    const std::string path = argv[1];
    const std::string partial = path + ".part";
    std::string error;
    // Written aside and renamed, so a failed run never leaves half a file
    // that the build would take as up to date.
    if (!DngWriter::writeFile(SampleScene::build(), partial, &error)) {
        std::fprintf(stderr, "tw_make_sample: %s\n", error.c_str());
        std::remove(partial.c_str());
        return 1;
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "tw_make_sample: cannot rename %s to %s\n", partial.c_str(), path.c_str());
        std::remove(partial.c_str());
        return 1;
    }
    return 0;
}
