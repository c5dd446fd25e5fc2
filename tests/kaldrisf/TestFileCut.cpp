// A file shortened by another program while the library reads and unpacks
// it: every cut, at any moment, ends in a result code (the file whole or
// "truncated"), never in a fault on one of the decoding threads.
#include "TestRegistry.h"

#include "DngWriter.h"
#include "Kaldris.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <unistd.h>

class TestFileCut : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    std::vector<uint8_t> bytes;

    static DngDescription tiledLossless()
    {
        DngFrame f = DngFrame::cfa(1536, 1024, 14, [](int x, int y) {
            return uint16_t((x * 7 + y * 13 + ((x * y) & 255)) & 0x3fff);
        });
        f.compression = 7;
        f.storage = DngFrame::Storage::Tiles;
        f.tileWidth = f.tileHeight = 256;
        DngDescription d;
        d.frames.push_back(f);
        return d;
    }

    bool writeCopy(const QString &path) const
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()))
                                                   == qint64(bytes.size());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        std::string error;
        bytes = DngWriter::writeToBytes(tiledLossless(), &error);
        QVERIFY2(!bytes.empty(), error.c_str());
    }

    void cutWhileDecoding()
    {
        const QString path = dir.filePath(QStringLiteral("cut.dng"));
        const QByteArray name = QFile::encodeName(path);
        // How long a whole open and unpack takes, to spread the cuts over it.
        QVERIFY(writeCopy(path));
        const auto start = std::chrono::steady_clock::now();
        {
            Kaldris_fast k;
            QCOMPARE(k.open_file(name.constData()), 0);
            QCOMPARE(k.unpack(), 0);
        }
        const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
        std::mt19937 random(34);
        for (int i = 0; i < 60; ++i) {
            QVERIFY(writeCopy(path));
            const long length = long(std::uniform_int_distribution<size_t>(0, bytes.size() - 1)(random));
            const auto delay = std::chrono::microseconds(
                std::uniform_int_distribution<long>(0, long(whole.count()) + 1)(random) - (i % 4 == 0 ? whole.count() / 4 : 0));
            std::thread cutter([&]() {
                if (delay.count() > 0)
                    std::this_thread::sleep_for(delay);
                QVERIFY(::truncate(name.constData(), length) == 0);
            });
            Kaldris_fast k;
            int rc = k.open_file(name.constData());
            if (rc == 0)
                rc = k.unpack();
            if (rc == 0)
                rc = k.unpack_thumb() == int(KALDRIS_TRUNCATED) ? int(KALDRIS_TRUNCATED) : 0;
            cutter.join();
            QVERIFY2(rc == 0 || rc == int(KALDRIS_TRUNCATED) || rc == int(KALDRIS_FILE_UNSUPPORTED),
                     qPrintable(QStringLiteral("cut to %1 bytes: %2").arg(length).arg(Kaldris::strerror(rc))));
        }
    }

    void cutAfterOpenKeepsTheThumbnailReadable()
    {
        const QString path = dir.filePath(QStringLiteral("thumb.dng"));
        const QByteArray name = QFile::encodeName(path);
        QVERIFY(writeCopy(path));
        Kaldris_fast k;
        QCOMPARE(k.open_file(name.constData()), 0);
        QVERIFY(::truncate(name.constData(), 16) == 0);
        QCOMPARE(k.unpack(), 0);
        const int rc = k.unpack_thumb();
        QVERIFY2(rc == 0 || rc == int(KALDRIS_NO_THUMBNAIL), Kaldris::strerror(rc));
    }
};

TW_REGISTER_TEST(TestFileCut)
#include "TestFileCut.moc"
