// The spare frame buffers: what one image releases the next one gets, so a
// folder of one camera's files clears no fresh pages after the second.
#include "TestRegistry.h"

#include "DngWriter.h"
#include "Kaldris.h"
#include "KaldrisFrames.h"
#include "OpenedFile.h"
#include "io/FramePool.h"

#include <QTest>

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t MB = size_t(1) << 20;

std::vector<uint8_t> bigDng(int width, int height, int seed)
{
    DngFrame f = DngFrame::cfa(width, height, 14, [seed](int x, int y) { return DngFrame::noise(x, y, seed, 14); });
    DngDescription d;
    d.frames.push_back(f);
    std::string error;
    return DngWriter::writeToBytes(d, &error);
}

}

class TestFramePool : public QObject {
    Q_OBJECT

private slots:
    void init() { kaldris::dropSpareFrames(); }
    void cleanup() { kaldris::dropSpareFrames(); }

    // A request gets the smallest spare that fits, unless it needs less than
    // half of it; smaller requests than the pool's floor never touch it.
    void reuseRules_data()
    {
        QTest::addColumn<size_t>("released");
        QTest::addColumn<size_t>("requested");
        QTest::addColumn<bool>("reused");
        QTest::addColumn<size_t>("sparesLeft");
        QTest::newRow("same size") << 48 * MB << 48 * MB << true << size_t(0);
        QTest::newRow("a little smaller") << 48 * MB << 40 * MB << true << size_t(0);
        QTest::newRow("just over half") << 48 * MB << 25 * MB << true << size_t(0);
        QTest::newRow("less than half: freed") << 48 * MB << 23 * MB << false << size_t(0);
        QTest::newRow("too small: kept") << 24 * MB << 48 * MB << false << size_t(1);
        QTest::newRow("below the floor") << 48 * MB << 4 * MB << false << size_t(1);
    }
    void reuseRules()
    {
        QFETCH(size_t, released);
        QFETCH(size_t, requested);
        QFETCH(bool, reused);
        QFETCH(size_t, sparesLeft);
        void *a = kaldris::allocateFrame(released);
        QVERIFY(a);
        std::memset(a, 1, released);
        kaldris::releaseFrame(a);
        QCOMPARE(kaldris::spareFrameCount(), size_t(1));
        QVERIFY(kaldris::spareFrameBytes() >= released);
        void *b = kaldris::allocateFrame(requested);
        QVERIFY(b);
        QCOMPARE(b == a, reused);
        QCOMPARE(kaldris::spareFrameCount(), sparesLeft);
        // Whatever came back is a whole, writable block of the size asked.
        std::memset(b, 2, requested);
        std::free(b);
    }

    void smallestFittingSpareFirst()
    {
        void *big = kaldris::allocateFrame(72 * MB), *mid = kaldris::allocateFrame(48 * MB);
        kaldris::releaseFrame(big);
        kaldris::releaseFrame(mid);
        QCOMPARE(kaldris::allocateFrame(40 * MB), mid);
        QCOMPARE(kaldris::allocateFrame(40 * MB), big);
        QCOMPARE(kaldris::spareFrameCount(), size_t(0));
        kaldris::releaseFrame(mid);
        kaldris::releaseFrame(big);
    }

    void atMostOneSetOfSpares()
    {
        std::vector<void *> blocks;
        for (size_t i = 0; i < kaldris::FramePool::MaxSpares + 2; ++i)
            blocks.push_back(kaldris::allocateFrame(10 * MB));
        for (void *p : blocks)
            kaldris::releaseFrame(p);
        QCOMPARE(kaldris::spareFrameCount(), kaldris::FramePool::MaxSpares);
        // The newest are kept.
        std::vector<void *> taken;
        for (size_t i = 0; i < kaldris::FramePool::MaxSpares; ++i)
            taken.push_back(kaldris::allocateFrame(10 * MB));
        std::sort(taken.begin(), taken.end());
        std::vector<void *> newest(blocks.end() - kaldris::FramePool::MaxSpares, blocks.end());
        std::sort(newest.begin(), newest.end());
        QVERIFY(taken == newest);
        QCOMPARE(kaldris::spareFrameCount(), size_t(0));
        for (void *p : taken)
            std::free(p);
    }

    // Through the library: the next file's raw buffer and processed image
    // are the blocks the previous file released.
    void nextFileGetsTheReleasedBuffers()
    {
        const std::vector<uint8_t> a = bigDng(2400, 1800, 1), b = bigDng(2400, 1800, 2);
        QVERIFY(!a.empty() && !b.empty());
        Opened first = openAndUnpack(a);
        QCOMPARE(first.unpackRc, 0);
        void *raw = first.k->imgdata.rawdata.raw_alloc;
        QCOMPARE(first.k->dcraw_process(), 0);
        kaldris_processed_image_t *rgb = first.k->dcraw_make_mem_image_ex(nullptr, nullptr);
        QVERIFY(rgb);
        Kaldris::dcraw_clear_mem(rgb);
        first.k->recycle();
        QCOMPARE(kaldris::spareFrameCount(), size_t(2));

        Opened second = openAndUnpack(b);
        QCOMPARE(second.unpackRc, 0);
        QCOMPARE(second.k->imgdata.rawdata.raw_alloc, raw);
        QCOMPARE(second.k->dcraw_process(), 0);
        kaldris_processed_image_t *again = second.k->dcraw_make_mem_image_ex(nullptr, nullptr);
        QCOMPARE(again, rgb);
        QCOMPARE(kaldris::spareFrameCount(), size_t(0));
        // The reused buffer holds the second file's data, not the first's.
        Opened fresh = openAndUnpack(b);
        QVERIFY(unpacked(*second.k) == unpacked(*fresh.k));
        Kaldris::dcraw_clear_mem(again);
    }
};

TW_REGISTER_TEST(TestFramePool)
#include "TestFramePool.moc"
