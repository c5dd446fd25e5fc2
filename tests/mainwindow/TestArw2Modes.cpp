// The Sony ARW 2 analysis modes in the real window: chosen in the
// preferences dialog's "Sony ARW2" group and applied, the open file is
// decoded again; the values under the mouse and what the view draws follow
// the mode, block by block.
#include "ArwWriter.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "RawImage.h"
#include "TW_PrefPane.h"
#include "TW_SelectionScene.h"
#include "TW_SignalingView.h"
#include "TestRegistry.h"
#include "Tessivane.h"
#include "ZoomLevels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsItem>
#include <QGroupBox>
#include <QRadioButton>
#include <QDialogButtonBox>
#include <QDir>
#include <QGraphicsView>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <array>
#include <memory>

namespace {

constexpr int Width = 128, Height = 64, Black = 512, Threshold = 1000;

// The fields of one 16-byte block as the bits lie, least significant first.
struct BlockFields {
    unsigned max = 0, min = 0, imax = 0, imin = 0, shift = 0;
    unsigned codes[16] = {};
};

BlockFields readBlock(const uint8_t *p)
{
    BlockFields b;
    unsigned pos = 0;
    auto get = [&](unsigned bits) {
        unsigned v = 0;
        for (unsigned i = 0; i < bits; ++i, ++pos)
            v |= unsigned(p[pos / 8] >> (pos % 8) & 1) << i;
        return v;
    };
    b.max = get(11);
    b.min = get(11);
    b.imax = get(4);
    b.imin = get(4);
    while (b.shift < 4 && (0x80u << b.shift) <= b.max - b.min)
        ++b.shift;
    for (unsigned i = 0; i < 16; ++i)
        b.codes[i] = i == b.imax ? b.max : i == b.imin ? b.min : std::min(b.min + (get(7) << b.shift), 2047u);
    return b;
}

// The hand-made first block of row 0 (the even columns 0 to 30): maximum
// 1800 at position 3, minimum 1000 at 9, a step of 8, deltas 7 j.
std::array<uint8_t, 16> firstBlock()
{
    unsigned deltas[14];
    for (unsigned j = 0; j < 14; ++j)
        deltas[j] = 7 * j;
    return ArwWriter::packBlock(1800, 1000, 3, 9, deltas);
}

uint16_t code(int x, int y)
{
    const int texture = (x * 37 + y * 91) % 13;
    return uint16_t(std::min(2047, 150 + x * 10 + y * 8 + texture * (x >= Width / 2 ? 25 : 1)));
}

// Values under the mouse: the pointer panel's numbers, summed (a CFA pixel
// shows its own channel, the others 0).
int pointerSum(const QString &html)
{
    static const QRegularExpression cell(QStringLiteral("<td>[^<]*:</td><td>&nbsp;(\\d+)</td>"));
    int sum = 0;
    for (auto it = cell.globalMatch(html); it.hasNext();)
        sum += it.next().captured(1).toInt();
    return sum;
}

}   // namespace

class TestArw2Modes : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
    QString file;
    std::vector<uint8_t> strip;
    std::vector<uint16_t> curve;

    // The decoder's value at raw (x, y) in `mode`, before black.
    int expected(int mode, int x, int y, unsigned maximum, int threshold = Threshold) const
    {
        if (x >= Width / 32 * 32)
            return 0;
        const BlockFields b = readBlock(strip.data() + size_t(y) * Width + size_t(x / 32 * 32 + (x & 1) * 16));
        const unsigned i = unsigned(x % 32 / 2), c = b.codes[i];
        const bool base = i == b.imax || i == b.imin;
        switch (mode) {
        case 1:
            return base ? curve[c] : 0;
        case 2:
            return base ? 0 : curve[c];
        case 3:
            return base ? 0 : int(c - b.min);   // the curve made linear: codes
        case 4: {
            const unsigned v = curve[c];
            if (v < unsigned(threshold))
                return 0;
            const unsigned step = 1u << b.shift, from = std::min(c, 2047u - step);
            const unsigned span = curve[from + step] - curve[from];
            return int(std::min<unsigned>(v ? span * 16384u / v : maximum, maximum));
        }
        default:
            return curve[c];
        }
    }
    // What the window shows of it: black subtracted except in modes 3 and 4.
    int shown(int mode, int x, int y, unsigned maximum) const
    {
        const int v = expected(mode, x, y, maximum);
        return mode >= 3 ? v : std::max(0, v - Black);
    }

    // Chooses the mode and threshold in the open preferences dialog and
    // presses Apply, then Cancel: what Apply wrote stays.
    void chooseInDialog(int mode, int threshold)
    {
        // The enabled states of the threshold, "Linear Raw Curve", "Subtract
        // Black" and the fast decoder once the mode is chosen.
        QList<bool> enabled;
        auto act = [&](QWidget *w) {
            TW_PrefPane *pane = window->prefPane;
            if (w != pane || !enabled.isEmpty())
                return;
            pane->arw2ModeCombo->setCurrentIndex(mode);
            enabled << pane->arw2DeltaThresholdSpin->isEnabled() << pane->linearRawCurveCheck->isEnabled()
                    << pane->subtractBlackCheck->isEnabled() << pane->useRawSpeedCheck->isEnabled();
            pane->arw2DeltaThresholdSpin->setValue(threshold);
            pane->buttonBox->button(QDialogButtonBox::Apply)->click();
            pane->buttonBox->button(QDialogButtonBox::Cancel)->click();
        };
        QVERIFY(ModalDriver::run([&] { window->showPrefs(); }, act));
        QCOMPARE(enabled, (QList<bool>{mode == 4, mode < 3, mode < 3, mode == 0}));
    }

    QPoint viewPoint(int x, int y) const
    {
        return window->view->mapFromScene(window->scene->frameItem()->mapToScene(QPointF(x + 0.5, y + 0.5)));
    }

private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
        ArwDescription d;
        d.width = Width;
        d.height = Height;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                d.values.push_back(code(x, y));
        strip = ArwWriter::encodeArw2(d.values, Width, Height);
        const std::array<uint8_t, 16> first = firstBlock();
        std::copy(first.begin(), first.end(), strip.begin());
        d.arw2Bytes = strip;
        curve = ArwWriter::curveOf(d.toneCurve);
        QCOMPARE(curve.size(), size_t(2048));
        file = fixture->path(QStringLiteral("modes.arw"));
        std::string error;
        QVERIFY2(ArwWriter::writeFile(d, QFile::encodeName(file).toStdString(), &error), error.c_str());
    }

    void init()
    {
        window = std::make_unique<Tessivane>();
        TW_PrefPane *p = window->prefPane;
        p->setPrefValue(QStringLiteral("subtractBlack"), 1);
        p->setPrefValue(QStringLiteral("subtractBlackMethod"), 0);
        p->setPrefValue(QStringLiteral("ARW2SpecialOptions"), 0);
        p->setPrefValue(QStringLiteral("ARW2DeltaThreshold"), 0);
        p->setPrefValue(QStringLiteral("linearRawCurve"), 0);
        p->setPrefValue(QStringLiteral("unloadBeforeLoad"), 0);
        // One screen pixel block a raw pixel, and the pointer on one pixel.
        p->setPrefValue(QStringLiteral("pixels2x2"), 0);
        p->setPrefValue(QStringLiteral("cursor2x2"), 0);
        p->setPrefValue(QStringLiteral("displayMode"), 2);
        window->resize(1200, 900);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->openFile(file));
        window->zoomCombo->setCurrentIndex(ZoomLevels::comboTexts().indexOf(QStringLiteral("500%")));
        QVERIFY(window->compositeRadio->isChecked());
    }
    void cleanup() { window.reset(); }

    // The hand-made block read by hand: base pixels at columns 6 (maximum)
    // and 18 (minimum), the delta pixel j at column 2 i with i = j, j + 1 or
    // j + 2 past the base pixels.
    void handMadeBlock()
    {
        const BlockFields b = readBlock(strip.data());
        QCOMPARE(b.shift, 3u);
        QCOMPARE(b.codes[0], 1000u);
        QCOMPARE(b.codes[3], 1800u);
        QCOMPARE(b.codes[4], 1000u + 7 * 3 * 8);
        QCOMPARE(b.codes[9], 1000u);
        QCOMPARE(b.codes[15], 1000u + 7 * 13 * 8);
        const unsigned top = window->image->data().color.maximum;
        QCOMPARE(top, 16300u);
        QCOMPARE(shown(1, 6, 0, top), int(curve[1800]) - Black);
        QCOMPARE(shown(1, 2, 0, top), 0);
        QCOMPARE(shown(2, 6, 0, top), 0);
        QCOMPARE(shown(2, 8, 0, top), int(curve[1168]) - Black);
        QCOMPARE(shown(3, 8, 0, top), 168);
        QCOMPARE(shown(3, 18, 0, top), 0);
        QCOMPARE(shown(4, 6, 0, top), int((curve[1808] - curve[1800]) * 16384u / curve[1800]));
    }

    void modes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("standard processing") << 0;
        QTest::newRow("only base pixels") << 1;
        QTest::newRow("only delta pixels") << 2;
        QTest::newRow("delta pixels relative to zero") << 3;
        QTest::newRow("delta step relative to value") << 4;
    }
    void modes()
    {
        QFETCH(int, mode);
        if (mode) {
            const int before = window->filesDecoded;
            chooseInDialog(mode, Threshold);
            QCOMPARE(window->filesDecoded - before, 1);
            QCOMPARE(window->prefPane->prefValue(QStringLiteral("ARW2SpecialOptions")), mode);
        }
        RawImage *image = window->image;
        QVERIFY(image);
        QCOMPARE(image->frameWidth, Width);
        QCOMPARE(image->frameHeight, Height);
        QCOMPARE(window->blackLevelButton->text() == QStringLiteral("Off"), mode >= 3);
        const unsigned top = image->data().color.maximum;
        const auto *w = static_cast<const ushort *>(image->workingBuffer);
        int zeros = 0, nonZeros = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const int want = shown(mode, x, y, top);
                QVERIFY2(int(w[size_t(y) * Width + size_t(x)]) == want,
                         qPrintable(QStringLiteral("(%1, %2): %3, not %4")
                                        .arg(x)
                                        .arg(y)
                                        .arg(w[size_t(y) * Width + size_t(x)])
                                        .arg(want)));
                (want ? nonZeros : zeros) += 1;
            }
        QVERIFY(nonZeros > 0);
        QVERIFY(zeros > 0);

        // Under the mouse: the hand-made block's base and delta pixels, a
        // dark pixel under the threshold, a textured one.
        for (const QPoint &p :
             {QPoint(6, 0), QPoint(18, 0), QPoint(8, 0), QPoint(0, 63), QPoint(1, 0), QPoint(100, 40)}) {
            window->mouseMoved(window->scene->frameItem()->mapToScene(QPointF(p.x() + 0.5, p.y() + 0.5)));
            QCOMPARE(window->pointerPanel.box->title(), QStringLiteral("%1:%2").arg(p.x()).arg(p.y()));
            QCOMPARE(pointerSum(window->pointerPanel.label->text()), shown(mode, p.x(), p.y(), top));
        }

        // What is drawn: pixels that read 0 are black, the brightest of the
        // mode is not.
        QCoreApplication::processEvents();
        const QImage drawn = window->view->viewport()->grab().toImage();
        int brightest = 0;
        QPoint bright;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x) {
                const int v = shown(mode, x, y, top);
                if (v > brightest) {
                    brightest = v;
                    bright = QPoint(x, y);
                }
                if (v == 0)
                    QVERIFY2(drawn.pixelColor(viewPoint(x, y)) == QColor(Qt::black),
                             qPrintable(QStringLiteral("(%1, %2) reads 0, drawn %3")
                                            .arg(x)
                                            .arg(y)
                                            .arg(drawn.pixelColor(viewPoint(x, y)).name())));
            }
        QVERIFY(drawn.pixelColor(viewPoint(bright.x(), bright.y())) != QColor(Qt::black));
        if (mode == 1 || mode == 2) {
            // The maximum of the hand-made block: shown by mode 1, hidden by 2.
            QCOMPARE(drawn.pixelColor(viewPoint(6, 0)) == QColor(Qt::black), mode == 2);
            QCOMPARE(drawn.pixelColor(viewPoint(8, 0)) == QColor(Qt::black), mode == 1);
        }

        const QString shots = qEnvironmentVariable("TESSIVANE_SHOTS_DIR");
        if (!shots.isEmpty()) {
            QVERIFY(QDir().mkpath(shots));
            QVERIFY(window->view->grab().save(QDir(shots).filePath(QStringLiteral("arw2-mode-%1.png").arg(mode))));
        }
    }

    // In mode 4 a new threshold alone decodes the file again.
    void thresholdRedecodes()
    {
        chooseInDialog(4, Threshold);
        const int before = window->filesDecoded;
        chooseInDialog(4, 3000);
        QCOMPARE(window->filesDecoded - before, 1);
        const unsigned top = window->image->data().color.maximum;
        const auto *w = static_cast<const ushort *>(window->image->workingBuffer);
        int silenced = 0;
        for (int i = 0; i < Width * Height; ++i) {
            const int x = i % Width, y = i / Width;
            QCOMPARE(int(w[i]), expected(4, x, y, top, 3000));
            silenced += expected(4, x, y, top, 3000) == 0 && expected(4, x, y, top) > 0;
        }
        QVERIFY(silenced > 0);
    }

    // Back to standard processing through the same dialog: the file's own
    // values again, black subtracted.
    void backToStandard()
    {
        chooseInDialog(3, Threshold);
        const unsigned top = window->image->data().color.maximum;
        const int before = window->filesDecoded;
        chooseInDialog(0, Threshold);
        QCOMPARE(window->filesDecoded - before, 1);
        const auto *w = static_cast<const ushort *>(window->image->workingBuffer);
        for (int x = 0; x < Width; ++x)
            QCOMPARE(int(w[x]), shown(0, x, 0, top));
        QVERIFY(window->blackLevelButton->text() != QStringLiteral("Off"));
    }
};

TW_REGISTER_TEST(TestArw2Modes)
#include "TestArw2Modes.moc"
