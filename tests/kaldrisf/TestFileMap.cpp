// The file read into memory: large files are read in pieces side by side,
// and every byte must land where it belongs, the last piece short or not.
#include "TestRegistry.h"

#include "Kaldris.h"
#include "io/FileMap.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdint>
#include <vector>

class TestFileMap : public QObject {
    Q_OBJECT

private slots:
    void everyByteInPlace_data();
    void everyByteInPlace();
    void missingFile();
};

void TestFileMap::everyByteInPlace_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("empty") << qint64(0);
    QTest::newRow("one byte") << qint64(1);
    QTest::newRow("one piece exactly") << qint64(4 << 20);
    QTest::newRow("pieces and a short last one") << qint64((10 << 20) + 12345);
    QTest::newRow("pieces exactly") << qint64(12 << 20);
}

void TestFileMap::everyByteInPlace()
{
    QFETCH(qint64, size);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint32_t h = 0x12345678u;
    for (uint8_t &b : bytes) {
        h = h * 1664525u + 1013904223u;
        b = uint8_t(h >> 24);
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("file.bin"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(reinterpret_cast<const char *>(bytes.data()), size), size);
    f.close();

    kaldris::FileMap map;
    QCOMPARE(map.mapFile(QFile::encodeName(path).constData()), int(KALDRIS_SUCCESS));
    QCOMPARE(map.size(), size_t(size));
    QVERIFY(map.data());
    QVERIFY(std::equal(bytes.begin(), bytes.end(), map.data()));
}

void TestFileMap::missingFile()
{
    QTemporaryDir dir;
    kaldris::FileMap map;
    QCOMPARE(map.mapFile(QFile::encodeName(dir.filePath(QStringLiteral("none"))).constData()), int(KALDRIS_IO_ERROR));
    QCOMPARE(map.size(), size_t(0));
}

TW_REGISTER_TEST(TestFileMap)

#include "TestFileMap.moc"
