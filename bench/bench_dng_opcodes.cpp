// The DNG opcode lists on a 24-megapixel (6000x4000) phone-like mosaic: four
// 17x17 gain maps in OpcodeList2, one a Bayer site, as phones write their
// lens shading. Timed two ways: the list applied by itself to the unpacked
// frame (around black, with a per-row black offset), and unpack at "Stage 1
// & 2" against unpack at "Stage 1". Beside them one all-core read of the
// frame, the yardstick: the gain maps read and write every value once, so
// the target is within 4x of that read.

#include "BenchClock.h"
#include "DngWriter.h"
#include "Kaldris.h"
#include "PhoneDng.h"
#include "formats/DngOpcodeList.h"

#include <QCoreApplication>

#include <cstdio>
#include <vector>

namespace {

constexpr int Runs = 9;

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    PhoneDng phone;
    phone.width = 6000;
    phone.height = 4000;
    phone.points = 17;
    std::printf("writing a %dx%d phone-like DNG (%d-point gain maps x 4) ...\n", phone.width, phone.height, phone.points);
    const DngDescription description = phone.description();
    const std::vector<uint8_t> file = DngWriter::writeToBytes(description);
    const std::vector<uint8_t> &list2 = description.frames[0].opcodeList2;
    std::printf("load average %.2f\n", BenchClock::loadAverage());

    // The list by itself, on a copy of the stored values each run.
    const std::vector<uint16_t> &stored = description.frames[0].samples;
    std::vector<uint16_t> frame(stored);
    kaldris::DngOpcodeList list(list2, 2);
    kaldris_opcodes_t notes{};
    list.addNotes(notes);
    kaldris::OpcodeImage img;
    img.data = frame.data();
    img.pitch = size_t(phone.width);
    img.rows = img.boundsRows = phone.height;
    img.cols = img.boundsCols = phone.width;
    img.mosaic = true;
    img.white = phone.white;
    img.blackRow = [&](int row, float *black, int count) {
        const float level = float(phone.black + PhoneDng::rowDelta(row));
        for (int x = 0; x < count; ++x)
            black[x] = level;
    };
    img.blackPeriod = 2;
    const std::vector<double> apply = BenchClock::runTimes(Runs, 1, [&] {
        frame = stored;
        list.apply(img, notes, nullptr);
    });
    const std::vector<double> copy = BenchClock::runTimes(Runs, 1, [&] { frame = stored; });
    std::vector<double> applyOnly;
    for (size_t i = 0; i < apply.size(); ++i)
        applyOnly.push_back(apply[i] - BenchClock::median(copy));

    auto unpackTimes = [&](unsigned flags) {
        return BenchClock::runTimes(Runs, 1, [&] {
            Kaldris_fast k;
            k.imgdata.params.processing_flags = flags;
            k.imgdata.params.max_raw_memory_mb = 0;
            if (k.open_buffer(file.data(), file.size()) != 0 || k.unpack() != 0)
                std::fprintf(stderr, "unpack failed\n");
        });
    };
    const std::vector<double> stage1 = unpackTimes(KALDRIS_PROC_DNG_ENHANCED);
    const std::vector<double> stage2 = unpackTimes(KALDRIS_PROC_DNG_ENHANCED | KALDRIS_PROC_DNG_STAGE2);
    const std::vector<double> read = BenchClock::allCoreReadTimes(stored.data(), stored.size(), Runs);

    const double r = BenchClock::median(read);
    const double a = BenchClock::median(applyOnly);
    const double u1 = BenchClock::median(stage1), u2 = BenchClock::median(stage2);
    std::printf("all-core read of the frame:          %8.2f ms (best %.2f)\n", r, BenchClock::best(read));
    std::printf("OpcodeList2 applied (copy deducted): %8.2f ms  ratio %.2f (target <= 4)\n", a, a / r);
    std::printf("unpack, Stage 1:                     %8.2f ms\n", u1);
    std::printf("unpack, Stage 1 & 2:                 %8.2f ms  difference %.2f ms, ratio %.2f\n", u2, u2 - u1,
                (u2 - u1) / r);
    std::printf("load average %.2f\n", BenchClock::loadAverage());
    return 0;
}
