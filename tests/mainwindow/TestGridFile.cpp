#include "FullDisk.h"
#include "GridSel.h"
#include "MainWindowFixture.h"
#include "SampleRecord.h"
#include "SamplesTableData.h"
#include "TW_SelectionScene.h"
#include "TessivaneGridDialog.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

const QByteArray savedSixByFour = "# Tessivane Grid Settings file\n"
                                  "GridSize: 6x4\n"
                                  "MinCellSize: 10x10\n"
                                  "FillFactor: 29\n"
                                  "StartCorner: 2\n"
                                  "WalkOrder: 1\n"
                                  "NamingOrder: 0\n"
                                  "NamingVisible: 1\n"
                                  "FontSize: 3\n"
                                  "ImageDimensions: 600x400\n"
                                  "GridCorners: 100x50 500x60 520x350 90x330 \n"
                                  "GridCenter: 300x200\n";

} // namespace

class TestGridFile : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;

    void open(const QString &name, int width, int height)
    {
        const QString file = fixture->writeDngOf(name, width, height, [](int x, int y) {
            return static_cast<unsigned short>(1000 + x + 3 * y);
        });
        QVERIFY(!file.isEmpty());
        QVERIFY(window->openFile(file));
        if (!window->gridDialog->isVisible())
            window->switchGridDialog();
    }

private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
    }
    void init()
    {
        window = std::make_unique<Tessivane>();
        window->resize(1200, 900);
        window->show();
    }
    void cleanup() { window.reset(); }

    void loadPlaceSaveIsByteIdentical()
    {
        open(QStringLiteral("same.dng"), 600, 400);
        const QString in = fixture->path(QStringLiteral("in.tgs"));
        QVERIFY(writeAll(in, savedSixByFour));
        TessivaneGridDialog *d = window->gridDialog;
        window->applyGridSettingsFile(in);
        QCOMPARE(d->statusLabel->text(), QStringLiteral("Grid parameters and position loaded"));
        QCOMPARE(d->rowsSpin->value(), 4);
        QCOMPARE(d->columnsSpin->value(), 6);
        QCOMPARE(d->roiSizeSpin->value(), 0.29);
        QVERIFY(d->usePositionCheck->isEnabled());
        d->usePositionCheck->setChecked(true);
        d->placeButton->click();
        QVERIFY(window->scene->gridSelection());
        const QString out = fixture->path(QStringLiteral("out.tgs"));
        window->writeGridSettingsFile(out);
        QCOMPARE(d->statusLabel->text(), QStringLiteral("Grid settings and position saved"));
        QCOMPARE(readAll(out), savedSixByFour);
    }

    void positionScalesToAnotherSize()
    {
        open(QStringLiteral("half.dng"), 300, 200);
        QByteArray text = savedSixByFour;
        text.replace("ImageDimensions: 600x400", "ImageDimensions: 1200x800")
            .replace("GridCorners: 100x50 500x60 520x350 90x330 ", "GridCorners: 200x100 1000x120 1040x700 180x660 ")
            .replace("GridCenter: 300x200", "GridCenter: 600x400");
        const QString in = fixture->path(QStringLiteral("big.tgs"));
        QVERIFY(writeAll(in, text));
        window->applyGridSettingsFile(in);
        window->gridDialog->usePositionCheck->setChecked(true);
        window->gridDialog->placeButton->click();
        GridGeometry g;
        QVERIFY(window->scene->gridGeometry(&g));
        const QPolygonF half({QPointF(50, 25), QPointF(250, 30), QPointF(260, 175), QPointF(45, 165)});
        QCOMPARE(g.corners, half);
        QCOMPARE(g.gridPosition, QPointF(150, 100));
    }

    void brokenFilesLeaveTheDialog()
    {
        open(QStringLiteral("broken.dng"), 600, 400);
        TessivaneGridDialog *d = window->gridDialog;
        d->rowsSpin->setValue(7);
        d->roiSizeSpin->setValue(0.55);
        const QString in = fixture->path(QStringLiteral("broken.tgs"));
        QVERIFY(writeAll(in, "GridSize: 6x4\nFontSize: 3\n"));
        window->applyGridSettingsFile(in);
        QCOMPARE(d->statusLabel->text(),
                 QStringLiteral("<font color=red>Unable to load grid parameters: invalid file</font>"));
        QCOMPARE(d->rowsSpin->value(), 7);
        QCOMPARE(d->roiSizeSpin->value(), 0.55);
        window->applyGridSettingsFile(fixture->path(QStringLiteral("missing.tgs")));
        QCOMPARE(d->rowsSpin->value(), 7);
        // Out-of-range values end at the controls' limits.
        QVERIFY(writeAll(in, "GridSize: 500x0\nMinCellSize: 99x0\nFillFactor: 250\nStartCorner: 9\nFontSize: -3\n"));
        window->applyGridSettingsFile(in);
        QCOMPARE(d->columnsSpin->value(), 99);
        QCOMPARE(d->rowsSpin->value(), 1);
        QCOMPARE(d->minWidthSpin->value(), 50);
        QCOMPARE(d->roiSizeSpin->value(), 1.0);
        QCOMPARE(d->startCornerCombo->currentIndex(), 3);
        QCOMPARE(d->fontSizeCombo->currentIndex(), 0);
        QVERIFY(!d->usePositionCheck->isEnabled());
    }

    void failedSaveShowsTheBox()
    {
        open(QStringLiteral("fail.dng"), 600, 400);
        const QString plain = fixture->path(QStringLiteral("plainfile"));
        QVERIFY(writeAll(plain, "x"));
        window->gridDialog->statusLabel->setText(QStringLiteral("before"));
        const int boxes = MainWindowFixture::closingMessageBoxes(
            [&]() { window->writeGridSettingsFile(plain + QStringLiteral("/grid.tgs")); });
        QCOMPARE(boxes, 1);
        QCOMPARE(window->gridDialog->statusLabel->text(), QStringLiteral("before"));
        QCOMPARE(readAll(plain), QByteArray("x"));
    }

    void saveOnAFullDiskKeepsTheOldFile()
    {
        FullDisk disk;
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.reason()));
        open(QStringLiteral("full.dng"), 600, 400);
        QVERIFY(disk.write(QStringLiteral("grid.tgs"), savedSixByFour));
        QVERIFY(disk.fill());
        window->gridDialog->statusLabel->setText(QStringLiteral("before"));
        const int boxes = MainWindowFixture::closingMessageBoxes(
            [&]() { window->writeGridSettingsFile(disk.filePath(QStringLiteral("grid.tgs"))); });
        QCOMPARE(boxes, 1);
        QCOMPARE(window->gridDialog->statusLabel->text(), QStringLiteral("before"));
        QCOMPARE(disk.read(QStringLiteral("grid.tgs")), savedSixByFour);
        QCOMPARE(disk.files(), QStringList{QStringLiteral("grid.tgs")});
    }

    void cellsBecomeSamplesWithExactStatistics()
    {
        open(QStringLiteral("ramp.dng"), 600, 400);
        TessivaneGridDialog *d = window->gridDialog;
        d->placeButton->click();
        d->openSaveDialogCheck->setChecked(false);
        d->toSamplesButton->click();
        GridGeometry g;
        QVERIFY(window->scene->gridGeometry(&g));
        const QVector<SampleRecord *> &samples = window->samplesData->samples;
        QCOMPARE(samples.size(), g.columns * g.rows);
        for (int k = 0; k < samples.size(); ++k) {
            const SampleRecord *r = samples[k];
            QCOMPARE(r->id, k + 1);
            QCOMPARE(r->name, g.cellNames[g.cellNumbers.indexOf(k + 1)]);
            const area_t &a = r->area;
            QVERIFY(a.width > 0 && a.height > 0);
            // Brute force over the area, all channels together.
            int lo = 65535, hi = 0;
            double sum = 0;
            for (int y = a.top; y < a.top + a.height; ++y)
                for (int x = a.left; x < a.left + a.width; ++x) {
                    const int v = 1000 + x + 3 * y;
                    lo = std::min(lo, v);
                    hi = std::max(hi, v);
                    sum += v;
                }
            int count = 0, got_lo = 65535, got_hi = 0;
            double got_sum = 0;
            for (int c = 0; c < 4; ++c) {
                if (r->count[c] < 1)
                    continue;
                count += r->count[c];
                got_lo = std::min(got_lo, r->min[c]);
                got_hi = std::max(got_hi, r->max[c]);
                got_sum += r->avg[c] * r->count[c];
            }
            QCOMPARE(count, a.width * a.height);
            QCOMPARE(got_lo, lo);
            QCOMPARE(got_hi, hi);
            QVERIFY(qAbs(got_sum - sum) < 1e-6 * sum);
        }
        // Appending turns the save dialog box off.
        window->samplesWindowAppendStatusChanged(true);
        QVERIFY(!d->openSaveDialogCheck->isEnabled());
        window->samplesWindowAppendStatusChanged(false);
        QVERIFY(d->openSaveDialogCheck->isEnabled());
    }
};

TW_REGISTER_TEST(TestGridFile)
#include "TestGridFile.moc"
