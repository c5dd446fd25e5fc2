#include "TW_PrefPaneBase.h"

#include "HistogramFonts.h"
#include "PrefStore.h"
#include "UpdateCheckFrequency.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QComboBox *makeCombo(const QStringList &items)
{
    auto *combo = new QComboBox;
    combo->addItems(items);
    return combo;
}

QSpinBox *makeSpin(int minimum, int maximum, int step, int initial)
{
    auto *spin = new QSpinBox;
    spin->setRange(minimum, maximum);
    spin->setSingleStep(step);
    spin->setValue(initial);
    return spin;
}

QDoubleSpinBox *makeDoubleSpin(double minimum, double maximum, double step, double initial)
{
    auto *spin = new QDoubleSpinBox;
    spin->setDecimals(2);
    spin->setRange(minimum, maximum);
    spin->setSingleStep(step);
    spin->setValue(initial);
    return spin;
}

QButtonGroup *makeTrio(QObject *owner, QRadioButton *first, QRadioButton *second, QRadioButton *third)
{
    auto *group = new QButtonGroup(owner);
    group->addButton(first, 0);
    group->addButton(second, 1);
    group->addButton(third, 2);
    return group;
}

// Four label and spin box pairs in two rows of two, named as the channels
// of a four-colour Bayer file until a file names them.
QGridLayout *makeChannelRows(std::array<QLabel *, 4> &labels, std::array<QSpinBox *, 4> &spins,
                             int maximum, int step, int initial)
{
    static const char *const names[4] = {"R", "G", "B", "G2"};
    auto *grid = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        labels[i] = new QLabel(QString::fromLatin1(names[i]));
        spins[i] = makeSpin(0, maximum, step, initial);
        grid->addWidget(labels[i], i / 2, (i % 2) * 2);
        grid->addWidget(spins[i], i / 2, (i % 2) * 2 + 1);
    }
    return grid;
}

}

TW_PrefPaneBase::TW_PrefPaneBase(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Tessivane Preferences"));
    setMinimumWidth(450);

    pageList = new QListWidget;
    pageStack = new QStackedWidget;
    pageList->setMinimumWidth(pageList->fontMetrics().horizontalAdvance(tr("Over/Under Exposu")));
    const QString vendorPage = tr("%1%2 Vendor specific").arg(QChar(0x2514)).arg(QChar(0x25B6));
    const QStringList pages = {tr("Display Options"), tr("Data Processing"), vendorPage, tr("Histograms"),
                               tr("File handling"),   tr("Misc Options"),    tr("Over/Under Exposure")};
    pageList->addItems(pages);
    // As wide as its longest name: the list's own size hint would take a
    // third of the dialog from the pages.
    pageList->setMaximumWidth(std::max(pageList->minimumWidth(), pageList->sizeHintForColumn(0)) +
                              2 * pageList->frameWidth() + 8);
    pageStack->addWidget(buildDisplayPage());
    pageStack->addWidget(buildProcessingPage());
    pageStack->addWidget(buildVendorPage());
    pageStack->addWidget(buildHistogramPage());
    pageStack->addWidget(buildFilePage());
    pageStack->addWidget(buildMiscPage());
    pageStack->addWidget(buildExposurePage());
    connect(pageList, &QListWidget::currentRowChanged, pageStack, &QStackedWidget::setCurrentIndex);
    pageList->setCurrentRow(0);

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel |
                                     QDialogButtonBox::RestoreDefaults);

    auto *top = new QHBoxLayout;
    top->addWidget(pageList);
    top->addWidget(pageStack, 1);
    auto *grid = new QGridLayout(this);
    grid->addLayout(top, 0, 0);
    grid->addWidget(buttonBox, 1, 0);

    buildPrefTable();
    connectInterlocks();
}

TW_PrefPaneBase::~TW_PrefPaneBase() = default;

QWidget *TW_PrefPaneBase::buildDisplayPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    int row = 0;

    displayModeCombo = makeCombo({tr("Last used"), tr("RGB render"), tr("Raw composite"), tr("Raw channel 1"),
                                  tr("Raw channel 2"), tr("Raw channel 3"), tr("Raw channel 4")});
    whiteBalanceCombo = makeCombo({tr("Daylight"), tr("As Shot"), tr("Auto")});
    rgbColorSourceCombo = makeCombo({tr("No profile (raw color)"), tr("Built-in"), tr("Embedded in RAW")});
    rgbOutputSpaceCombo = makeCombo({tr("sRGB"), tr("Adobe RGB"), tr("Widegamut RGB"), tr("ProPhoto RGB")});
    const std::pair<QString, QComboBox *> combos[] = {
        {tr("Default Display Mode"), displayModeCombo},
        {tr("RGB render White Balance"), whiteBalanceCombo},
        {tr("Camera color profile"), rgbColorSourceCombo},
        {tr("RGB rendering color space"), rgbOutputSpaceCombo},
    };
    for (const auto &[text, combo] : combos) {
        grid->addWidget(new QLabel(text), row, 0);
        grid->addWidget(combo, row++, 1);
    }

    rawDisplayGroup = new QGroupBox(tr("Raw Display Options"));
    auto *rawBox = new QVBoxLayout(rawDisplayGroup);
    maskedPixelsCheck = new QCheckBox(tr("Masked Pixels"));
    pixels2x2Check = new QCheckBox(tr("2x2 Pixels"));
    rgbgAsGrayCheck = new QCheckBox(tr("Display bayer raw Composite in grayscale"));
    gamma22Check = new QCheckBox(tr("Gamma 2.2"));
    autoscaleCheck = new QCheckBox(tr("Autoscale"));
    for (QCheckBox *box : {maskedPixelsCheck, pixels2x2Check, rgbgAsGrayCheck, gamma22Check, autoscaleCheck})
        rawBox->addWidget(box);
    grid->addWidget(rawDisplayGroup, row++, 0, 1, 2);

    cursor2x2Check = new QCheckBox(tr("2x2 Mouse Pointer Active Area"));
    grid->addWidget(cursor2x2Check, row++, 0, 1, 2);

    auto *sub = new QGridLayout;
    rgbAutoscaleCheck = new QCheckBox(tr("Automatic exposure correction for RGB render"));
    sub->addWidget(rgbAutoscaleCheck, 0, 0, 1, 3);
    rgbAutoScaleThrSpin = makeDoubleSpin(0.1, 10.0, 0.1, 1.0);
    rgbAutoScaleThrSpin->setPrefix(QStringLiteral(" "));
    rgbAutoScaleThrSpin->setSuffix(QStringLiteral(" %"));
    sub->addWidget(new QLabel(tr("Allow autoexposure to clip ")), 1, 0);
    sub->addWidget(rgbAutoScaleThrSpin, 1, 1);
    sub->addWidget(new QLabel(tr("(highlights)")), 1, 2);
    enableRGBMaxOverrideCheck = new QCheckBox(tr("Override white level"));
    rgbMaxOverrideSpin = makeSpin(1, 65535, 256, 4095);
    sub->addWidget(enableRGBMaxOverrideCheck, 2, 0);
    sub->addWidget(rgbMaxOverrideSpin, 2, 1);
    maxRGBMegapixelsSpin = makeSpin(0, 511, 1, 30);
    maxRGBMegapixelsSpin->setSuffix(tr(" Mpix"));
    sub->addWidget(new QLabel(tr("Disable RGB rendering for files larger than")), 3, 0);
    sub->addWidget(maxRGBMegapixelsSpin, 3, 1);
    maxRAWMegabytesSpin = makeSpin(128, 1536, 16, 1024);
    maxRAWMegabytesSpin->setSuffix(tr(" Mbytes"));
    sub->addWidget(new QLabel(tr("Disable processing for files larger than")), 4, 0);
    sub->addWidget(maxRAWMegabytesSpin, 4, 1);
    sub->addWidget(new QLabel(tr("of raw data")), 4, 2);
    // The text alone leaves no room for the arrows of today's styles, which
    // would cut "1024 Mbytes": no box is narrower than it needs.
    const std::initializer_list<QAbstractSpinBox *> limited = {maxRGBMegapixelsSpin, maxRAWMegabytesSpin,
                                                               rgbAutoScaleThrSpin};
    int spinWidth = fontMetrics().horizontalAdvance(tr(" 9999 Mpixels "));
    for (QAbstractSpinBox *spin : limited)
        spinWidth = std::max(spinWidth, spin->sizeHint().width());
    for (QAbstractSpinBox *spin : limited)
        spin->setMaximumWidth(spinWidth);
    sub->setColumnStretch(3, 1);
    grid->addLayout(sub, row++, 0, 1, 2);

    grid->setRowStretch(row, 1);
    return page;
}

QWidget *TW_PrefPaneBase::buildProcessingPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    int row = 0;

    subtractBlackCheck = new QCheckBox(tr("Subtract Black"));
    useRawSpeedCheck = new QCheckBox(tr("Use RawSpeed library for file decoding"));
    linearRawCurveCheck = new QCheckBox(tr("Linear Raw Curve"));
    filterExtremesCheck = new QCheckBox(tr("Selection/Sample stats: discard abnormal pixel values"));
    for (QCheckBox *box : {subtractBlackCheck, useRawSpeedCheck, linearRawCurveCheck, filterExtremesCheck})
        grid->addWidget(box, row++, 0);

    auto *blackGroup = new QGroupBox(tr("Black Level settings"));
    auto *blackGrid = new QGridLayout(blackGroup);
    blAutoRadio = new QRadioButton(tr("Auto"));
    blManualRadio = new QRadioButton(tr("Manual"));
    blPerChannelRadio = new QRadioButton(tr("Per Channel"));
    blMethodGroup = makeTrio(this, blAutoRadio, blManualRadio, blPerChannelRadio);
    blManualLevelSpin = makeSpin(0, 99999, 1, 0);
    blackGrid->addWidget(blAutoRadio, 0, 0);
    blackGrid->addWidget(blManualRadio, 1, 0);
    blackGrid->addWidget(blManualLevelSpin, 1, 1, Qt::AlignLeft);
    blackGrid->addWidget(blPerChannelRadio, 2, 0, Qt::AlignTop);
    blackGrid->addLayout(makeChannelRows(blChannelLabels, blChannelSpins, 99999, 1, 14500), 2, 1);
    resetBLOnLoadCheck = new QCheckBox(tr("Reset Black Level values on file load"));
    blackGrid->addWidget(resetBLOnLoadCheck, 3, 0, 1, 2);
    blackGrid->setColumnStretch(2, 1);
    grid->addWidget(blackGroup, row++, 0);

    auto *fpGroup = new QGroupBox(tr("Floating point data normalization"));
    auto *fpGrid = new QGridLayout(fpGroup);
    fpRangeMinSpin = makeSpin(1, 32768, 1024, 4096);
    fpRangeMaxSpin = makeSpin(1024, 65535, 1024, 32767);
    fpRangeToSpin = makeSpin(1024, 65535, 1024, 16383);
    fpGrid->addWidget(new QLabel(tr("For data maximum below ")), 0, 0);
    fpGrid->addWidget(fpRangeMinSpin, 0, 1);
    fpGrid->addWidget(new QLabel(tr(" or above ")), 0, 2);
    fpGrid->addWidget(fpRangeMaxSpin, 0, 3);
    fpGrid->addWidget(new QLabel(tr("Scale data range to")), 1, 0);
    fpGrid->addWidget(fpRangeToSpin, 1, 1);
    fpGrid->setColumnStretch(4, 1);
    grid->addWidget(fpGroup, row++, 0);

    grid->setRowStretch(row, 1);
    return page;
}

QWidget *TW_PrefPaneBase::buildVendorPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    int row = 0;

    auto *arwGroup = new QGroupBox(tr("Sony ARW2"));
    auto *arwGrid = new QGridLayout(arwGroup);
    arw2ModeCombo = makeCombo({tr("Standard processing"), tr("Only base pixels"), tr("Only 'delta' pixels"),
                               tr("Delta pixels relative to zero"), tr("Delta step relative to value")});
    arw2DeltaThresholdSpin = makeSpin(0, 16000, 8, 64);
    arw2DeltaThresholdSpin->setEnabled(false);
    arwGrid->addWidget(new QLabel(tr("Processing mode:")), 0, 0);
    arwGrid->addWidget(arw2ModeCombo, 0, 1);
    arwGrid->addWidget(new QLabel(tr("For Delta step relative to value:")), 1, 0, 1, 2);
    arwGrid->addWidget(new QLabel(tr("Ignore shadows below level ")), 2, 0);
    arwGrid->addWidget(arw2DeltaThresholdSpin, 2, 1, Qt::AlignLeft);
    grid->addWidget(arwGroup, row++, 0, 1, 2);

    auto *srawGroup = new QGroupBox(tr("Canon/Nikon sRAW/Small RAW"));
    auto *srawBox = new QHBoxLayout(srawGroup);
    srawYccCheck = new QCheckBox(tr("Show YCbCr data for sRAW files"));
    srawYccNoInterpolationCheck = new QCheckBox(tr("Do not interpolate Cb/Cr channels"));
    srawBox->addWidget(srawYccCheck);
    srawBox->addWidget(srawYccNoInterpolationCheck);
    grid->addWidget(srawGroup, row++, 0, 1, 2);

    // A box without text beside a label of its own: the label wraps.
    auto checkWithLabel = [](const QString &title, QCheckBox *&box, const QString &text) {
        auto *group = new QGroupBox(title);
        auto *layout = new QHBoxLayout(group);
        box = new QCheckBox;
        auto *label = new QLabel(text);
        label->setBuddy(box);
        layout->addWidget(box);
        layout->addWidget(label, 1);
        return group;
    };
    grid->addWidget(checkWithLabel(tr("PhaseOne"), p1CorrectionCheck,
                                   tr("RAW data postprocessing<br/>(tone curve, flat field)")),
                    row, 0);
    grid->addWidget(checkWithLabel(tr("Pentax K1/K3-II"), p32ShotMergeCheck, tr("Merge data for 4-shot frames")), row++,
                    1);

    auto *sigmaGroup = new QGroupBox(tr("Sigma dpN Quattro (X3F files only)"));
    auto *sigmaBox = new QHBoxLayout(sigmaGroup);
    sigmaRGInterpolationCheck = new QCheckBox(tr("R and G channel interpolation"));
    sigmaAFInterpolationCheck = new QCheckBox(tr("Low sensitivity pixel interpolation"));
    sigmaBox->addWidget(sigmaRGInterpolationCheck);
    sigmaBox->addWidget(sigmaAFInterpolationCheck);
    grid->addWidget(sigmaGroup, row++, 0, 1, 2);

    auto *rw2Group = new QGroupBox(tr("Panasonic RW2"));
    auto *rw2Box = new QHBoxLayout(rw2Group);
    removeZeroesCheck = new QCheckBox(tr("Filter bad pixels"));
    rw2Box->addWidget(removeZeroesCheck);
    grid->addWidget(rw2Group, row, 0);
    auto *coolscanGroup = new QGroupBox(tr("Nikon Coolscan NEF"));
    auto *coolscanBox = new QHBoxLayout(coolscanGroup);
    coolscanGammaSpin = makeDoubleSpin(1.0, 3.0, 0.1, 1.0);
    coolscanBox->addWidget(new QLabel(tr("Coolscan NEF files gamma")));
    coolscanBox->addWidget(coolscanGammaSpin);
    grid->addWidget(coolscanGroup, row++, 1);

    auto *dngGroup = new QGroupBox(tr("DNG files"));
    auto *dngGrid = new QGridLayout(dngGroup);
    dngOpcodesCombo = makeCombo({tr("Stage 1"), tr("Stage 1 & 2"), tr("Stage 1, 2 & 3")});
    dngEnhancedCheck = new QCheckBox(tr("Show Enhanced image frame"));
    dngPreviewsCheck = new QCheckBox(tr("Show Preview frames"));
    dngDefaultCropCheck = new QCheckBox(tr("Use DefaultCrop tags for visible area"));
    dngGrid->addWidget(new QLabel(tr("Apply DNG opcodes")), 0, 0);
    dngGrid->addWidget(dngOpcodesCombo, 0, 1, Qt::AlignLeft);
    dngGrid->addWidget(dngEnhancedCheck, 1, 0);
    dngGrid->addWidget(dngPreviewsCheck, 1, 1);
    dngGrid->addWidget(dngDefaultCropCheck, 2, 0, 1, 2);
    grid->addWidget(dngGroup, row++, 0, 1, 2);

    grid->setRowStretch(row, 1);
    return page;
}

QWidget *TW_PrefPaneBase::buildHistogramPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    int row = 0;
    auto addCombo = [&](const QString &text, QComboBox *combo) {
        grid->addWidget(new QLabel(text), row, 0);
        grid->addWidget(combo, row++, 1);
        return combo;
    };
    auto addCheck = [&](const QString &text) {
        auto *box = new QCheckBox(text);
        grid->addWidget(box, row++, 0, 1, 2);
        return box;
    };
    const QStringList rangeSources = {tr("Current frame data"), tr("Camera data range")};

    histogramModeCombo =
        addCombo(tr("Horizontal Scale"), makeCombo({tr("Last Used"), tr("EV Scale (Photo)"), tr("Linear Scale")}));
    rememberHistogramCheck = addCheck(tr("Remember scale ranges"));
    rgbgHistogramModeCombo = addCombo(tr("Histogram for RGBG bayer images"),
                                      makeCombo({tr("Display G1 and G2"), tr("G1 only"), tr("Average G1 and G2")}));
    histogramTitleDataCombo =
        addCombo(tr("Additional data in histogram title bar"),
                 makeCombo({tr("None"), tr("Exposure data"), tr("Camera model"), tr("Exposure & Camera")}));
    histogramEV0SourceCombo = addCombo(tr("Set histogram EV0 by"), makeCombo(rangeSources));
    linearHistogramAutoScaleCombo = addCombo(tr("Set linear histogram auto range"), makeCombo(rangeSources));
    histogramFontCombo = addCombo(tr("Histogram area font family"), makeCombo(HistogramFonts::families()));
    histogramRetinaCheck = addCheck(tr("HiDPI histogram window mode (for HiDPI screens)"));
    histogramPNG2xCheck = addCheck(tr("High resolution histogram PNG export"));
    histogramOnTopCheck = addCheck(tr("Histogram windows always on top of main window"));

    grid->setRowStretch(row, 1);
    return page;
}

QWidget *TW_PrefPaneBase::buildFilePage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    int row = 0;

    moveOnFailedLoadCheck = new QCheckBox(tr("If next file load fails, move current filename pointer forward"));
    warnUnsavedSamplesCheck = new QCheckBox(tr("Warn about unsaved Samples on Exit or File open"));
    saveWrkDirCheck = new QCheckBox(tr("Remember working folder"));
    unloadBeforeLoadCheck = new QCheckBox(tr("Unload opened file before loading new one"));
    useNativeDialogsCheck = new QCheckBox(tr("Use native system file open/save dialogs where possible"));
    for (QCheckBox *box :
         {moveOnFailedLoadCheck, warnUnsavedSamplesCheck, saveWrkDirCheck, unloadBeforeLoadCheck, useNativeDialogsCheck})
        grid->addWidget(box, row++, 0, 1, 2);

    fileSortOrderCombo = makeCombo({tr("Name"), tr("Modify time"), tr("Size"), tr("Unsorted")});
    sideBarsUrlsCombo = makeCombo({tr("Remember used folders"), tr("Standard list"), tr("Home folder only")});
    additionalExtensionsEdit = new QLineEdit;
    additionalExtensionsEdit->setPlaceholderText(tr("e.g. *.tif *.tiff"));
    grid->addWidget(new QLabel(tr("Files sort order for Next/Prev")), row, 0);
    grid->addWidget(fileSortOrderCombo, row++, 1);
    grid->addWidget(new QLabel(tr("Sidebar folders list in Save dialogs")), row, 0);
    grid->addWidget(sideBarsUrlsCombo, row++, 1);
    grid->addWidget(new QLabel(tr("Additional RAW extensions")), row, 0);
    grid->addWidget(additionalExtensionsEdit, row++, 1);

    grid->setRowStretch(row, 1);
    return page;
}

QWidget *TW_PrefPaneBase::buildMiscPage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);
    int row = 0;

    saveWinPosCheck = new QCheckBox(tr("Save windows positions on exit"));
    useRegionalSettingsCheck = new QCheckBox(tr("Use Regional Settings for decimal separator"));
    runSingleInstanceCheck = new QCheckBox(tr("Run single Program instance"));
    fastExitCheck = new QCheckBox(tr("Faster program close"));
    smallPanelsFontCheck = new QCheckBox(tr("Use small fonts in information panels"));
    gridDialogOnTopCheck = new QCheckBox(tr("Put grid setup dialog on top of all windows"));
    minimizeTogetherCheck = new QCheckBox(tr("Minimize subwindows together with main window"));
    exifButtonOnBottomCheck = new QCheckBox(tr("Place EXIF button on bottom bar (requires program restart)"));
    for (QCheckBox *box : {saveWinPosCheck, useRegionalSettingsCheck, runSingleInstanceCheck, fastExitCheck,
                           smallPanelsFontCheck, gridDialogOnTopCheck, minimizeTogetherCheck, exifButtonOnBottomCheck})
        grid->addWidget(box, row++, 0, 1, 2);

    auto *exifGroup = new QGroupBox(tr("ExifTool settings"));
    auto *exifGrid = new QGridLayout(exifGroup);
    exifToolPathEdit = new QLineEdit;
    exifToolBrowseButton = new QPushButton(tr("..."));
    exifToolBrowseButton->setMaximumWidth(25);
    exifToolOptionsEdit = new QLineEdit;
    exifGrid->addWidget(new QLabel(tr("Path:")), 0, 0);
    exifGrid->addWidget(exifToolPathEdit, 0, 1);
    exifGrid->addWidget(exifToolBrowseButton, 0, 2);
    exifGrid->addWidget(new QLabel(tr("Command Line:")), 1, 0);
    exifGrid->addWidget(exifToolOptionsEdit, 1, 1, 1, 2);
    grid->addWidget(exifGroup, row++, 0, 1, 2);

    QStringList frequencies;
    for (const UpdateCheckFrequency &f : updateCheckFrequencies)
        frequencies << tr(f.label);
    updatesCheckFreqCombo = makeCombo(frequencies);
    QStringList samplerSides;
    for (int i = 0; i <= PrefStore::MaxSamplerSizeIndex; ++i)
        samplerSides << QStringLiteral("%1x%1").arg(PrefStore::samplerSizeForIndex(i));
    samplerSizeCombo = makeCombo(samplerSides);
    samplerSizeCombo->setCurrentIndex(4);
    grid->addWidget(new QLabel(tr("Check for updates")), row, 0);
    grid->addWidget(updatesCheckFreqCombo, row++, 1, Qt::AlignLeft);
    grid->addWidget(new QLabel(tr("Sampler Size")), row, 0);
    grid->addWidget(samplerSizeCombo, row++, 1, Qt::AlignLeft);

    grid->setRowStretch(row, 1);
    return page;
}

QWidget *TW_PrefPaneBase::buildExposurePage()
{
    auto *page = new QWidget;
    auto *grid = new QGridLayout(page);

    auto *oeGroup = new QGroupBox(tr("Overexposure Detection"));
    auto *oeGrid = new QGridLayout(oeGroup);
    oeAutoRadio = new QRadioButton(tr("Auto (by Histogram) "));
    oeManualRadio = new QRadioButton(tr("Manual level\nall channels:"));
    oePerChannelRadio = new QRadioButton(tr("Manual\nper channel:"));
    oeMethodGroup = makeTrio(this, oeAutoRadio, oeManualRadio, oePerChannelRadio);
    oeAutoRadio->setChecked(true);
    QStringList sensitivities;
    for (float percent : autoOESensitivityPercents)
        sensitivities << tr("%1%").arg(QString::number(percent, 'g', 6));
    sensitivities << tr("Full Well limited camera");
    oeSensitivityCombo = makeCombo(sensitivities);
    oeSensitivityCombo->setCurrentIndex(2);
    oeShiftSpin = makeDoubleSpin(-8.0, 1.0, 0.1, 0.0);
    oeShiftSpin->setSuffix(tr(" EV"));
    manualOELevelSpin = makeSpin(0, 65536, 150, 14500);
    manualOELevelSpin->setMaximumWidth(80);
    auto *autoRow = new QGridLayout;
    autoRow->addWidget(new QLabel(tr("Sensitivity:")), 0, 0);
    autoRow->addWidget(oeSensitivityCombo, 0, 1);
    autoRow->addWidget(new QLabel(tr("Auto OE Offset")), 1, 0);
    autoRow->addWidget(oeShiftSpin, 1, 1);
    autoRow->setColumnStretch(2, 1);
    oeGrid->addWidget(oeAutoRadio, 0, 0, Qt::AlignTop);
    oeGrid->addLayout(autoRow, 0, 1);
    oeGrid->addWidget(oeManualRadio, 1, 0);
    oeGrid->addWidget(manualOELevelSpin, 1, 1, Qt::AlignLeft);
    oeGrid->addWidget(oePerChannelRadio, 2, 0, Qt::AlignTop);
    oeGrid->addLayout(makeChannelRows(oeChannelLabels, oeChannelSpins, 99999, 150, 14500), 2, 1, Qt::AlignLeft);
    resetMOEOnLoadCheck = new QCheckBox(tr("Reset Manual levels on file load"));
    useLinearityLimitCheck = new QCheckBox(tr("Use camera linearity limit if available"));
    oeGrid->addWidget(resetMOEOnLoadCheck, 3, 0, 1, 2);
    oeGrid->addWidget(useLinearityLimitCheck, 4, 0, 1, 2);
    grid->addWidget(oeGroup, 0, 0);

    auto *ueGroup = new QGroupBox(tr("Underexposure Detection"));
    auto *ueGrid = new QGridLayout(ueGroup);
    ueOffsetRadio = new QRadioButton(tr("Offset\nfrom Saturation:"));
    ueManualRadio = new QRadioButton(tr("Manual level\nall channels:"));
    uePerChannelRadio = new QRadioButton(tr("Manual\nper channel:"));
    ueMethodGroup = makeTrio(this, ueOffsetRadio, ueManualRadio, uePerChannelRadio);
    ueOffsetRadio->setChecked(true);
    ueOffsetSpin = makeDoubleSpin(0.0, 16.0, 0.5, 7.0);
    manualUELevelSpin = makeSpin(0, 99999, 1, 16);
    auto *offsetRow = new QHBoxLayout;
    offsetRow->addWidget(ueOffsetSpin);
    offsetRow->addWidget(new QLabel(tr("EV below\nsaturation")));
    offsetRow->addStretch(1);
    ueGrid->addWidget(ueOffsetRadio, 0, 0);
    ueGrid->addLayout(offsetRow, 0, 1);
    ueGrid->addWidget(ueManualRadio, 1, 0);
    ueGrid->addWidget(manualUELevelSpin, 1, 1, Qt::AlignLeft);
    ueGrid->addWidget(uePerChannelRadio, 2, 0, Qt::AlignTop);
    ueGrid->addLayout(makeChannelRows(ueChannelLabels, ueChannelSpins, 99999, 1, 16), 2, 1, Qt::AlignLeft);
    grid->addWidget(ueGroup, 1, 0);

    rememberOEUECheck = new QCheckBox(tr("Remember OvExp/UnExp checkbox settings"));
    grid->addWidget(rememberOEUECheck, 2, 0);
    grid->setRowStretch(3, 1);
    return page;
}

void TW_PrefPaneBase::buildPrefTable()
{
    using K = PrefTable::Kind;
    PrefTable &t = prefTable;
    auto add = [&t](const char *key, QObject *control, K kind, int scale = 1) {
        t.add(QString::fromLatin1(key), control, kind, scale);
    };

    add("displayMode", displayModeCombo, K::Combo);
    add("whiteBalance", whiteBalanceCombo, K::Combo);
    add("rgbColorSource", rgbColorSourceCombo, K::Combo);
    add("rgbOutputSpace", rgbOutputSpaceCombo, K::Combo);
    add("maskedPixels", maskedPixelsCheck, K::Check);
    add("pixels2x2", pixels2x2Check, K::Check);
    add("rgbgAsGray", rgbgAsGrayCheck, K::Check);
    add("gamma22", gamma22Check, K::Check);
    add("autoscale", autoscaleCheck, K::Check);
    add("cursor2x2", cursor2x2Check, K::Check);
    add("rgbAutoscale", rgbAutoscaleCheck, K::Check);
    add("RGBAutoScaleThr", rgbAutoScaleThrSpin, K::DoubleSpin, 10);
    add("enableRGBMaxOverride", enableRGBMaxOverrideCheck, K::Check);
    add("RGBMaxOverride", rgbMaxOverrideSpin, K::Spin);
    add("maxRGBMegapixels", maxRGBMegapixelsSpin, K::Spin);
    add("d_maxRAWMegabytes", maxRAWMegabytesSpin, K::Spin);

    add("subtractBlack", subtractBlackCheck, K::Check);
    add("useRawSpeed", useRawSpeedCheck, K::Check);
    add("linearRawCurve", linearRawCurveCheck, K::Check);
    add("FilterExtremes", filterExtremesCheck, K::Check);
    add("blManualLevel", blManualLevelSpin, K::Spin);
    for (int i = 0; i < 4; ++i)
        t.add(QStringLiteral("BL%1").arg(i), blChannelSpins[i], K::Spin);
    add("resetBLOnLoad", resetBLOnLoadCheck, K::Check);
    add("FPRangeMin", fpRangeMinSpin, K::Spin);
    add("FPRangeMax", fpRangeMaxSpin, K::Spin);
    add("FPRangeTo", fpRangeToSpin, K::Spin);

    add("ARW2SpecialOptions", arw2ModeCombo, K::Combo);
    add("ARW2DeltaThreshold", arw2DeltaThresholdSpin, K::Spin);
    add("srawYcc", srawYccCheck, K::Check);
    add("srawYccNoInterpolation", srawYccNoInterpolationCheck, K::Check);
    add("p1Correction", p1CorrectionCheck, K::Check);
    add("P32_4ShotMerge", p32ShotMergeCheck, K::Check);
    add("sigmaQuattroRGInterpolation", sigmaRGInterpolationCheck, K::Check);
    add("sigmaQuattroAFInterpolation", sigmaAFInterpolationCheck, K::Check);
    add("removeZeroes", removeZeroesCheck, K::Check);
    add("coolscanGamma", coolscanGammaSpin, K::DoubleSpin, 1000);
    add("useDNGDOpcodes", dngOpcodesCombo, K::Combo);
    add("useDNGEnhanced", dngEnhancedCheck, K::Check);
    add("useDNGPreviews", dngPreviewsCheck, K::Check);
    add("useDNGDefaultCropTags", dngDefaultCropCheck, K::Check);

    add("histogramMode", histogramModeCombo, K::Combo);
    add("rememberHistogramSettings", rememberHistogramCheck, K::Check);
    add("RGBGHistogramMode", rgbgHistogramModeCombo, K::Combo);
    add("HistogramTitleData", histogramTitleDataCombo, K::Combo);
    add("HistogramEV0Source", histogramEV0SourceCombo, K::Combo);
    add("LinearHistogramAutoScale", linearHistogramAutoScaleCombo, K::Combo);
    add("HistogramFont", histogramFontCombo, K::Combo);
    add("HistogramRetina", histogramRetinaCheck, K::Check);
    add("HistogramPNG2x", histogramPNG2xCheck, K::Check);
    add("HistogramWindowOnTop", histogramOnTopCheck, K::Check);

    add("moveOnFailedLoad", moveOnFailedLoadCheck, K::Check);
    add("warnUnsavedSamples", warnUnsavedSamplesCheck, K::Check);
    add("saveWrkDirOnExit", saveWrkDirCheck, K::Check);
    add("unloadBeforeLoad", unloadBeforeLoadCheck, K::Check);
    add("useNativeDialogs", useNativeDialogsCheck, K::Check);
    add("fileSortOrder", fileSortOrderCombo, K::Combo);
    add("sideBarsUrls", sideBarsUrlsCombo, K::Combo);
    add("additionalExtensions", additionalExtensionsEdit, K::LineEdit);

    add("saveWinPos", saveWinPosCheck, K::Check);
    add("useRegionalSettings", useRegionalSettingsCheck, K::Check);
    add("runSingleInstance", runSingleInstanceCheck, K::Check);
    add("FastExit", fastExitCheck, K::Check);
    add("SmallPanelsFont", smallPanelsFontCheck, K::Check);
    add("GridDialogOnTop", gridDialogOnTopCheck, K::Check);
    add("onMainWindowMinimize", minimizeTogetherCheck, K::Check);
    add("ExifButtonOnBottom", exifButtonOnBottomCheck, K::Check);
    add("exifToolPath", exifToolPathEdit, K::LineEdit);
    add("exifToolOptions", exifToolOptionsEdit, K::LineEdit);
    add("updatesCheckFreq", updatesCheckFreqCombo, K::Combo);
    add("samplerSizeIndex", samplerSizeCombo, K::Combo);

    add("autoOESensitivity", oeSensitivityCombo, K::Combo);
    add("OEShift", oeShiftSpin, K::DoubleSpin, 1000);
    add("manualOELevel", manualOELevelSpin, K::Spin);
    for (int i = 0; i < 4; ++i)
        t.add(QStringLiteral("MOEC%1").arg(i), oeChannelSpins[i], K::Spin);
    add("resetMOEOnLoad", resetMOEOnLoadCheck, K::Check);
    add("d_useLinearityLimitforOE", useLinearityLimitCheck, K::Check);
    add("ueOffset", ueOffsetSpin, K::DoubleSpin, 1000);
    add("manualUELevel", manualUELevelSpin, K::Spin);
    for (int i = 0; i < 4; ++i)
        t.add(QStringLiteral("MUEC%1").arg(i), ueChannelSpins[i], K::Spin);
    add("rememberOEUEchecks", rememberOEUECheck, K::Check);

    // The trios after every level box, so that even a fill with the
    // interlocks live leaves the stored choice selected.
    add("subtractBlackMethod", blMethodGroup, K::RadioTrio);
    add("oeDetectMethod", oeMethodGroup, K::RadioTrio);
    add("ueDetectMethod", ueMethodGroup, K::RadioTrio);
}

void TW_PrefPaneBase::connectInterlocks()
{
    connect(arw2ModeCombo, &QComboBox::currentIndexChanged, this, &TW_PrefPaneBase::ARW2Changed);
    connect(rgbColorSourceCombo, &QComboBox::currentIndexChanged, this, &TW_PrefPaneBase::RGBProfileChanged);
    connect(rgbAutoscaleCheck, &QCheckBox::toggled, this, &TW_PrefPaneBase::RGBAutoscaleChanged);
    connect(enableRGBMaxOverrideCheck, &QCheckBox::toggled, this, &TW_PrefPaneBase::EnableRGBMaxOverrideChanged);
    for (QRadioButton *radio : {blAutoRadio, blManualRadio, blPerChannelRadio})
        connect(radio, &QRadioButton::clicked, this, [this] { BLType_touched(); });
    connect(blManualLevelSpin, &QSpinBox::valueChanged, this, &TW_PrefPaneBase::BLManual_touched);
    for (QSpinBox *spin : blChannelSpins)
        connect(spin, &QSpinBox::valueChanged, this, &TW_PrefPaneBase::BL_touched);
    connect(manualOELevelSpin, &QSpinBox::valueChanged, this, &TW_PrefPaneBase::MOELevel_touched);
    connect(oeSensitivityCombo, &QComboBox::currentIndexChanged, this, &TW_PrefPaneBase::MOESens_touched);
    for (QSpinBox *spin : oeChannelSpins)
        connect(spin, &QSpinBox::valueChanged, this, &TW_PrefPaneBase::MOELevelChan_touched);
    connect(ueOffsetSpin, &QDoubleSpinBox::valueChanged, this, &TW_PrefPaneBase::MUEOffset_touched);
    connect(manualUELevelSpin, &QSpinBox::valueChanged, this, &TW_PrefPaneBase::MUELevel_touched);
    for (QSpinBox *spin : ueChannelSpins)
        connect(spin, &QSpinBox::valueChanged, this, &TW_PrefPaneBase::MUELevelChan_touched);
}

int TW_PrefPaneBase::levelSingleStep(int value)
{
    return value < 100 ? 1 : value / 50;
}

void TW_PrefPaneBase::BLType_touched(int)
{
    subtractBlackCheck->setChecked(true);
}

void TW_PrefPaneBase::BLManual_touched(int)
{
    if (suppressInterlocks)
        return;
    subtractBlackCheck->setChecked(true);
    blManualRadio->setChecked(true);
}

void TW_PrefPaneBase::BL_touched(int)
{
    if (suppressInterlocks)
        return;
    subtractBlackCheck->setChecked(true);
    blPerChannelRadio->setChecked(true);
}

void TW_PrefPaneBase::MOESens_touched(int)
{
    if (suppressInterlocks)
        return;
    oeAutoRadio->setChecked(true);
}

void TW_PrefPaneBase::MOELevel_touched(int)
{
    if (suppressInterlocks)
        return;
    oeManualRadio->setChecked(true);
    manualOELevelSpin->setSingleStep(levelSingleStep(manualOELevelSpin->value()));
}

void TW_PrefPaneBase::MOELevelChan_touched(int)
{
    if (suppressInterlocks)
        return;
    oePerChannelRadio->setChecked(true);
    for (QSpinBox *spin : oeChannelSpins)
        spin->setSingleStep(levelSingleStep(spin->value()));
}

void TW_PrefPaneBase::MUEOffset_touched(double)
{
    if (suppressInterlocks)
        return;
    ueOffsetRadio->setChecked(true);
}

void TW_PrefPaneBase::MUELevel_touched(int)
{
    if (suppressInterlocks)
        return;
    ueManualRadio->setChecked(true);
    manualUELevelSpin->setSingleStep(levelSingleStep(manualUELevelSpin->value()));
}

void TW_PrefPaneBase::MUELevelChan_touched(int)
{
    if (suppressInterlocks)
        return;
    uePerChannelRadio->setChecked(true);
    for (QSpinBox *spin : ueChannelSpins)
        spin->setSingleStep(levelSingleStep(spin->value()));
}

void TW_PrefPaneBase::ARW2Changed(int mode)
{
    linearRawCurveCheck->setEnabled(mode < 3);
    subtractBlackCheck->setEnabled(mode < 3);
    arw2DeltaThresholdSpin->setEnabled(mode == 4);
    useRawSpeedCheck->setEnabled(mode == 0);
}

void TW_PrefPaneBase::RGBProfileChanged(int index)
{
    rgbOutputSpaceCombo->setEnabled(index > 0);
}

void TW_PrefPaneBase::RGBAutoscaleChanged(bool on)
{
    rgbAutoScaleThrSpin->setEnabled(on);
}

void TW_PrefPaneBase::EnableRGBMaxOverrideChanged(bool on)
{
    rgbMaxOverrideSpin->setEnabled(on);
}

void TW_PrefPaneBase::applyEnableRules()
{
    ARW2Changed(arw2ModeCombo->currentIndex());
    RGBProfileChanged(rgbColorSourceCombo->currentIndex());
    RGBAutoscaleChanged(rgbAutoscaleCheck->isChecked());
    EnableRGBMaxOverrideChanged(enableRGBMaxOverrideCheck->isChecked());
}

void TW_PrefPaneBase::applyLevelSteps()
{
    manualOELevelSpin->setSingleStep(levelSingleStep(manualOELevelSpin->value()));
    manualUELevelSpin->setSingleStep(levelSingleStep(manualUELevelSpin->value()));
    for (QSpinBox *spin : oeChannelSpins)
        spin->setSingleStep(levelSingleStep(spin->value()));
    for (QSpinBox *spin : ueChannelSpins)
        spin->setSingleStep(levelSingleStep(spin->value()));
}
