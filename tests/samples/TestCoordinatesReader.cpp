#include "SampleCoordinatesReader.h"
#include "TestRegistry.h"

#include <QBuffer>
#include <QTest>

class TestCoordinatesReader : public QObject
{
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<QByteArray>("text");
        // declared, found, loaded, damaged, skipped
        QTest::addColumn<QList<int>>("counts");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<bool>("warns");

        const QByteArray three = "1\t\"a\"\t0\t0\t10\t10\n2\t\"b\"\t10\t10\t5\t5\n3\t\"c\"\t90\t70\t10\t10\n";
        QTest::newRow("as written") << QByteArray("# Tessivane Sample Coordinate Data\nsamples:\t3\n"
                                                  "# Filename: x.dng\tFrame: 1\n"
                                                  "# Sample_Id\tSample_Name\tLeft\tTop\tWidth\tHeight\n")
                                           + three
                                    << QList<int>{3, 3, 3, 0, 0} << QStringList{"a", "b", "c"} << false;
        QTest::newRow("CR LF") << QByteArray("samples:\t3\r\n1\t\"a\"\t0\t0\t10\t10\r\n2\t\"b\"\t10\t10\t5\t5\r\n"
                                             "3\t\"c\"\t90\t70\t10\t10\r\n")
                               << QList<int>{3, 3, 3, 0, 0} << QStringList{"a", "b", "c"} << false;
        QTest::newRow("declared 4, three rows") << QByteArray("samples: 4\n") + three << QList<int>{4, 3, 3, 0, 0}
                                                << QStringList{"a", "b", "c"} << true;
        QTest::newRow("upper case, no colon, later count wins")
            << QByteArray("SAMPLES 7\n  # indented comment\n\n   \nSamples 3\n") + three
            << QList<int>{3, 3, 3, 0, 0} << QStringList{"a", "b", "c"} << false;
        QTest::newRow("count not a number") << QByteArray("samples: many\n") + three << QList<int>{0, 3, 3, 0, 0}
                                            << QStringList{"a", "b", "c"} << true;
        QTest::newRow("damaged forms")
            << QByteArray("samples: 6\n"
                          "1 \"x\" 0 0 10\n"               // five parts
                          "2 \"two words\" 0 0 10 10\n"     // seven parts
                          "3 \"x\" 0 0 0 10\n"              // zero width
                          "4 \"x\" 0 0 10 -1\n"             // negative height
                          "5 \"x\" -1 0 10 10\n"            // negative left
                          "6 \"x\" 0 1.5 10 10\n"           // not an integer
                          "7 \"x\" 0 0 99999999999 10\n"    // past int
                          "8 \"ok\" 1 1 1 1\n"
                          "stray words\n")                  // two parts, not a count
            << QList<int>{6, 6, 1, 8, 0} << QStringList{"ok"} << true;
        QTest::newRow("outside and overflowing")
            << QByteArray("samples: 4\n"
                          "1 a 95 0 10 10\n"                // past the right edge
                          "2 b 0 75 10 10\n"                // past the bottom
                          "3 c 2147483000 0 1000 10\n"      // left + width overflows int
                          "4 d 90 70 10 10\n")              // touches both far edges
            << QList<int>{4, 4, 1, 0, 3} << QStringList{"d"} << true;
        QTest::newRow("quoted names") << QByteArray("samples: 3\n1 \"q\" 0 0 1 1\n2 \"\"inner\"\" 0 0 1 1\n"
                                                    "3 \xc3\xa9t\xc3\xa9 0 0 1 1\n")
                                      << QList<int>{3, 3, 3, 0, 0}
                                      << QStringList{"q", "\"inner\"", QString::fromUtf8("\xc3\xa9t\xc3\xa9")} << false;
        QTest::newRow("empty file") << QByteArray() << QList<int>{0, 0, 0, 0, 0} << QStringList{} << false;
    }
    void reading()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, counts);
        QFETCH(QStringList, names);
        QFETCH(bool, warns);
        QBuffer buffer(&text);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const SampleCoordinatesReader::Result r = SampleCoordinatesReader::read(buffer, 100, 80);
        QCOMPARE((QList<int>{r.declared, r.found, r.loaded(), r.damaged, r.skipped}), counts);
        QStringList got;
        for (const auto &row : r.rows)
            got << row.name;
        QCOMPARE(got, names);
        QCOMPARE(r.hasWarnings(), warns);
    }

    // Files no chart makes: they are refused whole or cut at the row cap,
    // and the warning says so.
    void hostileFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        // loaded, damaged, over the row cap, too large
        QTest::addColumn<QList<int>>("counts");
        const int cap = SampleCoordinatesReader::maxRows;
        const QByteArray row = "1 a 0 0 100 80\n";
        QTest::newRow("rows at the cap") << row.repeated(cap) << QList<int>{cap, 0, 0, 0};
        QTest::newRow("rows past the cap") << row.repeated(cap + 5) << QList<int>{cap, 0, 5, 0};
        QByteArray wide = "1 a 0 0 1 1";
        for (int i = 0; i < 3000000; ++i)
            wide += " 9";
        QTest::newRow("a line of 3 million fields") << wide + "\n" + row << QList<int>{1, 1, 0, 0};
        QByteArray large = row + QByteArray(SampleCoordinatesReader::maxFileSize, '#');
        QTest::newRow("over the size cap") << large << QList<int>{0, 0, 0, 1};
        QTest::newRow("at the size cap") << large.chopped(row.size()) << QList<int>{1, 0, 0, 0};
    }
    void hostileFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<int>, counts);
        QBuffer buffer(&text);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const SampleCoordinatesReader::Result r = SampleCoordinatesReader::read(buffer, 100, 80);
        QCOMPARE((QList<int>{r.loaded(), r.damaged, r.overLimit, int(r.tooLarge)}), counts);
        QCOMPARE(r.hasWarnings(), counts[1] + counts[2] + counts[3] > 0 || r.found != r.declared);
    }

    void rowsKeepTheirRectangles()
    {
        QByteArray text("1 \"p\" 12 34 5 6\n");
        QBuffer buffer(&text);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        const auto r = SampleCoordinatesReader::read(buffer, 100, 80);
        QCOMPARE(r.rows.size(), 1);
        const area_t a = r.rows.at(0).area;
        QCOMPARE((QList<int>{a.top, a.left, a.width, a.height}), (QList<int>{34, 12, 5, 6}));
    }
};

TW_REGISTER_TEST(TestCoordinatesReader)
#include "TestCoordinatesReader.moc"
