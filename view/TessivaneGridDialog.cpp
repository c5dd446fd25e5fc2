#include "TessivaneGridDialog.h"

#include "GridGeometry.h"
#include "TW_Settings.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QSpinBox *makeSpin(QWidget *parent, int minimum, int maximum, int value)
{
    auto *spin = new QSpinBox(parent);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    spin->setAlignment(Qt::AlignRight);
    return spin;
}

QComboBox *makeCombo(QWidget *parent, const QStringList &items)
{
    auto *combo = new QComboBox(parent);
    combo->addItems(items);
    return combo;
}

}

TessivaneGridDialog::TessivaneGridDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Grid Parameters"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    rowsSpin = makeSpin(this, 1, 99, 4);
    columnsSpin = makeSpin(this, 1, 99, 6);
    minWidthSpin = makeSpin(this, 1, 50, 10);
    minHeightSpin = makeSpin(this, 1, 50, 10);
    roiSizeSpin = new QDoubleSpinBox(this);
    roiSizeSpin->setDecimals(2);
    roiSizeSpin->setRange(0.1, 1);
    roiSizeSpin->setSingleStep(0.05);
    roiSizeSpin->setValue(0.75);

    startCornerCombo = makeCombo(this, {tr("top-left"), tr("top-right"), tr("bottom-right"), tr("bottom-left")});
    walkOrderCombo = makeCombo(this, {tr("vertical, by columns"), tr("horizontal, by rows")});
    namingOrderCombo = makeCombo(this, {QStringLiteral("A1..Z99"), QStringLiteral("A01..Z99"),
                                        QStringLiteral("1A..99Z"), QStringLiteral("01A..99Z"),
                                        QStringLiteral("AA..ZZ"), QStringLiteral("11..9999"),
                                        QStringLiteral("0101..9999")});
    showNamesCheck = new QCheckBox(this);
    fontSizeCombo = makeCombo(this, {QStringLiteral("8px"), QStringLiteral("12px"), QStringLiteral("16px"),
                                     QStringLiteral("20px"), QStringLiteral("24px"), QStringLiteral("28px"),
                                     QStringLiteral("32px")});

    tabBar = new QTabBar(this);
    tabBar->addTab(tr("Grid Geometry"));
    tabBar->addTab(tr("Cell naming"));

    geometryBox = new QGroupBox(this);
    auto *geometry = new QGridLayout(geometryBox);
    geometry->addWidget(new QLabel(tr("Grid Size:")), 0, 0);
    geometry->addWidget(rowsSpin, 0, 1);
    geometry->addWidget(new QLabel(tr("X")), 0, 2, Qt::AlignCenter);
    geometry->addWidget(columnsSpin, 0, 3);
    geometry->addWidget(new QLabel(tr("(rows x columns)")), 0, 4);
    geometry->addWidget(new QLabel(tr("Minimum cell size:")), 1, 0);
    geometry->addWidget(minWidthSpin, 1, 1);
    geometry->addWidget(new QLabel(tr("X")), 1, 2, Qt::AlignCenter);
    geometry->addWidget(minHeightSpin, 1, 3);
    geometry->addWidget(new QLabel(tr("(pixels)")), 1, 4);
    geometry->addWidget(new QLabel(tr("ROI relative size:")), 2, 0);
    geometry->addWidget(roiSizeSpin, 2, 1);

    namingBox = new QGroupBox(this);
    auto *naming = new QGridLayout(namingBox);
    naming->addWidget(new QLabel(tr("Start from Corner")), 0, 0);
    naming->addWidget(startCornerCombo, 0, 1);
    naming->addWidget(new QLabel(tr("Walk order")), 1, 0);
    naming->addWidget(walkOrderCombo, 1, 1);
    naming->addWidget(new QLabel(tr("Naming Order<br/>(in walk order)")), 2, 0);
    naming->addWidget(namingOrderCombo, 2, 1);
    naming->addWidget(new QLabel(tr("Show Cell ID/Name on Grid")), 3, 0);
    naming->addWidget(showNamesCheck, 3, 1);
    naming->addWidget(new QLabel(tr("Font size:")), 4, 0);
    naming->addWidget(fontSizeCombo, 4, 1);

    // Both pages share one place, so switching tabs never resizes the window.
    for (QGroupBox *box : {geometryBox, namingBox}) {
        QSizePolicy policy = box->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        box->setSizePolicy(policy);
    }

    placeButton = new QPushButton(tr("Place Grid"), this);
    usePositionCheck = new QCheckBox(tr("Use loaded position"), this);
    usePositionCheck->setEnabled(false);
    removeButton = new QPushButton(tr("Remove Grid"), this);
    removeButton->setEnabled(false);
    hideButton = new QPushButton(tr("Hide Grid Controls"), this);
    samplesBox = new QGroupBox(this);
    auto *samples = new QVBoxLayout(samplesBox);
    toSamplesButton = new QPushButton(tr("Selection To Samples"), samplesBox);
    clearOldSamplesCheck = new QCheckBox(tr("Clear Old Samples"), samplesBox);
    openSaveDialogCheck = new QCheckBox(tr("Open Samples Save Dialog"), samplesBox);
    samples->addWidget(toSamplesButton);
    samples->addWidget(clearOldSamplesCheck);
    samples->addWidget(openSaveDialogCheck);
    samplesBox->setEnabled(false);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(placeButton);
    buttons->addWidget(usePositionCheck);
    buttons->addSpacing(fontMetrics().height() / 2);
    buttons->addWidget(removeButton);
    buttons->addWidget(hideButton);
    buttons->addWidget(samplesBox);
    buttons->addStretch();

    saveButton = new QPushButton(tr("Save to File"), this);
    loadButton = new QPushButton(tr("Load from File"), this);
    auto *files = new QHBoxLayout;
    files->addWidget(new QLabel(tr("Grid settings:")));
    files->addWidget(saveButton);
    files->addWidget(loadButton);
    files->addStretch();

    statusLabel = new QLabel(this);
    statusLabel->setTextFormat(Qt::RichText);
    statusLabel->setWordWrap(true);

    auto *layout = new QGridLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(tabBar, 0, 0);
    layout->addWidget(geometryBox, 1, 0, Qt::AlignTop);
    layout->addWidget(namingBox, 1, 0, Qt::AlignTop);
    layout->addLayout(buttons, 0, 1, 2, 1);
    layout->addLayout(files, 2, 0, 1, 2);
    layout->addWidget(statusLabel, 3, 0, 1, 2);

    connect(minWidthSpin, &QSpinBox::valueChanged, this, &TessivaneGridDialog::updateParams);
    connect(minHeightSpin, &QSpinBox::valueChanged, this, &TessivaneGridDialog::updateParams);
    connect(roiSizeSpin, &QDoubleSpinBox::valueChanged, this, &TessivaneGridDialog::updateParams);
    connect(walkOrderCombo, &QComboBox::currentIndexChanged, this, &TessivaneGridDialog::updateNames);
    connect(startCornerCombo, &QComboBox::currentIndexChanged, this, &TessivaneGridDialog::updateNames);
    connect(namingOrderCombo, &QComboBox::currentIndexChanged, this, &TessivaneGridDialog::updateNames);
    connect(showNamesCheck, &QCheckBox::clicked, this, &TessivaneGridDialog::updateVisible);
    connect(showNamesCheck, &QCheckBox::clicked, this, &TessivaneGridDialog::fontSelectorEnabler);
    connect(fontSizeCombo, &QComboBox::currentIndexChanged, this, &TessivaneGridDialog::updateVisibleFont);
    connect(tabBar, &QTabBar::currentChanged, this, &TessivaneGridDialog::switchTabs);

    switchTabs(0);
    loadLastUsed();
}

TessivaneGridDialog::~TessivaneGridDialog() = default;

void TessivaneGridDialog::gridParameters(GridGeometry &g) const
{
    g.columns = columnsSpin->value();
    g.rows = rowsSpin->value();
    g.minCellWidth = minWidthSpin->value();
    g.minCellHeight = minHeightSpin->value();
    g.roiRelativeSize = roiSizeSpin->value();
}

void TessivaneGridDialog::setGridParameters(const GridSettings &s)
{
    auto setSpin = [](QSpinBox *box, int value) {
        const QSignalBlocker block(box);
        box->setValue(value);
    };
    auto setCombo = [](QComboBox *combo, int index) {
        const QSignalBlocker block(combo);
        combo->setCurrentIndex(std::clamp(index, 0, combo->count() - 1));
    };
    setSpin(columnsSpin, s.columns);
    setSpin(rowsSpin, s.rows);
    setSpin(minWidthSpin, s.minCellWidth);
    setSpin(minHeightSpin, s.minCellHeight);
    {
        const QSignalBlocker block(roiSizeSpin);
        roiSizeSpin->setValue(s.roiRelativeSize);
    }
    setCombo(startCornerCombo, s.startCorner);
    setCombo(walkOrderCombo, s.walkOrder);
    setCombo(namingOrderCombo, s.namingOrder);
    {
        const QSignalBlocker block(showNamesCheck);
        showNamesCheck->setChecked(s.showNames);
    }
    setCombo(fontSizeCombo, s.fontSizeIndex);
    fontSelectorEnabler();
}

GridSettings TessivaneGridDialog::gridSettings() const
{
    GridSettings s;
    s.columns = columnsSpin->value();
    s.rows = rowsSpin->value();
    s.minCellWidth = minWidthSpin->value();
    s.minCellHeight = minHeightSpin->value();
    s.roiRelativeSize = roiSizeSpin->value();
    s.startCorner = startCornerCombo->currentIndex();
    s.walkOrder = walkOrderCombo->currentIndex();
    s.namingOrder = namingOrderCombo->currentIndex();
    s.showNames = showNamesCheck->isChecked();
    s.fontSizeIndex = fontSizeCombo->currentIndex();
    return s;
}

void TessivaneGridDialog::setLoadedPosition(const GridPosition &p)
{
    position = p;
    usePositionCheck->setEnabled(p.corners.size() == 4);
}

void TessivaneGridDialog::placeOnce(const QRect &rect)
{
    if (placed)
        return;
    placed = true;
    move(rect.x() + rect.width() / 2 - width() / 2, rect.y() + 10);
}

QVector<TessivaneGridDialog::LastUsedEntry> TessivaneGridDialog::lastUsedEntries() const
{
    return {
        {"selGridRows", rowsSpin, 4},
        {"selGridCols", columnsSpin, 6},
        {"selGridMinSizeX", minWidthSpin, 10},
        {"selGridMinSizeY", minHeightSpin, 10},
        {"selGridROISize", roiSizeSpin, 0.75},
        {"selGridStartCorner", startCornerCombo, 0},
        {"selGridWalkOrder", walkOrderCombo, 0},
        {"selGridNamingOrder", namingOrderCombo, 0},
        {"selGridselGridShowID", showNamesCheck, 1},
        {"selGridFontSize", fontSizeCombo, 3},
        {"selGridUsePosition", usePositionCheck, 0},
        {"selGridClearOldSamples", clearOldSamplesCheck, 1},
        {"selGridOpenSaveDialog", openSaveDialogCheck, 0},
    };
}

void TessivaneGridDialog::loadLastUsed()
{
    TW_Settings settings("LastUsed");
    for (const LastUsedEntry &e : lastUsedEntries()) {
        const QSignalBlocker blocker(e.control);
        const QVariant stored = settings.value(QString::fromLatin1(e.key));
        bool ok = false;
        if (auto *check = qobject_cast<QCheckBox *>(e.control)) {
            // Written as booleans; an integer 0/1 reads the same.
            check->setChecked(stored.isValid() ? stored.toBool() : e.fallback != 0);
        } else if (auto *real = qobject_cast<QDoubleSpinBox *>(e.control)) {
            const double v = stored.toDouble(&ok);
            real->setValue(ok ? v : e.fallback);
        } else if (auto *spin = qobject_cast<QSpinBox *>(e.control)) {
            const int v = stored.toInt(&ok);
            spin->setValue(ok ? v : int(e.fallback));
        } else if (auto *combo = qobject_cast<QComboBox *>(e.control)) {
            // An index past the list would leave the combo empty.
            const int v = stored.toInt(&ok);
            combo->setCurrentIndex(std::clamp(ok ? v : int(e.fallback), 0, combo->count() - 1));
        }
    }
    fontSelectorEnabler();
}

void TessivaneGridDialog::saveLastUsed() const
{
    TW_Settings settings("LastUsed");
    for (const LastUsedEntry &e : lastUsedEntries()) {
        const QString key = QString::fromLatin1(e.key);
        if (auto *check = qobject_cast<QCheckBox *>(e.control))
            settings.setValue(key, check->isChecked());
        else if (auto *real = qobject_cast<QDoubleSpinBox *>(e.control))
            settings.setValue(key, real->value());
        else if (auto *spin = qobject_cast<QSpinBox *>(e.control))
            settings.setValue(key, spin->value());
        else if (auto *combo = qobject_cast<QComboBox *>(e.control))
            settings.setValue(key, combo->currentIndex());
    }
}

void TessivaneGridDialog::updateControls(int gridPlaced)
{
    const bool on = gridPlaced != 0;
    placeButton->setEnabled(!on);
    rowsSpin->setEnabled(!on);
    columnsSpin->setEnabled(!on);
    loadButton->setEnabled(!on);
    removeButton->setEnabled(on);
    samplesBox->setEnabled(on);
}

void TessivaneGridDialog::updateParams()
{
    emit ev_updateGridParams(minWidthSpin->value(), minHeightSpin->value(), roiSizeSpin->value());
}

void TessivaneGridDialog::updateNames()
{
    emit ev_updateGridCellNames(walkOrderCombo->currentIndex(), startCornerCombo->currentIndex(),
                                namingOrderCombo->currentIndex(), showNamesCheck->isChecked(),
                                fontSizeCombo->currentIndex());
}

void TessivaneGridDialog::switchTabs(int index)
{
    geometryBox->setVisible(index == 0);
    namingBox->setVisible(index == 1);
}

void TessivaneGridDialog::updateVisibleFont()
{
    if (showNamesCheck->isChecked())
        emit ev_updateGridVisibility(true, fontSizeCombo->currentIndex());
}

void TessivaneGridDialog::updateVisible()
{
    emit ev_updateGridVisibility(showNamesCheck->isChecked(), fontSizeCombo->currentIndex());
}

void TessivaneGridDialog::fontSelectorEnabler()
{
    fontSizeCombo->setEnabled(showNamesCheck->isChecked());
}

void TessivaneGridDialog::reject()
{
}

void TessivaneGridDialog::closeEvent(QCloseEvent *event)
{
    // Only a shown dialog asks to be hidden: a close sent to a hidden one
    // (the application quitting) must not bring it back.
    if (isVisible())
        emit ev_dialogClosed();
    event->accept();
}
