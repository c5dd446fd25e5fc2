#ifndef TW_PREFPANEBASE_H
#define TW_PREFPANEBASE_H

#include "PrefTable.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;

// The preferences dialog's seven pages and the rules between their controls.
// Filling and storing the values is the settings store's part (TW_PrefPane).
class TW_PrefPaneBase : public QDialog
{
    Q_OBJECT
public:
    explicit TW_PrefPaneBase(QWidget *parent = nullptr);
    ~TW_PrefPaneBase() override;

    // The single step of an edited level: fine below 100, else 2 % of it.
    static int levelSingleStep(int value);

    // False only while the dialog's own event loop runs: filling the
    // controls from the store or a loaded file must not move the radios.
    bool suppressInterlocks = true;

    QListWidget *pageList = nullptr;
    QStackedWidget *pageStack = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

    // Display Options
    QComboBox *displayModeCombo = nullptr;
    QComboBox *whiteBalanceCombo = nullptr;
    QComboBox *rgbColorSourceCombo = nullptr;
    QComboBox *rgbOutputSpaceCombo = nullptr;
    QGroupBox *rawDisplayGroup = nullptr;
    QCheckBox *maskedPixelsCheck = nullptr;
    QCheckBox *pixels2x2Check = nullptr;
    QCheckBox *rgbgAsGrayCheck = nullptr;
    QCheckBox *gamma22Check = nullptr;
    QCheckBox *autoscaleCheck = nullptr;
    QCheckBox *cursor2x2Check = nullptr;
    QCheckBox *rgbAutoscaleCheck = nullptr;
    QDoubleSpinBox *rgbAutoScaleThrSpin = nullptr;
    QCheckBox *enableRGBMaxOverrideCheck = nullptr;
    QSpinBox *rgbMaxOverrideSpin = nullptr;
    QSpinBox *maxRGBMegapixelsSpin = nullptr;
    QSpinBox *maxRAWMegabytesSpin = nullptr;

    // Data Processing
    QCheckBox *subtractBlackCheck = nullptr;
    QCheckBox *useRawSpeedCheck = nullptr;
    QCheckBox *linearRawCurveCheck = nullptr;
    QCheckBox *filterExtremesCheck = nullptr;
    QRadioButton *blAutoRadio = nullptr;
    QRadioButton *blManualRadio = nullptr;
    QRadioButton *blPerChannelRadio = nullptr;
    QButtonGroup *blMethodGroup = nullptr;
    QSpinBox *blManualLevelSpin = nullptr;
    std::array<QLabel *, 4> blChannelLabels{};
    std::array<QSpinBox *, 4> blChannelSpins{};
    QCheckBox *resetBLOnLoadCheck = nullptr;
    QSpinBox *fpRangeMinSpin = nullptr;
    QSpinBox *fpRangeMaxSpin = nullptr;
    QSpinBox *fpRangeToSpin = nullptr;

    // Vendor specific
    QComboBox *arw2ModeCombo = nullptr;
    QSpinBox *arw2DeltaThresholdSpin = nullptr;
    QCheckBox *srawYccCheck = nullptr;
    QCheckBox *srawYccNoInterpolationCheck = nullptr;
    QCheckBox *p1CorrectionCheck = nullptr;
    QCheckBox *p32ShotMergeCheck = nullptr;
    QCheckBox *sigmaRGInterpolationCheck = nullptr;
    QCheckBox *sigmaAFInterpolationCheck = nullptr;
    QCheckBox *removeZeroesCheck = nullptr;
    QDoubleSpinBox *coolscanGammaSpin = nullptr;
    QComboBox *dngOpcodesCombo = nullptr;
    QCheckBox *dngEnhancedCheck = nullptr;
    QCheckBox *dngPreviewsCheck = nullptr;
    QCheckBox *dngDefaultCropCheck = nullptr;

    // Histograms
    QComboBox *histogramModeCombo = nullptr;
    QCheckBox *rememberHistogramCheck = nullptr;
    QComboBox *rgbgHistogramModeCombo = nullptr;
    QComboBox *histogramTitleDataCombo = nullptr;
    QComboBox *histogramEV0SourceCombo = nullptr;
    QComboBox *linearHistogramAutoScaleCombo = nullptr;
    QComboBox *histogramFontCombo = nullptr;
    QCheckBox *histogramRetinaCheck = nullptr;
    QCheckBox *histogramPNG2xCheck = nullptr;
    QCheckBox *histogramOnTopCheck = nullptr;

    // File handling
    QCheckBox *moveOnFailedLoadCheck = nullptr;
    QCheckBox *warnUnsavedSamplesCheck = nullptr;
    QCheckBox *saveWrkDirCheck = nullptr;
    QCheckBox *unloadBeforeLoadCheck = nullptr;
    QCheckBox *useNativeDialogsCheck = nullptr;
    QComboBox *fileSortOrderCombo = nullptr;
    QComboBox *sideBarsUrlsCombo = nullptr;
    QLineEdit *additionalExtensionsEdit = nullptr;

    // Misc Options
    QCheckBox *saveWinPosCheck = nullptr;
    QCheckBox *useRegionalSettingsCheck = nullptr;
    QCheckBox *runSingleInstanceCheck = nullptr;
    QCheckBox *fastExitCheck = nullptr;
    QCheckBox *smallPanelsFontCheck = nullptr;
    QCheckBox *gridDialogOnTopCheck = nullptr;
    QCheckBox *minimizeTogetherCheck = nullptr;
    QCheckBox *exifButtonOnBottomCheck = nullptr;
    QLineEdit *exifToolPathEdit = nullptr;
    QPushButton *exifToolBrowseButton = nullptr;
    QLineEdit *exifToolOptionsEdit = nullptr;
    QComboBox *updatesCheckFreqCombo = nullptr;
    QComboBox *samplerSizeCombo = nullptr;

    // Over/Under Exposure
    QRadioButton *oeAutoRadio = nullptr;
    QRadioButton *oeManualRadio = nullptr;
    QRadioButton *oePerChannelRadio = nullptr;
    QButtonGroup *oeMethodGroup = nullptr;
    QComboBox *oeSensitivityCombo = nullptr;
    QDoubleSpinBox *oeShiftSpin = nullptr;
    QSpinBox *manualOELevelSpin = nullptr;
    std::array<QLabel *, 4> oeChannelLabels{};
    std::array<QSpinBox *, 4> oeChannelSpins{};
    QCheckBox *resetMOEOnLoadCheck = nullptr;
    QCheckBox *useLinearityLimitCheck = nullptr;
    QRadioButton *ueOffsetRadio = nullptr;
    QRadioButton *ueManualRadio = nullptr;
    QRadioButton *uePerChannelRadio = nullptr;
    QButtonGroup *ueMethodGroup = nullptr;
    QDoubleSpinBox *ueOffsetSpin = nullptr;
    QSpinBox *manualUELevelSpin = nullptr;
    std::array<QLabel *, 4> ueChannelLabels{};
    std::array<QSpinBox *, 4> ueChannelSpins{};
    QCheckBox *rememberOEUECheck = nullptr;

public slots:
    void BLType_touched(int unused = 0);
    void BLManual_touched(int unused = 0);
    void BL_touched(int unused = 0);
    void MOESens_touched(int unused = 0);
    void MOELevel_touched(int unused = 0);
    void MOELevelChan_touched(int unused = 0);
    void MUEOffset_touched(double unused = 0);
    void MUELevel_touched(int unused = 0);
    void MUELevelChan_touched(int unused = 0);
    void ARW2Changed(int mode);
    void RGBProfileChanged(int index);
    void RGBAutoscaleChanged(bool on);
    void EnableRGBMaxOverrideChanged(bool on);

protected:
    // The enabled states that follow the ARW2 mode, the colour profile, the
    // autoexposure and the white-level override, from what the controls show.
    void applyEnableRules();
    // The single steps of the ten exposure level boxes, from their values.
    void applyLevelSteps();

    // Every option's row; the widgets belong to the pages.
    PrefTable prefTable;

private:
    QWidget *buildDisplayPage();
    QWidget *buildProcessingPage();
    QWidget *buildVendorPage();
    QWidget *buildHistogramPage();
    QWidget *buildFilePage();
    QWidget *buildMiscPage();
    QWidget *buildExposurePage();
    void buildPrefTable();
    void connectInterlocks();
};

#endif
