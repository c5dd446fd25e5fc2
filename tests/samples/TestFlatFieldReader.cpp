#include "FlatFieldReader.h"
#include "TestRegistry.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

namespace {

FlatFieldFile readText(const QByteArray &text)
{
    QByteArray bytes = text;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return FlatFieldReader::read(buffer);
}

const QByteArray head = "Tessivane FlatField Data\n4\t2\tchannels/samples\nFilename: x\tFrame: 1\nSample_Id\tSample_Name\tR\tG\tB\tG2\n";

}

class TestFlatFieldReader : public QObject
{
    Q_OBJECT

private slots:
    void files_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QStringList>("names");
        const QByteArray rows = "1\tA1\t0.5\t1\t0.25\t1\n2\tA2\t1\t0.5\t1\t0.75\n";
        QTest::newRow("whole") << head + rows << 2 << 4 << QStringList{"A1", "A2"};
        QTest::newRow("CR LF") << QByteArray(head + rows).replace("\n", "\r\n") << 2 << 4 << QStringList{"A1", "A2"};
        QTest::newRow("header in 23 characters")
            << QByteArray(head + rows).replace("Data\n", "Dat?\n") << 2 << 4 << QStringList{"A1", "A2"};
        QTest::newRow("other header") << QByteArray(head + rows).replace("FlatField", "Flatfield") << 0 << 0
                                      << QStringList();
        QTest::newRow("header cut short") << QByteArray("Tessivane FlatField\n4\t2\n") << 0 << 0 << QStringList();
        QTest::newRow("3 channels") << QByteArray(head + rows).replace("4\t2\t", "3\t2\t") << 2 << 3 << QStringList();
        QTest::newRow("count 0") << QByteArray(head + rows).replace("4\t2\t", "4\t0\t") << 0 << 4 << QStringList();
        // A count line of one part cannot be used at all.
        QTest::newRow("one-part count line") << QByteArray(head + rows).replace("4\t2\tchannels/samples", "4")
                                             << 0 << 0 << QStringList();
        QTest::newRow("no count line") << QByteArray("Tessivane FlatField Data\n") << 0 << 0 << QStringList();
        QTest::newRow("short record line") << head + "1\tA1\t0.5\t1\t0.25\t1\n7\n" << 2 << 4 << QStringList{"A1"};
        QTest::newRow("record missing at end") << head + "1\tA1\t0.5\n" << 2 << 4 << QStringList{"A1"};
        QTest::newRow("no records") << QByteArray("Tessivane FlatField Data\n4\t2\tchannels/samples\n") << 2 << 4
                                    << QStringList();
        QTest::newRow("empty") << QByteArray() << 0 << 0 << QStringList();
        // A hostile count reads what is there, no more.
        QTest::newRow("spaces and extra fields")
            << head + "1  A1 0.5\t1 0.25 1 extra fields\t9\n2\tA2\t1\t0.5\t1\t0.75\n" << 2 << 4 << QStringList{"A1", "A2"};
        // Millions of fields on one line: only the first six are taken.
        QByteArray wide = head + "1\tA1\t0.5\t1\t0.25\t1";
        for (int i = 0; i < 3000000; ++i)
            wide += " 7";
        QTest::newRow("line of 3 million fields") << wide + "\n2\tA2\n" << 2 << 4 << QStringList{"A1", "A2"};
        QByteArray oversized = head + rows;
        oversized += QByteArray(FlatFieldReader::maxFileSize - oversized.size() + 1, ' ');
        QTest::newRow("over the size cap") << oversized << 0 << 0 << QStringList();
        QTest::newRow("at the size cap") << oversized.chopped(1) << 2 << 4 << QStringList{"A1", "A2"};
        QTest::newRow("huge count") << QByteArray(head + rows).replace("4\t2\t", "4\t2000000000\t") << 2000000000 << 4
                                    << QStringList{"A1", "A2"};
    }
    void files()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        QFETCH(int, channels);
        QFETCH(QStringList, names);
        const FlatFieldFile f = readText(text);
        QCOMPARE(f.count, count);
        QCOMPARE(f.channels, channels);
        QStringList read;
        for (const FlatFieldRecord &r : f.records)
            read << r.name;
        QCOMPARE(read, names);
    }

    void coefficientsOfARecord()
    {
        const FlatFieldFile f = readText(head + "5\tA1\t0.5\t1\t0.25\t1\r\n6\tA2\tnan\n");
        QCOMPARE(f.records.size(), 2);
        QCOMPARE(f.records[0].id, 5);
        QCOMPARE(f.records[0].coeff[0], 0.5f);
        QCOMPARE(f.records[0].coeff[3], 1.0f);
        // Parts that are missing stay 0; "nan" is read as such for the
        // save check to refuse.
        QVERIFY(std::isnan(f.records[1].coeff[0]));
        QCOMPARE(f.records[1].coeff[1], 0.0f);
    }

    void missingFileGivesNothing()
    {
        QTemporaryDir dir;
        const FlatFieldFile f = readFlatFieldFile(dir.filePath("none.ffd"));
        QCOMPARE(f.count, 0);
        QCOMPARE(f.channels, 0);
        QVERIFY(f.records.isEmpty());
    }
};

TW_REGISTER_TEST(TestFlatFieldReader)
#include "TestFlatFieldReader.moc"
