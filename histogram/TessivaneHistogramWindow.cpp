#include "TessivaneHistogramWindow.h"

#include "AtomicFileWriter.h"
#include "BlockableSpinBox.h"
#include "HistogramCsv.h"
#include "HistogramData.h"
#include "HistogramDrawing.h"
#include "HistogramHost.h"
#include "HistogramPage.h"
#include "PrefStore.h"
#include "TW_FileDialog.h"
#include "TW_HistView.h"
#include "TW_SaveDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpacerItem>

#include <algorithm>
#include <climits>

namespace {

void setChecked(QAbstractButton *box, bool on)
{
    const QSignalBlocker block(box);
    box->setChecked(on);
}

void setGroupChecked(QGroupBox *group, bool on)
{
    const QSignalBlocker block(group);
    group->setChecked(on);
}

void setIndex(QComboBox *combo, int index)
{
    const QSignalBlocker block(combo);
    combo->setCurrentIndex(index);
}

void readBounded(const BlockableSpinBox *box, HistogramBinning::Bounded &b)
{
    b = {box->value(), box->minimum(), box->maximum()};
}

void writeBounded(BlockableSpinBox *box, const HistogramBinning::Bounded &b)
{
    const QSignalBlocker block(box);
    box->setRange(b.minimum, b.maximum);
    box->setValue(b.value);
}

}

TessivaneHistogramWindow::TessivaneHistogramWindow(HistogramData *data, int slot, QRect savedGeometry,
                                                   HistogramHost *mainWindow, QWidget *parent)
    : QDialog(parent), mainWindow(mainWindow), data(data), slot(slot)
{
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowMinimizeButtonHint
                   | Qt::WindowMaximizeButtonHint);
    setFocusPolicy(Qt::NoFocus);

    QList<QRect> screens;
    for (QScreen *s : QGuiApplication::screens())
        screens << s->geometry();
    QScreen *home = QGuiApplication::screenAt(QPoint(1, 1));
    if (!home)
        home = QGuiApplication::primaryScreen();
    setGeometry(initialGeometry(savedGeometry, screens, home ? home->geometry() : QRect(0, 0, 1280, 1024)));
    setWindowTitle(tr("Histogram"));

    buildLayout();
    connectControls();

    int mode = prefValue("histogramMode");
    if (mode == 0 && mainWindow && mainWindow->histogramSettings())
        mode = mainWindow->histogramSettings()->lastUsedValue(QStringLiteral("histogramMode"));
    loading = true;
    if (mode == 1) {
        linearGroup->setChecked(false);
        evGroup->setChecked(true);
    } else if (mode == 2) {
        linearGroup->setChecked(true);
        evGroup->setChecked(false);
    }
    loading = false;
    loadHistogramSettings();
    syncControls();
}

TessivaneHistogramWindow::~TessivaneHistogramWindow()
{
    delete scene;
}

QRect TessivaneHistogramWindow::initialGeometry(const QRect &saved, const QList<QRect> &screens, const QRect &screen)
{
    if (saved.width() > 10 && saved.height() > 10) {
        for (const QRect &s : screens) {
            const QRect i = saved.intersected(s);
            if (i.width() > 50 && i.height() > 30 && std::abs(i.top() - saved.top()) < 10)
                return saved;
        }
    }
    const int W = screen.width(), H = screen.height();
    const int left = std::clamp(W - 800, 1, 1200);
    const int top = std::clamp(H - 600, 1, 150);
    const int width = std::min(940, W - 200);
    int height = std::min(1200, H - 100);
    if (top + height > H - 20)
        height = H - 20 - top;
    return QRect(screen.x() + left, screen.y() + top, width, height);
}

void TessivaneHistogramWindow::buildLayout()
{
    layout = new QGridLayout(this);

    auto *buttons = new QGridLayout;
    saveCsvButton = new QPushButton(tr("Save CSV"), this);
    savePngButton = new QPushButton(tr("Save PNG"), this);
    saveFullDataButton = new QPushButton(tr("Save Full Data"), this);
    for (QPushButton *b : {saveCsvButton, savePngButton, saveFullDataButton})
        b->setAutoDefault(false);
    buttons->addWidget(saveCsvButton, 0, 0);
    buttons->addWidget(savePngButton, 1, 0);
    buttons->addWidget(saveFullDataButton, 2, 0);
    layout->addLayout(buttons, 0, 0);

    auto spin = [this](int lo, int hi, int value) {
        auto *box = new BlockableSpinBox(this);
        box->setRange(lo, hi);
        box->setValue(value);
        return box;
    };

    linearGroup = new QGroupBox(tr("Linear X-Axis"), this);
    linearGroup->setCheckable(true);
    linearGroup->setChecked(false);
    auto *lg = new QGridLayout(linearGroup);
    lg->setSpacing(0);
    linearAuto = new QCheckBox(tr("Auto"), linearGroup);
    linearAuto->setChecked(true);
    linearBin = spin(1, 512, 1);
    linearBin->setPrefix(tr("Bin: "));
    linearBin->setKeyboardTracking(false);
    linearFrom = spin(0, 65536, 0);
    linearFrom->setKeyboardTracking(false);
    linearTo = spin(1, 65536, 16384);
    linearTo->setKeyboardTracking(false);
    lg->addWidget(linearAuto, 0, 0);
    lg->addWidget(linearBin, 0, 2);
    lg->addWidget(new QLabel(tr("Range:"), linearGroup), 1, 0, 1, 2);
    lg->addWidget(linearFrom, 2, 0);
    lg->addWidget(new QLabel(QStringLiteral("-"), linearGroup), 2, 1);
    lg->addWidget(linearTo, 2, 2);
    layout->addWidget(linearGroup, 0, 1);

    evGroup = new QGroupBox(tr("EV-scale X-Axis"), this);
    evGroup->setCheckable(true);
    evGroup->setChecked(true);
    auto *eg = new QGridLayout(evGroup);
    eg->setSpacing(1);
    evAuto = new QCheckBox(tr("Auto"), evGroup);
    evAuto->setChecked(true);
    auto *binLabel = new QLabel(tr("Bin: "), evGroup);
    binLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    evBinCombo = new QComboBox(evGroup);
    for (int bpe : HistogramBinning::binsPerEv)
        evBinCombo->addItem(tr("1/%1 EV").arg(bpe));
    evBinCombo->setCurrentIndex(11);
    evFrom = spin(-17, 10, -7);
    evFrom->setPrefix(tr("From: "));
    evTo = spin(-16, 10, 3);
    evTo->setSuffix(tr(" EV"));
    updateLinearScale = new QCheckBox(tr("Update linear scale"), evGroup);
    eg->addWidget(evAuto, 0, 0);
    eg->addWidget(binLabel, 0, 1, 1, 2);
    eg->addWidget(evBinCombo, 0, 3);
    eg->addWidget(evFrom, 1, 0, 1, 2);
    eg->addWidget(new QLabel(QStringLiteral("-"), evGroup), 1, 2, Qt::AlignCenter);
    eg->addWidget(evTo, 1, 3);
    eg->addWidget(updateLinearScale, 2, 0, 1, 4);
    layout->addWidget(evGroup, 0, 2);

    evGridGroup = new QGroupBox(tr("Show EV Grid"), this);
    evGridGroup->setCheckable(true);
    evGridGroup->setChecked(true);
    auto *gg = new QGridLayout(evGridGroup);
    evGridAuto = new QCheckBox(tr("Auto"), evGridGroup);
    evGridAuto->setChecked(true);
    ev0 = spin(4, 65536, 1024);
    ev0->setSingleStep(32);
    ev0->setKeyboardTracking(false);
    ev0->setPrefix(tr("EV0: "));
    evGridCombo = new QComboBox(evGridGroup);
    evGridCombo->addItems({tr("Grid: 1/3 EV"), tr("Grid: 1/2 EV"), tr("Grid: 1 EV"), tr("Grid: 2 EV")});
    evGridCombo->setCurrentIndex(2);
    gg->addWidget(evGridAuto, 0, 0);
    gg->addWidget(ev0, 1, 0);
    gg->addWidget(evGridCombo, 2, 0);
    layout->addWidget(evGridGroup, 0, 3);

    yGroup = new QGroupBox(tr("Y-Axis Range"), this);
    auto *yg = new QGridLayout(yGroup);
    yAuto = new QCheckBox(tr("Auto"), yGroup);
    yAuto->setChecked(true);
    yGrid = new QCheckBox(tr("Grid"), yGroup);
    yGrid->setChecked(true);
    yScaleCombo = new QComboBox(yGroup);
    yScaleCombo->addItems({tr("Linear"), tr("Logarithm"), tr("Square root")});
    yScaleCombo->setCurrentIndex(0);
    // Reaches the largest int: a dark frame's value 0 can hold more than
    // ten million pixels.
    yMax = spin(2, INT_MAX, 30000);
    yMax->setSingleStep(1000);
    yMax->setPrefix(tr("Max: "));
    yg->addWidget(yAuto, 0, 0);
    yg->addWidget(yGrid, 0, 1);
    yg->addWidget(new QLabel(tr("Scale"), yGroup), 1, 0);
    yg->addWidget(yScaleCombo, 1, 1);
    yg->addWidget(yMax, 2, 0, 1, 2);
    layout->addWidget(yGroup, 0, 4);

    layout->addItem(new QSpacerItem(1, 1, QSizePolicy::Expanding, QSizePolicy::Minimum), 0, 5);

    scene = new QGraphicsScene;
    view = new TW_HistView(this);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view->setScene(scene);
    layout->addWidget(view, 3, 0, 1, 6);

    HistogramDrawing &f = HistogramDrawing::instance();
    f.measureAxisMargin();
    const int n = prefValue("RGBGHistogramMode") >= 1 ? 3 : 4;
    view->setMinimumWidth(int(f.drawingScale * f.horizontalReserve + 101));
    view->setMinimumHeight(int((f.drawingScale * f.verticalReserve + 80) * n));
}

void TessivaneHistogramWindow::connectControls()
{
    connect(saveFullDataButton, &QPushButton::clicked, this, &TessivaneHistogramWindow::saveRAWCSV);
    connect(saveCsvButton, &QPushButton::clicked, this, &TessivaneHistogramWindow::saveCSV);
    connect(savePngButton, &QPushButton::clicked, this, &TessivaneHistogramWindow::saveGraph);
    connect(linearGroup, &QGroupBox::toggled, this, &TessivaneHistogramWindow::linearModeSelected);
    connect(evGroup, &QGroupBox::toggled, this, &TessivaneHistogramWindow::photoModeSelected);
    for (QCheckBox *box : {evAuto, linearAuto, yAuto, evGridAuto, yGrid, updateLinearScale})
        connect(box, &QCheckBox::toggled, this, &TessivaneHistogramWindow::redraw);
    connect(evGridGroup, &QGroupBox::toggled, this, &TessivaneHistogramWindow::redraw);
    for (QComboBox *combo : {yScaleCombo, evBinCombo, evGridCombo})
        connect(combo, &QComboBox::currentIndexChanged, this, &TessivaneHistogramWindow::redraw);
    for (BlockableSpinBox *box : {evFrom, evTo, ev0, yMax})
        connect(box, &QSpinBox::valueChanged, this, &TessivaneHistogramWindow::redraw);
    connect(linearFrom, &QSpinBox::valueChanged, this, &TessivaneHistogramWindow::updateLinearFrom);
    connect(linearTo, &QSpinBox::valueChanged, this, &TessivaneHistogramWindow::updateLinearTo);
    connect(linearBin, &QSpinBox::valueChanged, this, &TessivaneHistogramWindow::updateLinearBin);
}

int TessivaneHistogramWindow::prefValue(const char *key) const
{
    PrefStore *store = mainWindow ? mainWindow->histogramSettings() : nullptr;
    return store ? store->prefValue(QLatin1String(key)) : 0;
}

bool TessivaneHistogramWindow::remembersSettings() const
{
    return mainWindow && mainWindow->histogramSettings() && prefValue("rememberHistogramSettings");
}

bool TessivaneHistogramWindow::hasData() const
{
    if (!data)
        return false;
    bool pixels = false, values = false;
    for (int c = 0; c < 4; ++c) {
        pixels = pixels || data->count[c] != 0;
        values = values || data->distinct[c] != 0;
    }
    return pixels && values;
}

int TessivaneHistogramWindow::usedChannels() const
{
    const ChannelNames &names = mainWindow->histogramChannelNames();
    const int n = std::clamp(names.count, 1, 4);
    if (n == 4 && names.isRGB && prefValue("RGBGHistogramMode") > 0)
        return 3;
    return n;
}

bool TessivaneHistogramWindow::averagesGreens() const
{
    const ChannelNames &names = mainWindow->histogramChannelNames();
    return names.count == 4 && names.isRGB && mainWindow->histogramSettings() && prefValue("RGBGHistogramMode") == 2;
}

HistogramPlotOptions TessivaneHistogramWindow::plotOptions() const
{
    HistogramPlotOptions o;
    o.evGrid = evGridGroup->isChecked();
    o.evGridIndex = evGridCombo->currentIndex();
    o.yGrid = yGrid->isChecked();
    o.yScale = yScaleCombo->currentIndex();
    o.yMax = yMax->value();
    o.srawColours = mainWindow->histogramSrawYcc();
    o.averagedGreen = averagesGreens();
    return o;
}

void TessivaneHistogramWindow::syncControls()
{
    if (linearGroup->isChecked())
        setGroupChecked(evGroup, false);
    if (evGroup->isChecked())
        setGroupChecked(linearGroup, false);
    const bool evManual = !evAuto->isChecked() && evGroup->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{evFrom, evTo, evBinCombo, updateLinearScale})
        w->setEnabled(evManual);
    if (linearGroup->isChecked()) {
        for (QWidget *w : std::initializer_list<QWidget *>{linearFrom, linearTo, linearBin})
            w->setEnabled(!linearAuto->isChecked());
    }
    if (linearAuto->isChecked()) {
        const QSignalBlocker block(linearTo);
        linearTo->setMinimum(linearFrom->value() + 2);
    }
    if (evGroup->isChecked() && updateLinearScale->isChecked()) {
        {
            const QSignalBlocker block(linearFrom);
            linearFrom->setMinimum(0);
        }
        linearFrom->setValueSilently(int(HistogramBinning::evValue(evFrom->value(), ev0->value())));
        {
            const QSignalBlocker block(linearTo);
            linearTo->setMinimum(linearFrom->value() + 1);
        }
        linearTo->setValueSilently(int(std::min<long long>(HistogramBinning::evValue(evTo->value(), ev0->value()), INT_MAX)));
        setChecked(linearAuto, false);
    }
    ev0->setEnabled(!evGridAuto->isChecked());
    evGridCombo->setEnabled(true);
    yMax->setEnabled(!yAuto->isChecked());
    yMax->setSingleStep(yMax->value() > 100 ? yMax->value() / 30 : 1);
}

void TessivaneHistogramWindow::readAxis()
{
    axis.linearAxis = linearGroup->isChecked();
    axis.linearAuto = linearAuto->isChecked();
    axis.evAuto = evAuto->isChecked();
    axis.evGridAuto = evGridAuto->isChecked();
    readBounded(linearFrom, axis.linearFrom);
    readBounded(linearTo, axis.linearTo);
    readBounded(linearBin, axis.linearBin);
    readBounded(evFrom, axis.evFrom);
    readBounded(evTo, axis.evTo);
    readBounded(ev0, axis.ev0);
    axis.evBinIndex = std::clamp(evBinCombo->currentIndex(), 0, int(HistogramBinning::binsPerEv.size()) - 1);
    axis.linearAutoScaleMax = linearAutoScaleMax;
    axis.ev0Level = ev0Level;
}

void TessivaneHistogramWindow::writeAxis()
{
    writeBounded(linearFrom, axis.linearFrom);
    writeBounded(linearTo, axis.linearTo);
    writeBounded(linearBin, axis.linearBin);
    writeBounded(evFrom, axis.evFrom);
    writeBounded(evTo, axis.evTo);
    writeBounded(ev0, axis.ev0);
    setIndex(evBinCombo, axis.evBinIndex);
}

void TessivaneHistogramWindow::redraw()
{
    if (loading)
        return;
    syncControls();
    if (PrefStore *store = mainWindow ? mainWindow->histogramSettings() : nullptr)
        store->setLastUsed(QStringLiteral("histogramMode"),
                           linearGroup->isChecked() ? 2 : evGroup->isChecked() ? 1 : 0);
    if (!hasData())
        return;
    HistogramDrawing &f = HistogramDrawing::instance();
    f.measureAxisMargin();
    readAxis();
    const int pw = HistogramBinning::fitWidth(view->width(), f.horizontalReserve, f.drawingScale);
    axis.recomputeRanges(*data, mainWindow->histogramChannelNames().count, pw);
    writeAxis();
    readAxis();
    axis.computeBins(*data, mainWindow->histogramChannelNames().count, averagesGreens());
    if (yAuto->isChecked())
        yMax->setValueSilently(HistogramBinning::yAxisMaximum(yScaleCombo->currentIndex(), axis.maxBinCount));
    layoutPlots();
    saveHistogramSettings();
    view->viewport()->update();
}

void TessivaneHistogramWindow::paintChannelHistogram(QPixmap &target, int channel, const ColorTable &colors) const
{
    if (!data) {
        target.fill(colors.value(24));
        return;
    }
    HistogramPainter(axis, *data, plotOptions()).paintChannelHistogram(target, channel, colors);
}

void TessivaneHistogramWindow::layoutPlots()
{
    const HistogramDrawing &f = HistogramDrawing::instance();
    const float scale = f.drawingScale;
    const int n = usedChannels();
    const ColorTable colors = mainWindow->histogramColors();
    auto drop = [this](int i) {
        delete plotItems[i];
        plotItems[i] = nullptr;
    };
    const int W = view->width(), H = view->height();
    int h = H / n;
    int total = 0;
    for (int c = 0; c < n; ++c) {
        drop(c);
        if (W >= f.horizontalReserve + 100 && h >= f.verticalReserve + 10) {
            h = std::min(h, W / 2);
            QPixmap pixmap(int((W - 2) / scale), int((h - 2) / scale));
            paintChannelHistogram(pixmap, c, colors);
            plotItems[c] = scene->addPixmap(pixmap);
            plotItems[c]->setPos(0, (h + 1) * c);
            plotItems[c]->setScale(scale);
            total += h;
        }
    }
    for (int c = n; c < 4; ++c)
        drop(c);
    drop(4);
    if (total < H - 4) {
        QPixmap filler(std::max(1, int((W - 2) / scale)), std::max(1, int((H - total - 4 + 2) / scale)));
        filler.fill(colors.value(24));
        plotItems[4] = scene->addPixmap(filler);
        plotItems[4]->setPos(0, total + 1);
        plotItems[4]->setScale(scale);
    }
    scene->setSceneRect(0, 0, std::max(1, W - 2), std::max(1, H - 2));
}

void TessivaneHistogramWindow::updateLinearFrom()
{
    const int gap = linearAuto->isChecked() ? 2 : 2 * linearBin->value();
    if (linearTo->value() < linearFrom->value() + gap)
        linearTo->setValueSilently(linearFrom->value() + gap);
    {
        const QSignalBlocker block(linearTo);
        linearTo->setMinimum(linearFrom->value() + gap);
    }
    linearFrom->setSingleStep(linearFrom->value() > 100 ? linearFrom->value() / 30 : 1);
    redraw();
}

void TessivaneHistogramWindow::updateLinearTo()
{
    const int gap = linearAuto->isChecked() ? 2 : 2 * linearBin->value();
    if (linearTo->value() < gap)
        linearTo->setValueSilently(gap);
    if (linearFrom->value() > linearTo->value() - gap)
        linearFrom->setValueSilently(linearTo->value() - gap);
    {
        const QSignalBlocker block(linearFrom);
        linearFrom->setMaximum(linearTo->value() - gap);
    }
    linearTo->setSingleStep(linearTo->value() > 100 ? linearTo->value() / 30 : 1);
    redraw();
}

void TessivaneHistogramWindow::updateLinearBin()
{
    const int end = linearFrom->value() + 2 * linearBin->value();
    if (linearTo->value() < end)
        linearTo->setValueSilently(end);
    {
        const QSignalBlocker block(linearTo);
        linearTo->setMinimum(end);
    }
    redraw();
}

// Switching the axis redraws at once, in the new axis.
void TessivaneHistogramWindow::linearModeSelected()
{
    setGroupChecked(evGroup, !linearGroup->isChecked());
    redraw();
}

void TessivaneHistogramWindow::photoModeSelected()
{
    setGroupChecked(linearGroup, !evGroup->isChecked());
    redraw();
}

void TessivaneHistogramWindow::setEv0FromLevel(int level)
{
    int p = 1;
    while (p <= level && p < 65536)
        p *= 2;
    setChecked(evGridAuto, false);
    ev0->setValueSilently(p / 8);
    ev0->setEnabled(true);
}

void TessivaneHistogramWindow::refreshHistogram()
{
    redraw();
}

void TessivaneHistogramWindow::saveHistogramSettings()
{
    if (!remembersSettings())
        return;
    PrefStore *store = mainWindow->histogramSettings();
    const std::pair<const char *, int> values[] = {
        {"linearRangeAuto", linearAuto->isChecked()}, {"linearBinSize", linearBin->value()},
        {"linearRangeFrom", linearFrom->value()},     {"linearRangeTo", linearTo->value()},
        {"photoRangeAuto", evAuto->isChecked()},      {"photoBinSize", evBinCombo->currentIndex()},
        {"photoRangeFrom", evFrom->value()},          {"photoRangeTo", evTo->value()},
        {"showEVGrid", evGridGroup->isChecked()},     {"evGridAuto", evGridAuto->isChecked()},
        {"EV0", ev0->value()},                        {"EVTick", evGridCombo->currentIndex()},
        {"YGrid", yGrid->isChecked()},                {"YAuto", yAuto->isChecked()},
        {"YScale", yScaleCombo->currentIndex()},      {"YMax", yMax->value()}};
    for (const auto &[key, value] : values)
        store->setLastUsed(QLatin1String(key), value);
}

void TessivaneHistogramWindow::loadHistogramSettings()
{
    loading = true;
    if (remembersSettings()) {
        const PrefStore *store = mainWindow->histogramSettings();
        auto get = [store](const char *key) { return store->lastUsedValue(QLatin1String(key)); };
        // A remembered index only counts when its combo has it.
        auto validIndex = [](const QComboBox *combo, int i) { return i >= 0 && i < combo->count(); };

        const int linAuto = get("linearRangeAuto"), bin = get("linearBinSize");
        const int from = get("linearRangeFrom"), to = get("linearRangeTo");
        if (linAuto == 1) {
            setChecked(linearAuto, true);
        } else if (linAuto == 0 && bin > 0 && from >= 0 && to > 0 && from < to) {
            setChecked(linearAuto, false);
            const QSignalBlocker b1(linearFrom), b2(linearTo);
            linearTo->setMinimum(1);
            linearFrom->setMaximum(65536);
            linearFrom->setValue(from);
            linearTo->setValue(to);
            linearBin->setValueSilently(bin);
        }
        const int evA = get("photoRangeAuto"), evBin = get("photoBinSize");
        const int evF = get("photoRangeFrom"), evT = get("photoRangeTo");
        if (evA == 1) {
            setChecked(evAuto, true);
        } else if (evA == 0 && evBin >= 0 && evF >= -999 && evF < evT) {
            setChecked(evAuto, false);
            evFrom->setValueSilently(evF);
            evTo->setValueSilently(evT);
            if (validIndex(evBinCombo, evBin))
                setIndex(evBinCombo, evBin);
        }
        const int tick = get("EVTick"), show = get("showEVGrid"), gridAuto = get("evGridAuto"), level = get("EV0");
        if (validIndex(evGridCombo, tick))
            setIndex(evGridCombo, tick);
        if (show >= 0)
            setGroupChecked(evGridGroup, show != 0);
        if (gridAuto >= 0 && level > 0) {
            setChecked(evGridAuto, gridAuto != 0);
            if (gridAuto == 0)
                ev0->setValueSilently(level);
        }
        const int grid = get("YGrid"), yA = get("YAuto"), yS = get("YScale"), yM = get("YMax");
        if (grid >= 0)
            setChecked(yGrid, grid != 0);
        if (yA >= 0 && yS >= 0 && yM > 0) {
            setChecked(yAuto, yA != 0);
            if (validIndex(yScaleCombo, yS))
                setIndex(yScaleCombo, yS);
            if (yA == 0)
                yMax->setValueSilently(yM);
        }
    }
    if (mainWindow && mainWindow->histogramSrawYcc())
        setIndex(yScaleCombo, HistogramBinning::YLogarithm);
    loading = false;
}

QStringList TessivaneHistogramWindow::sourceLabels() const
{
    const QString file = mainWindow ? mainWindow->histogramFileName() : QString();
    if (file.isEmpty())
        return {};
    QStringList labels{file};
    if (!hasData())
        return labels;
    if (!sampleName.isEmpty()) {
        labels << QStringLiteral("Smpl-%1").arg(sampleName);
        return labels;
    }
    const int w = data->w < 0 ? data->imageWidth : data->w;
    const int h = data->h < 0 ? data->imageHeight : data->h;
    const int x = std::max(0, data->x), y = std::max(0, data->y);
    if (x || y || w != data->imageWidth || h != data->imageHeight)
        labels << QStringLiteral("Sel-%1-%2-%3x%4").arg(x).arg(y).arg(w).arg(h);
    else
        labels << QStringLiteral("Full-%1x%2").arg(w).arg(h);
    return labels;
}

void TessivaneHistogramWindow::updateWindowTitle()
{
    const QStringList labels = sourceLabels();
    if (labels.isEmpty()) {
        setWindowTitle(tr("Histogram"));
        return;
    }
    if (labels.size() < 2) {
        setWindowTitle(tr("Histogram: %1").arg(labels.at(0)));
        return;
    }
    const QString t = mainWindow->histogramTitleText();
    if (t.size() < 2)
        setWindowTitle(tr("Histogram: %1 %2").arg(labels.at(0), labels.at(1)));
    else
        setWindowTitle(tr("Histogram: %1 %2 [ %3 ]").arg(labels.at(0), labels.at(1), t));
}

void TessivaneHistogramWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    event->ignore();
}

void TessivaneHistogramWindow::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    redraw();
}

void TessivaneHistogramWindow::closeEvent(QCloseEvent *event)
{
    saveHistogramSettings();
    emit histogramClosed(slot);
    QDialog::closeEvent(event);
}

// ------------------------------------------------------------------ outputs

QString TessivaneHistogramWindow::askSavePath(const QString &caption, const QString &proposed, const QString &filter,
                                              const QString &suffix)
{
    SaveRequest request{caption, proposed, filter, suffix, mainWindow->histogramLastFolder()};
    QString path;
    if (chooseSavePath) {
        path = chooseSavePath(request);
    } else {
        TW_SaveDialog dialog(prefValue("sideBarsUrls"), caption, request.folder, filter, this);
        dialog.fileDialog->setDefaultSuffix(suffix);
        if (!proposed.isEmpty())
            dialog.fileDialog->selectFile(proposed);
        if (dialog.exec() && !dialog.selectedFiles.isEmpty())
            path = dialog.selectedFiles.constFirst();
    }
    if (!path.isEmpty())
        mainWindow->histogramSetLastFolder(path);
    return path;
}

void TessivaneHistogramWindow::showWriteError(const QString &title, const QString &format, const QString &path,
                                              const QString &reason)
{
    QMessageBox box(QMessageBox::Information, title, format.arg(path, reason), QMessageBox::Ok, this);
    box.exec();
}

QString TessivaneHistogramWindow::defaultExportFileName(const QString &extension) const
{
    const QStringList labels = sourceLabels();
    if (labels.isEmpty() || labels.at(0).isEmpty())
        return {};
    const QString base = labels.at(0).section(QLatin1Char('.'), 0, 0);
    if (labels.size() < 2)
        return base + extension;
    return QStringLiteral("%1-%2").arg(base, labels.at(1)) + extension;
}

QLocale TessivaneHistogramWindow::csvLocale() const
{
    return prefValue("useRegionalSettings") ? QLocale::system() : QLocale::c();
}

void TessivaneHistogramWindow::saveCSV()
{
    if (!hasData())
        return;
    const QString path = askSavePath(tr("Save Histogram Data to CSV File"), defaultExportFileName(QStringLiteral(".csv")),
                                     tr("Text files (*.csv *.txt);; All files (*.*)"), QStringLiteral("csv"));
    writeHistogramCsv(path);
}

void TessivaneHistogramWindow::writeHistogramCsv(const QString &path)
{
    if (!hasData() || path.isEmpty())
        return;
    HistogramCsvOptions options;
    options.fileName = mainWindow->histogramFileName();
    options.channelNames = mainWindow->histogramChannelNames().names;
    options.usedChannels = usedChannels();
    QString error;
    if (!AtomicFileWriter::writeBytes(path, HistogramCsv::histogramCsv(*data, axis, options, csvLocale()), &error))
        showWriteError(tr("File open error"), tr("Cannot create file %1: %2"), path, error);
}

void TessivaneHistogramWindow::saveRAWCSV()
{
    const QString file = mainWindow->histogramFileName();
    if (!hasData() || file.isEmpty())
        return;
    const int channels = std::clamp(mainWindow->histogramChannelNames().count, 1, 4);
    int lo = 0, hi = 0;
    HistogramCsv::valueSpan(*data, channels, lo, hi);
    if (lo >= hi)
        return;
    const QString proposed = QStringLiteral("%1/%2-rawdata.csv")
                                 .arg(QFileInfo(file).absolutePath(), file.section(QLatin1Char('.'), 0, 0));
    const QString path = askSavePath(tr("Save Histogram Data to CSV File"), proposed,
                                     tr("Text files (*.csv *.txt);; All files (*.*)"), QStringLiteral("csv"));
    writeRawDataCsv(path);
}

void TessivaneHistogramWindow::writeRawDataCsv(const QString &path)
{
    if (!hasData() || path.isEmpty())
        return;
    HistogramCsvOptions options;
    options.fileName = mainWindow->histogramFileName();
    options.channelNames = mainWindow->histogramChannelNames().names;
    const int channels = std::clamp(mainWindow->histogramChannelNames().count, 1, 4);
    QString error;
    if (!AtomicFileWriter::writeBytes(path, HistogramCsv::rawDataCsv(*data, options, channels), &error))
        showWriteError(tr("File open error"), tr("Cannot create file %1: %2"), path, error);
}

void TessivaneHistogramWindow::saveGraph()
{
    const QString path = askSavePath(tr("Save Histogram to File"), defaultExportFileName(QStringLiteral(".png")),
                                     tr("PNG files(*.png);;JPEG files (*.jpg)"), QStringLiteral("png"));
    renderHistogramImage(path);
}

void TessivaneHistogramWindow::renderHistogramImage(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString family = mainWindow->histogramFontFamily();
    setHistogramFonts(prefValue("HistogramPNG2x") != 0, family);
    HistogramPageText text;
    text.fileName = mainWindow->histogramFileName();
    text.status = mainWindow->histogramStatusText();
    const QString bin = linearGroup->isChecked() ? tr("%1 levels").arg(linearBin->value())
                                                 : tr("1/%1 EV").arg(axis.evBinsPerEv());
    text.scaleLine = tr("Scale: %1, Bin: %2, Black: %3, Curve: %4")
                         .arg(linearGroup->isChecked() ? tr("Linear") : tr("EV (Photo)"), bin,
                              mainWindow->histogramBlackLevelText(), mainWindow->histogramCurveText());
    text.footer = HistogramPage::footerText();
    QImage page;
    if (data)
        page = HistogramPage::renderHistogramImage(axis, *data, plotOptions(), usedChannels(), view->width(),
                                                   view->height(), text);
    setHistogramFonts(prefValue("HistogramRetina") != 0, family);
    QString error;
    if (page.isNull() || !AtomicFileWriter::writeImage(path, page, &error))
        showWriteError(tr("File save error"), tr("Cannot save file %1: %2"), path, error);
}
