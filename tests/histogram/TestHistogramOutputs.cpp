#include "AtomicFileWriter.h"
#include "FullDisk.h"
#include "BlockableSpinBox.h"
#include "FakeHistogramHost.h"
#include "HistogramCsv.h"
#include "HistogramDrawing.h"
#include "HistogramPage.h"
#include "TessivaneHistogramWindow.h"
#include "TestRegistry.h"

#include <QFile>
#include <QGroupBox>
#include <QTemporaryDir>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

HistogramData oneChannel(const QVector<QPair<int, int>> &values, int length = 4097)
{
    HistogramData d;
    d.imageWidth = 6000;
    d.imageHeight = 4000;
    d.resizeCounts(length);
    d.min[0] = 65535;
    for (const auto &[v, n] : values) {
        d.counts[v][0] += n;
        d.count[0] += n;
        d.distinct[0] += 1;
        d.min[0] = std::min(d.min[0], v);
        d.max[0] = std::max(d.max[0], v);
    }
    return d;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The sum of the count columns of a histogram CSV (columns from the fifth).
long long csvCountSum(const QByteArray &csv, const QString &sep)
{
    long long sum = 0;
    const QStringList lines = QString::fromUtf8(csv).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (int i = 5; i < lines.size(); ++i) {
        const QStringList f = lines.at(i).split(sep);
        for (int c = 4; c < f.size(); ++c)
            sum += QString(f.at(c)).remove(QLatin1Char('"')).toLongLong();
    }
    return sum;
}

}

class TestHistogramOutputs : public QObject
{
    Q_OBJECT
private slots:
    void goldenCsv_data()
    {
        QTest::addColumn<bool>("linear");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("expected");
        const QString head = QStringLiteral(
            "\"Image Data\"\n\"Filename\"|\"a\"\"b.dng\"\n\"Size (W-H)\"|\"6000\"|\"4000\"\n\"Channels\"|\"W\"\n");
        auto with = [](QString text, const QString &sep) { return text.replace(QLatin1Char('|'), sep); };
        const QString linear = head + QStringLiteral(
            "\"LinearStart\"|\"LinearEnd\"|\"EVStart\"|\"EVEnd\"|\"count_W\"\n"
            "\"0\"|\"3\"|\"-11~000\"|\"-8~4150\"|\"7\"\n"
            "\"4\"|\"7\"|\"-8~0000\"|\"-7~1926\"|\"2\"\n");
        const QString ev = head + QStringLiteral(
            "\"EVStart\"|\"EVEnd\"|\"LinearStart\"|\"LinearEnd\"|\"count_W\"\n"
            "\"-1~0000\"|\"-0~50000\"|\"512\"|\"724\"|\"5\"\n"
            "\"-0~50000\"|\"0~0\"|\"724\"|\"1024\"|\"6\"\n");
        auto fill = [&](const QString &t, const QString &sep, const QString &dec) {
            QString s = with(t, sep);
            return s.replace(QLatin1Char('~'), dec);
        };
        QTest::newRow("linear C") << true << "C" << fill(linear, ",", ".");
        QTest::newRow("linear German") << true << "de_DE" << fill(linear, ";", ",");
        QTest::newRow("EV C") << false << "C" << fill(ev, ",", ".");
        QTest::newRow("EV German") << false << "de_DE" << fill(ev, ";", ",");
    }
    void goldenCsv()
    {
        QFETCH(bool, linear);
        QFETCH(QString, locale);
        QFETCH(QString, expected);
        HistogramData d = linear ? oneChannel({{0, 4}, {3, 3}, {5, 2}, {9, 100}})
                                 : oneChannel({{512, 5}, {723, 0}, {800, 6}, {2000, 100}});
        HistogramBinning b;
        b.ev0.set(1024);
        if (linear) {
            b.linearAxis = true;
            b.linearFrom.set(0);
            b.linearTo.set(8);
            b.linearBin.set(4);
        } else {
            b.evFrom.set(-1);
            b.evTo.set(0);
            b.evBinIndex = 0;
        }
        b.computeBins(d, 1, false);
        HistogramCsvOptions o;
        o.fileName = QStringLiteral("a\"b.dng");
        o.channelNames = {QStringLiteral("W")};
        o.usedChannels = 1;
        QCOMPARE(QString::fromUtf8(HistogramCsv::histogramCsv(d, b, o, QLocale(locale))), expected);
    }

    void evTexts()
    {
        const QLocale c = QLocale::c();
        QCOMPARE(HistogramCsv::evText(HistogramBinning::evFromRatio(0, 1024), c), QStringLiteral("-11.000"));
        QCOMPARE(HistogramCsv::evText(HistogramBinning::evFromRatio(512, 1024), c), QStringLiteral("-1.0000"));
        QCOMPARE(HistogramCsv::evText(0.000001, c), QStringLiteral("0.0"));
        QCOMPARE(HistogramCsv::evText(0.5, c), QStringLiteral("0.50000"));
        QCOMPARE(HistogramCsv::evText(150.25, c), QStringLiteral("150.25"));
    }

    // Value 0 and the small powers of two fall in EV parts narrower than one
    // raw value; their pixels still reach the file.
    void evCsvKeepsEveryPixel_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < 12; ++i)
            QTest::newRow(qPrintable(QStringLiteral("1/%1 EV").arg(HistogramBinning::binsPerEv[size_t(i)]))) << i;
    }
    void evCsvKeepsEveryPixel()
    {
        QFETCH(int, index);
        QVector<QPair<int, int>> values{{0, 1000}};
        for (int v = 1; v <= 8192; v *= 2)
            values.append({v, 10 + v % 7});
        const HistogramData d = oneChannel(values, histogramLength(8192));
        HistogramBinning b;
        b.evBinIndex = index;
        b.recomputeRanges(d, 1, 899);
        b.evAuto = false;
        b.evBinIndex = index;
        b.computeBins(d, 1, false);
        HistogramCsvOptions o;
        o.channelNames = {QStringLiteral("W")};
        const QByteArray csv = HistogramCsv::histogramCsv(d, b, o, QLocale::c());
        QCOMPARE(csvCountSum(csv, QStringLiteral(",")), (long long)d.count[0]);
    }

    void constructedAxisKeepsSmallValues()
    {
        QVector<QPair<int, int>> values;
        for (int v = 8; v <= 128; v *= 2)
            values.append({v, 3});
        const HistogramData d = oneChannel(values);
        HistogramBinning b;   // EV0 1024, -7 to 3 EV, 1/96
        b.computeBins(d, 1, false);
        HistogramCsvOptions o;
        o.channelNames = {QStringLiteral("W")};
        const QByteArray csv = HistogramCsv::histogramCsv(d, b, o, QLocale::c());
        QCOMPARE(csvCountSum(csv, QStringLiteral(",")), 15LL);
        QVERIFY(csv.contains("\"8\",\"8\",\"3\"\n"));
    }

    void rgbgModeOneColumns()
    {
        QTemporaryDir dir;
        FakeHistogramHost host;
        host.store.setPrefValue(QStringLiteral("RGBGHistogramMode"), 1);
        HistogramData d;
        d.imageWidth = 100;
        d.imageHeight = 100;
        d.resizeCounts(4097);
        for (int c = 0; c < 4; ++c) {
            d.counts[100 + c][size_t(c)] = 50;
            d.counts[200][size_t(c)] = 50;
            d.min[c] = 100 + c;
            d.max[c] = 200;
            d.count[c] = 100;
            d.distinct[c] = 2;
        }
        TessivaneHistogramWindow w(&d, 0, QRect(), &host);
        w.resize(900, 900);
        w.redraw();
        const QString csv = dir.filePath(QStringLiteral("h.csv")), raw = dir.filePath(QStringLiteral("r.csv"));
        w.writeHistogramCsv(csv);
        w.writeRawDataCsv(raw);
        const QStringList h = QString::fromUtf8(readAll(csv)).split(QLatin1Char('\n'));
        QCOMPARE(h.at(4).count(QStringLiteral("count_")), 3);
        QCOMPARE(h.at(3), QStringLiteral("\"Channels\",\"R\",\"G\",\"B\""));
        const QStringList r = QString::fromUtf8(readAll(raw)).split(QLatin1Char('\n'));
        QCOMPARE(r.at(7), QStringLiteral("\"Value\",\"count_R\",\"count_G\",\"count_B\",\"count_G2\""));
        QCOMPARE(r.at(8), QStringLiteral("\"100\",\"50\",\"0\",\"0\",\"0\""));
        QCOMPARE(r.last(), QString());   // lines end with a newline
        QCOMPARE(r.at(r.size() - 2), QStringLiteral("\"200\",\"50\",\"50\",\"50\",\"50\""));
    }

    void singleValueOpensNoDialog()
    {
        FakeHistogramHost host;
        HistogramData d = oneChannel({{300, 40}});
        host.names.count = 1;
        host.names.isRGB = false;
        host.names.names = {QStringLiteral("W")};
        TessivaneHistogramWindow w(&d, 0, QRect(), &host);
        int asked = 0;
        w.chooseSavePath = [&asked](const TessivaneHistogramWindow::SaveRequest &) {
            ++asked;
            return QString();
        };
        w.saveRAWCSV();
        QCOMPARE(asked, 0);
        w.saveCSV();
        QCOMPARE(asked, 1);
    }

    void rawDataProposal()
    {
        FakeHistogramHost host;
        host.lastFolder = QStringLiteral("/somewhere");
        HistogramData d = oneChannel({{300, 40}, {500, 2}});
        TessivaneHistogramWindow w(&d, 0, QRect(), &host);
        TessivaneHistogramWindow::SaveRequest seen;
        w.chooseSavePath = [&seen](const TessivaneHistogramWindow::SaveRequest &r) {
            seen = r;
            return QString();
        };
        w.saveRAWCSV();
        QCOMPARE(seen.proposedName, QDir::currentPath() + QStringLiteral("/IMG_0001-rawdata.csv"));
        QCOMPARE(seen.folder, QStringLiteral("/somewhere"));
        QCOMPARE(seen.defaultSuffix, QStringLiteral("csv"));
    }

    void pageSizes_data()
    {
        QTest::addColumn<bool>("doubleSize");
        QTest::addColumn<QSize>("size");
        QTest::newRow("scale 1") << false << QSize(920, 1020);
        QTest::newRow("double size") << true << QSize(1840, 2040);
    }
    void pageSizes()
    {
        QFETCH(bool, doubleSize);
        QFETCH(QSize, size);
        HistogramData d = oneChannel({{300, 40}, {500, 2}});
        HistogramBinning b;
        b.computeBins(d, 1, false);
        setHistogramFonts(doubleSize, QStringLiteral("Courier"));
        const QImage page = HistogramPage::renderHistogramImage(b, d, HistogramPlotOptions(), 3, 900, 900, {});
        setHistogramFonts(false, QStringLiteral("Courier"));
        QCOMPARE(page.size(), size);
        // White page, black border.
        QCOMPARE(page.pixel(page.width() / 2, page.height() - 4), QColor(Qt::white).rgb());
        QCOMPARE(page.pixel(page.width() / 2, int(1 / (doubleSize ? 0.5 : 1.0))), QColor(Qt::black).rgb());
        // The program's icon at the top right, from the resources.
        const double scale = doubleSize ? 0.5 : 1.0;
        const int icon = doubleSize ? 128 : 64;
        bool drawn = false;
        for (int y = 0; y < icon && !drawn; ++y)
            for (int x = 0; x < icon && !drawn; ++x)
                drawn = page.pixel(int(840 / scale) + x, int(6 / scale) + y) != QColor(Qt::white).rgb();
        QVERIFY(drawn);
    }

    void failedWriteKeepsTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kept.csv"));
        const QByteArray original("\"old\",\"content\"\n");
        QVERIFY(AtomicFileWriter::writeBytes(path, original, nullptr));
        QString error;
        const bool ok = AtomicFileWriter::write(path, [](QIODevice &d) {
            d.write(QByteArray(100000, 'x'));
            return false;   // the disk filled up half-way
        }, &error);
        QVERIFY(!ok);
        QVERIFY(!error.isEmpty());
        QCOMPARE(readAll(path), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("kept.csv")});
    }

    void pictureQtCannotSave()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("plot.xyz"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep");
        f.close();
        QString error;
        QVERIFY(!AtomicFileWriter::writeImage(path, QImage(10, 10, QImage::Format_RGB32), &error));
        QCOMPARE(readAll(path), QByteArray("keep"));
        QVERIFY(AtomicFileWriter::writeImage(dir.filePath(QStringLiteral("plot.png")),
                                             QImage(10, 10, QImage::Format_RGB32), &error));
        QVERIFY(AtomicFileWriter::writeImage(dir.filePath(QStringLiteral("plot.jpg")),
                                             QImage(10, 10, QImage::Format_RGB32), &error));
    }

    void unwritableFolderIsReported()
    {
        FakeHistogramHost host;
        HistogramData d = oneChannel({{300, 40}, {500, 2}});
        TessivaneHistogramWindow w(&d, 0, QRect(), &host);
        w.redraw();
        int boxes = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&boxes]() {
            if (QWidget *m = QApplication::activeModalWidget()) {
                ++boxes;
                QVERIFY(m->findChildren<QLabel *>().size() > 0);
                m->close();
            }
        });
        timer.start(20);
        w.writeHistogramCsv(QStringLiteral("/nonexistent-folder/x.csv"));
        w.renderHistogramImage(QStringLiteral("/nonexistent-folder/x.png"));
        QCOMPARE(boxes, 2);
    }

    void fullDiskKeepsTheOldFiles()
    {
        FullDisk disk;
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.reason()));
        const QStringList names{QStringLiteral("h.csv"), QStringLiteral("r.csv"), QStringLiteral("p.png")};
        for (const QString &name : names)
            QVERIFY(disk.write(name, "older " + name.toLatin1()));
        QVERIFY(disk.fill());
        FakeHistogramHost host;
        HistogramData d = oneChannel({{300, 40}, {500, 2}});
        TessivaneHistogramWindow w(&d, 0, QRect(), &host);
        w.resize(600, 400);
        w.redraw();
        QStringList texts;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&texts]() {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                texts << box->text();
                box->close();
            }
        });
        timer.start(20);
        w.writeHistogramCsv(disk.filePath(names[0]));
        w.writeRawDataCsv(disk.filePath(names[1]));
        w.renderHistogramImage(disk.filePath(names[2]));
        QCOMPARE(texts.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(texts[i].contains(names[i]) && texts[i].endsWith(QStringLiteral("No space left on device")),
                     qPrintable(texts[i]));
            QCOMPARE(disk.read(names[i]), "older " + names[i].toLatin1());
        }
        QStringList sorted = names;
        sorted.sort();
        QCOMPARE(disk.files(), sorted);
    }
};

TW_REGISTER_TEST(TestHistogramOutputs)
#include "TestHistogramOutputs.moc"
