// ExifTool's tag lines turned into the summary, the window's table and the
// clipboard text, without a process or a window.
#include "ExifTagLine.h"
#include "ExifTagTable.h"
#include "ExifToolSummary.h"
#include "TestRegistry.h"

#include <QRegularExpression>
#include <QTest>

namespace {

// Distinct colours, so each key's place in the HTML shows.
ColorTable keyedColors()
{
    ColorTable t;
    for (int key = 1; key <= 4; ++key)
        t[key] = QColor(key, 16 * key, 32 * key);
    return t;
}

QString c(int key)
{
    return keyedColors().value(key).name();
}

// The background colours of the data rows, in order.
QStringList rowBackgrounds(const QString &html)
{
    QStringList colours;
    static const QRegularExpression re(QStringLiteral("<tr><td style=\"background-color: (#[0-9a-f]{6});"));
    for (auto it = re.globalMatch(html); it.hasNext();)
        colours << it.next().captured(1);
    return colours;
}

}

class TestExifTags : public QObject
{
    Q_OBJECT
private slots:
    void outputSplitsIntoTagLines_data();
    void outputSplitsIntoTagLines();
    void summaryFields_data();
    void summaryFields();
    void panelTable_data();
    void panelTable();
    void panelFitsLongValues();
    void htmlTable_data();
    void htmlTable();
    void rowColoursRestartAtEachHeading();
    void textTable_data();
    void textTable();
};

void TestExifTags::outputSplitsIntoTagLines_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("final newline") << "---- EXIF ----\nMake\tKaldris\n" << QStringList{"---- EXIF ----", "Make\tKaldris"};
    QTest::newRow("CRLF") << "Make\tKaldris\r\nISO\t100\r\n" << QStringList{"Make\tKaldris", "ISO\t100"};
    QTest::newRow("blank lines") << "\n\nMake\tK\n\r\n  \n" << QStringList{"Make\tK"};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestExifTags::outputSplitsIntoTagLines()
{
    QFETCH(QString, output);
    QFETCH(QStringList, lines);
    QCOMPARE(ExifTagLine::splitOutput(output), lines);
}

void TestExifTags::summaryFields_data()
{
    QTest::addColumn<QStringList>("lines");
    // make, model, make-or-model, exposure, f-number, ISO, compensation, focal, metering, lens
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("-g, two columns")
        << QStringList{"---- EXIF ----", "Make\tNikon", "Camera Model Name\tD850", "Exposure Time\t1/250",
                       "F Number\t5.6", "ISO\t400", "Exposure Compensation\t0", "Focal Length\t50.0 mm",
                       "Metering Mode\tMulti-segment", "---- Composite ----", "Lens ID\tAF-S 50mm f/1.8G"}
        << QStringList{"Nikon", "D850", "D850", "1/250s", "f/5.6", "400", "", "@50.0 mm", "Multi-segment",
                       "AF-S 50mm f/1.8G"};
    QTest::newRow("-G, three columns on the name column")
        << QStringList{"EXIF\tCamera Model Name\tEOS R5", "EXIF\tMake\tCanon", "EXIF\tExposure Time\t0.5",
                       "EXIF\tF Number\t11.0", "EXIF\tExposure Compensation\t-1/3", "Composite\tLens ID\tRF 35mm"}
        << QStringList{"Canon", "EOS R5", "Canon", "0.5s", "f/11.0", "", "-1/3", "", "", "RF 35mm"};
    QTest::newRow("carriage returns left on the lines")
        << QStringList{"Make\tNikon\r", "Exposure Time\t1/8\r", "EXIF\tF Number\t4.0\r"}
        << QStringList{"Nikon", "", "Nikon", "1/8s", "f/4.0", "", "", "", "", ""};
    QTest::newRow("names compare exactly")
        << QStringList{"make\tlower", "Exposure Time Value\t1", "ISO Setting\t200", "Make", "F Number"}
        << QStringList{"", "", "", "", "", "", "", "", "", ""};
    QTest::newRow("a value keeps its tabs")
        << QStringList{"EXIF\tLens ID\tA\tB"}
        << QStringList{"", "", "", "", "", "", "", "", "", "A\tB"};
}

void TestExifTags::summaryFields()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, fields);
    const ExifToolSummary s = ExifToolSummary::read(lines);
    const QStringList got{s.make, s.model, s.makeOrModel, s.exposure, s.fNumber,
                          s.iso, s.compensation, s.focal, s.metering, s.lens};
    QCOMPARE(got, fields);
}

void TestExifTags::panelTable_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<double>("decoderIso");
    QTest::addColumn<QString>("html");

    const QStringList full{"Make\tNikon", "Exposure Time\t1/250", "F Number\t5.6", "ISO\t400",
                           "Metering Mode\tSpot", "Exposure Compensation\t+0.7", "Lens ID\tZoom",
                           "Focal Length\t24.0 mm"};
    auto table = [](const QString &iso) {
        return QStringLiteral("<table><tr><td>DMake DModel</td></tr><tr><td><b>1/250s f/5.6 @ISO %1</b></td></tr>"
                              "<tr><td>Spot <b>+0.7</b></td></tr><tr><td>Zoom</td></tr><tr><td>@24.0 mm</b></td></tr>"
                              "</table>")
            .arg(iso);
    };
    QTest::newRow("decoder ISO") << full << 200.0 << table("200");
    QTest::newRow("decoder ISO 0") << full << 0.0 << table("400");
    QTest::newRow("decoder ISO 65535") << full << 65535.0 << table("400");
    QTest::newRow("decoder ISO beyond int") << full << 1e30 << table("400");
    QTest::newRow("no exposure time") << QStringList{"Make\tNikon", "F Number\t5.6"} << 100.0 << QString();
    QTest::newRow("no f-number") << QStringList{"Make\tNikon", "Exposure Time\t1"} << 100.0 << QString();
    QTest::newRow("make of two letters") << QStringList{"Make\tKX", "Exposure Time\t1", "F Number\t2"} << 100.0
                                         << QString();
    QTest::newRow("no known names") << QStringList{"---- File ----", "File Name\tx.dng"} << 100.0 << QString();
    QTest::newRow("markup shown literally")
        << QStringList{"Make\tNikon", "Exposure Time\t1/250", "F Number\t5.6", "Lens ID\t<b>&"} << 100.0
        << QStringLiteral("<table><tr><td>DMake DModel</td></tr><tr><td><b>1/250s f/5.6 @ISO 100</b></td></tr>"
                          "<tr><td> <b></b></td></tr><tr><td>&lt;b&gt;&amp;</td></tr><tr><td></b></td></tr></table>");
}

void TestExifTags::panelTable()
{
    QFETCH(QStringList, lines);
    QFETCH(double, decoderIso);
    QFETCH(QString, html);
    QCOMPARE(ExifToolSummary::read(lines).panelHtml(QStringLiteral("DMake"), QStringLiteral("DModel"), decoderIso),
             html);
}

void TestExifTags::panelFitsLongValues()
{
    const QStringList lines{"Make\tNikon", "Exposure Time\t1/250", "F Number\t5.6",
                            "Lens ID\tAF-S Zoom-Nikkor 24-70mm f/2.8G ED & a name far too long for any panel"};
    auto fit = [](const QString &s) { return s.size() > 12 ? s.left(11) + QChar(0x2026) : s; };
    const QString html = ExifToolSummary::read(lines).panelHtml(QStringLiteral("DMake"), QStringLiteral("DModel"), 100,
                                                                 fit);
    QVERIFY2(html.contains(QStringLiteral("<td>AF-S Zoom-N\u2026</td>")), qPrintable(html));
    QVERIFY(!html.contains(QStringLiteral("far too long")));
}

void TestExifTags::htmlTable_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("fullWidth");
    QTest::addColumn<QString>("body");   // between the table's opening and closing

    const QString heading = QStringLiteral("<tr><th colspan=2 width=100% align=left style=\"background-color: %1; "
                                           "color: %2;\">EXIF</th></tr>\n")
                                .arg(c(1), c(4));
    const QString two = QStringLiteral("<tr><td style=\"background-color: %1; color: %2;\" width=\"35%\">Make</td>"
                                       "<td style=\"background-color: %1; color: %2;\">Kaldris</td></tr>\n")
                            .arg(c(2), c(1));
    const QString three = QStringLiteral("<tr><td style=\"background-color: %1; color: %2;\">%3</td>"
                                         "<td style=\"background-color: %1; color: %2;\">Kaldris</td></tr>\n");
    QTest::newRow("heading") << QStringList{"---- EXIF ----"} << true << heading;
    QTest::newRow("two fields, not full width") << QStringList{"Make\tKaldris"} << false << two;
    QTest::newRow("three fields") << QStringList{"EXIF\tMake\tKaldris\r"} << true
                                  << three.arg(c(2), c(1), QStringLiteral("EXIF Make"));
    QTest::newRow("empty group") << QStringList{"\tMake\tKaldris"} << true << three.arg(c(2), c(1), QStringLiteral("Make"));
    QTest::newRow("escaped") << QStringList{"<i>&\t\"a\" <b>"} << true
                             << QStringLiteral("<tr><td style=\"background-color: %1; color: %2;\" width=\"35%\">"
                                               "&lt;i&gt;&amp;</td><td style=\"background-color: %1; color: %2;\">"
                                               "&quot;a&quot; &lt;b&gt;</td></tr>\n")
                                    .arg(c(2), c(1));
    QTest::newRow("no lines") << QStringList{} << true << QString();
}

void TestExifTags::htmlTable()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, fullWidth);
    QFETCH(QString, body);
    const QString expected = QStringLiteral("<html><body style=\"background: %1;\"><table %2>%3</table></body></html>")
                                 .arg(c(2), fullWidth ? QStringLiteral("width=100%") : QString(), body);
    QCOMPARE(exifTagsHtml(keyedColors(), lines, fullWidth), expected);
}

void TestExifTags::rowColoursRestartAtEachHeading()
{
    const QStringList lines{"---- A ----", "a\t1", "b\t2", "c\t3", "---- B ----", "d\t4", "G\te\t5"};
    QCOMPARE(rowBackgrounds(exifTagsHtml(keyedColors(), lines, true)),
             (QStringList{c(2), c(3), c(2), c(2), c(3)}));
}

void TestExifTags::textTable_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("text");
    QTest::newRow("-g") << QStringList{"---- EXIF ----", "Make\tNikon", "Camera Model Name\tD850"}
                        << QStringLiteral("---- EXIF ----\n"
                                          "Make               : Nikon\n"
                                          "Camera Model Name  : D850\n");
    QTest::newRow("-G, with an empty group")
        << QStringList{"EXIF\tMake\tNikon", "\tISO\t100", "---- x ----\r"}
        << QStringLiteral("EXIF Make  : Nikon\n"
                          "ISO        : 100\n"
                          "---- x ----\n");
    QTest::newRow("nothing") << QStringList{} << QString();
}

void TestExifTags::textTable()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, text);
    QCOMPARE(exifTagsText(lines), text);
}

TW_REGISTER_TEST(TestExifTags)
#include "TestExifTags.moc"
