// Replays a fuzzing corpus (files or folders given as arguments) through the
// fuzz target without libFuzzer, for the sanitizer build and ctest.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static int replayFile(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 1;
}

int main(int argc, char **argv)
{
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto &entry : std::filesystem::recursive_directory_iterator(p))
                if (entry.is_regular_file())
                    count += replayFile(entry.path());
        } else if (std::filesystem::is_regular_file(p)) {
            count += replayFile(p);
        }
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
