#include "TW_PrefPane.h"

#include "PreferenceDefault.h"
#include "TW_Settings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

namespace {

// Sets a level box without emitting: a level handed over by a loading file
// is not a user's choice of method.
void setQuietly(QSpinBox *spin, int value)
{
    const QSignalBlocker blocker(spin);
    spin->setValue(value);
}

}

TW_PrefPane::TW_PrefPane(bool saveOnApply, bool loadOnCreate, QWidget *parent)
    : TW_PrefPaneBase(parent), PrefStore(saveOnApply, loadOnCreate)
{
    setControls(this);
    connect(pixels2x2Check, &QCheckBox::clicked, this, &TW_PrefPane::pixels2x2_checked);
    connect(rgbgAsGrayCheck, &QCheckBox::clicked, this, &TW_PrefPane::rgbgAsGray_checked);
    connect(buttonBox, &QDialogButtonBox::clicked, this, &TW_PrefPane::buttonClicked);
    connect(exifToolBrowseButton, &QPushButton::clicked, this, &TW_PrefPane::browseExifTool);
}

TW_PrefPane::~TW_PrefPane()
{
    setControls(nullptr);
}

void TW_PrefPane::fillFrom(const QMap<QString, int> &ints, const QMap<QString, QString> &strings)
{
    const bool wasSuppressed = suppressInterlocks;
    suppressInterlocks = true;
    prefTable.fill(ints, strings);
    suppressInterlocks = wasSuppressed;
    applyEnableRules();
}

void TW_PrefPane::fillControls()
{
    fillFrom(intPrefs, stringPrefs);
}

int TW_PrefPane::exec()
{
    fillControls();
    suppressInterlocks = false;
    const int result = QDialog::exec();
    suppressInterlocks = true;
    return result;
}

void TW_PrefPane::buttonClicked(QAbstractButton *button)
{
    switch (buttonBox->standardButton(button)) {
    case QDialogButtonBox::Apply:
        applySettings();
        break;
    case QDialogButtonBox::Ok:
        applySettings();
        done(QDialog::Accepted);
        break;
    case QDialogButtonBox::Cancel:
        done(QDialog::Rejected);
        break;
    case QDialogButtonBox::RestoreDefaults:
        restoreDefaults();
        break;
    default:
        break;
    }
}

void TW_PrefPane::applySettings()
{
    prefTable.write(*this);
    if (saveOnApply && !saveSettings())
        reportSaveFailure();
    emit ev_apply();
}

void TW_PrefPane::reportSaveFailure()
{
    const QString file = TW_Settings().fileName();
    QMessageBox::warning(this, tr("Settings not saved"),
                         tr("The preferences could not be written to <b>%1</b>.<br/>"
                            "They apply until the program closes.")
                             .arg(file.toHtmlEscaped()));
}

void TW_PrefPane::restoreDefaults()
{
    QMap<QString, int> defaults;
    for (const PreferenceDefault &row : preferenceDefaults)
        defaults.insert(row.key, row.value);
    // The black level of the last loaded file is the sensible manual level.
    const int black = defaults.value(QStringLiteral("resetBLOnLoad")) != 0
                          ? prefValue(QStringLiteral("BlDefault"))
                          : defaults.value(QStringLiteral("blManualLevel"));
    defaults.insert(QStringLiteral("blManualLevel"), black);
    for (int i = 0; i < 4; ++i)
        defaults.insert(QStringLiteral("BL%1").arg(i), black);

    // The ExifTool path names this machine's program; it has no default.
    QMap<QString, QString> strings = stringDefaults();
    strings.remove(QStringLiteral("exifToolPath"));

    fillFrom(defaults, strings);
    applyLevelSteps();
}

void TW_PrefPane::browseExifTool()
{
    const QString current = exifToolPathEdit->text();
    const QString folder = current.isEmpty() ? QDir::homePath() : QFileInfo(current).absolutePath();
    QFileDialog::Options options;
    if (prefValue(QStringLiteral("useNativeDialogs")) == 0)
        options |= QFileDialog::DontUseNativeDialog;
    const QString chosen = QFileDialog::getOpenFileName(this, tr("Browse for ExifTool executable"), folder,
                                                        tr("exiftool (exiftool);; All files (*)"), nullptr, options);
    if (!chosen.isEmpty())
        exifToolPathEdit->setText(chosen);
}

void TW_PrefPane::pixels2x2_checked(bool on)
{
    if (on)
        rgbgAsGrayCheck->setChecked(false);
}

void TW_PrefPane::rgbgAsGray_checked(bool on)
{
    if (on)
        pixels2x2Check->setChecked(false);
}

void TW_PrefPane::showBlackLevels(int level, const QVector<int> &perChannel)
{
    setQuietly(blManualLevelSpin, level);
    for (int i = 0; i < int(perChannel.size()) && i < 4; ++i)
        setQuietly(blChannelSpins[i], perChannel.at(i));
}

void TW_PrefPane::showOverExposureLevels(int all, const QVector<int> &perChannel)
{
    setQuietly(manualOELevelSpin, all);
    for (int i = 0; i < int(perChannel.size()) && i < 4; ++i)
        setQuietly(oeChannelSpins[i], perChannel.at(i));
}

void TW_PrefPane::showChannelNames(const QStringList &names)
{
    const std::array<std::pair<std::array<QLabel *, 4> *, std::array<QSpinBox *, 4> *>, 3> groups = {{
        {&blChannelLabels, &blChannelSpins},
        {&oeChannelLabels, &oeChannelSpins},
        {&ueChannelLabels, &ueChannelSpins},
    }};
    for (const auto &[labels, spins] : groups) {
        for (int i = 0; i < 4; ++i) {
            const bool used = i < names.size();
            (*labels)[i]->setText(used ? names.at(i) : QString());
            (*spins)[i]->setEnabled(used);
        }
    }
}
