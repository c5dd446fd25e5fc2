#include "TW_SamplesSaveOptions.h"

#include "SamplesSaveCheck.h"
#include "TW_FileDialog.h"
#include "TW_SaveDialog.h"
#include "TW_Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// A hand-edited or damaged value reads as the default, not as whatever
// QVariant makes of it ("garbage" would read as true).
bool readBool(const QVariant &v, bool fallback)
{
    const QString s = v.toString().trimmed().toLower();
    if (s == QLatin1String("true") || s == QLatin1String("1"))
        return true;
    if (s == QLatin1String("false") || s == QLatin1String("0"))
        return false;
    return fallback;
}

void setWidgetChecked(QWidget *w, bool on)
{
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        b->setChecked(on);
    else if (auto *g = qobject_cast<QGroupBox *>(w))
        g->setChecked(on);
}

bool widgetChecked(const QWidget *w)
{
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->isChecked();
    if (auto *g = qobject_cast<const QGroupBox *>(w))
        return g->isChecked();
    return false;
}

QGroupBox *checkableGroup(const QString &title, QWidget *parent)
{
    auto *g = new QGroupBox(title, parent);
    g->setCheckable(true);
    g->setChecked(false);
    return g;
}

}

TW_SamplesSaveOptions::TW_SamplesSaveOptions(QWidget *parent, const QStringList &whiteBalanceEntries,
                                             const QStringList &sampleNames, int sampleCount, int flatFieldChannels)
    : TW_GenericSaveOptions(tr("Save Options"), parent), sampleNames(sampleNames), sampleCount(sampleCount),
      flatFieldChannels(flatFieldChannels)
{
    formatGroup = new QGroupBox(tr("File Format"), this);
    csvRadio = new QRadioButton(tr("CSV"), formatGroup);
    cgatsRadio = new QRadioButton(tr("CGATS"), formatGroup);
    flatFieldRadio = new QRadioButton(tr("Flat field data"), formatGroup);
    coordinatesRadio = new QRadioButton(tr("Coordinates only"), formatGroup);
    auto *formatLayout = new QVBoxLayout(formatGroup);
    for (QRadioButton *r : {csvRadio, cgatsRadio, flatFieldRadio, coordinatesRadio})
        formatLayout->addWidget(r);
    formatLayout->addStretch();

    fieldsGroup = new QGroupBox(tr("Additional data fields"), this);
    filenameCheck = new QCheckBox(tr("Raw Filename"), fieldsGroup);
    frameNumberCheck = new QCheckBox(tr("Raw Frame Number"), fieldsGroup);
    coordinatesCheck = new QCheckBox(tr("Cell Coordinates"), fieldsGroup);
    extremesCheck = new QCheckBox(tr("Min/Max Values"), fieldsGroup);
    stdDevCheck = new QCheckBox(tr("StdDev Values"), fieldsGroup);
    avgGreenCheck = new QCheckBox(tr("Average Green Channels"), fieldsGroup);
    const QString extraTexts[SamplesSaveSettings::ExtraFieldCount] = {
        tr("Camera vendor"), tr("Camera model"), tr("ISO"), tr("Shutter value (e.g. 0.01)"),
        tr("Shutter string (e.g. 1/100)"), tr("Aperture value (e.g. 16.0)"), tr("Aperture string (e.g. f/16)")};
    for (int i = 0; i < SamplesSaveSettings::ExtraFieldCount; ++i)
        extraChecks[i] = new QCheckBox(extraTexts[i], fieldsGroup);
    dcpCheck = new QCheckBox(tr("Add DESCRIPTOR \"DCP Profile\""), fieldsGroup);
    dcpCheck->setEnabled(false);
    auto *fieldsLayout = new QGridLayout(fieldsGroup);
    int row = 0;
    for (QCheckBox *c : {filenameCheck, frameNumberCheck, coordinatesCheck, extremesCheck, stdDevCheck, avgGreenCheck})
        fieldsLayout->addWidget(c, row++, 0);
    for (int i = 0; i < SamplesSaveSettings::ExtraFieldCount; ++i)
        fieldsLayout->addWidget(extraChecks[i], i, 1);
    fieldsLayout->addWidget(dcpCheck, SamplesSaveSettings::ExtraFieldCount, 1);

    transformGroup = new QGroupBox(tr("Data Transformations"), this);
    flatFieldGroup = checkableGroup(tr("Flat Field Normalization"), transformGroup);
    flatFieldEdit = new QLineEdit(flatFieldGroup);
    flatFieldButton = new QPushButton(tr(".."), flatFieldGroup);
    flatFieldButton->setMaximumWidth(33);
    flatFieldButton->setAutoDefault(false);
    avgChannelsCheck = new QCheckBox(tr("Average Channels"), flatFieldGroup);
    matchByNameCheck = new QCheckBox(tr("Match FlatField data by Sample Name"), flatFieldGroup);
    auto *ffLayout = new QGridLayout(flatFieldGroup);
    ffLayout->addWidget(new QLabel(tr("FlatField DataFile:"), flatFieldGroup), 0, 0);
    ffLayout->addWidget(flatFieldEdit, 0, 1);
    ffLayout->addWidget(flatFieldButton, 0, 2);
    ffLayout->addWidget(avgChannelsCheck, 1, 0, 1, 3);
    ffLayout->addWidget(matchByNameCheck, 2, 0, 1, 3);

    whiteBalanceGroup = checkableGroup(tr("White Balance"), transformGroup);
    whiteBalanceCombo = new QComboBox(whiteBalanceGroup);
    whiteBalanceCombo->addItem(tr("-Select"));
    whiteBalanceCombo->addItems(whiteBalanceEntries);
    auto *wbLayout = new QGridLayout(whiteBalanceGroup);
    wbLayout->addWidget(new QLabel(tr("Select Sample to set it Gray"), whiteBalanceGroup), 0, 0, 1, 2);
    wbLayout->addWidget(new QLabel(tr("Sample ID:"), whiteBalanceGroup), 1, 0);
    wbLayout->addWidget(whiteBalanceCombo, 1, 1);

    gammaGroup = checkableGroup(tr("Data Scaling and Gamma"), transformGroup);
    gammaSpin = new QDoubleSpinBox(gammaGroup);
    gammaSpin->setRange(0.1, 5);
    gammaSpin->setSingleStep(0.1);
    gammaSpin->setValue(2.2);
    maxValueSpin = new QDoubleSpinBox(gammaGroup);
    maxValueSpin->setRange(0.1, 65535);
    maxValueSpin->setSingleStep(4);
    maxValueSpin->setValue(242);
    auto *gammaLayout = new QGridLayout(gammaGroup);
    gammaLayout->addWidget(new QLabel(tr("Gamma Value:"), gammaGroup), 0, 0);
    gammaLayout->addWidget(gammaSpin, 0, 1);
    gammaLayout->addWidget(new QLabel(tr("Maximum Value:"), gammaGroup), 1, 0);
    gammaLayout->addWidget(maxValueSpin, 1, 1);

    auto *transformLayout = new QVBoxLayout(transformGroup);
    transformLayout->addWidget(flatFieldGroup);
    transformLayout->addWidget(whiteBalanceGroup);
    transformLayout->addWidget(gammaGroup);

    auto *layout = new QGridLayout(this);
    layout->addWidget(formatGroup, 0, 0);
    layout->addWidget(fieldsGroup, 0, 1);
    layout->addWidget(transformGroup, 0, 2);

    connect(cgatsRadio, &QRadioButton::toggled, this, &TW_SamplesSaveOptions::changeCGATS);
    connect(csvRadio, &QRadioButton::toggled, this, &TW_SamplesSaveOptions::changeCSV);
    connect(flatFieldRadio, &QRadioButton::toggled, this, &TW_SamplesSaveOptions::changeFlatField);
    connect(coordinatesRadio, &QRadioButton::toggled, this, &TW_SamplesSaveOptions::changeSampleCoords);
    connect(flatFieldButton, &QPushButton::clicked, this, &TW_SamplesSaveOptions::selectFlatFieldFile);

    warn = [this](const QString &title, const QString &text) {
        QWidget *owner = saveDialog ? static_cast<QWidget *>(saveDialog) : this;
        QMessageBox::warning(owner, title, text, QMessageBox::Ok);
    };
    loadSettings();
}

QVector<TW_SamplesSaveOptions::Binding> TW_SamplesSaveOptions::bindings() const
{
    return {
        {"samplesWriteCSV", csvRadio, Kind::CsvFormat, true},
        {"samplesWriteCGATS", cgatsRadio, Kind::Check, false},
        {"samplesAddFilename", filenameCheck, Kind::Check, false},
        {"samplesAddFrameNumber", frameNumberCheck, Kind::Check, false},
        {"samplesAddCoordinates", coordinatesCheck, Kind::Check, false},
        {"samplesAddExtremes", extremesCheck, Kind::Check, false},
        {"samplesAddStdDev", stdDevCheck, Kind::Check, false},
        {"samplesAvgGreen", avgGreenCheck, Kind::Check, false},
        {"samplesCSVOptions", nullptr, Kind::FieldList, QStringList()},
        {"addDCP", dcpCheck, Kind::Check, false},
        {"dnDoFlatField", flatFieldGroup, Kind::Check, false},
        {"dnFlatFieldFile", flatFieldEdit, Kind::Path, QString()},
        {"dnFlatFieldAvgChannels", avgChannelsCheck, Kind::Check, false},
        {"dnFlatFieldMatchById", matchByNameCheck, Kind::Check, false},
        {"dnDoWhiteBalance", whiteBalanceGroup, Kind::Check, false},
        {"dnWhiteBalanceIndex", whiteBalanceCombo, Kind::ComboIndex, 0},
        {"dnDoGammaAndNorm", gammaGroup, Kind::Check, false},
        {"dnGammaValue", gammaSpin, Kind::Number, 2.2},
        {"dnDataNormalizationValue", maxValueSpin, Kind::Number, 242.0},
    };
}

void TW_SamplesSaveOptions::loadSettings()
{
    TW_Settings preferences("Preferences");
    loadSettings(preferences);
}

void TW_SamplesSaveOptions::saveSettings()
{
    TW_Settings preferences("Preferences");
    saveSettings(preferences);
}

void TW_SamplesSaveOptions::loadSettings(QSettings &preferences)
{
    for (const Binding &b : bindings()) {
        const QString key = QLatin1String(b.key);
        const bool present = preferences.contains(key);
        const QVariant v = present ? preferences.value(key) : b.fallback;
        switch (b.kind) {
        case Kind::Check:
        case Kind::CsvFormat:
            setWidgetChecked(b.widget, readBool(v, b.fallback.toBool()));
            break;
        case Kind::Path:
            static_cast<QLineEdit *>(b.widget)->setText(v.toString());
            break;
        case Kind::ComboIndex: {
            auto *combo = static_cast<QComboBox *>(b.widget);
            bool ok = false;
            const int i = v.toInt(&ok);
            combo->setCurrentIndex(ok && i >= 0 && i < combo->count() ? i : 0);
            break;
        }
        case Kind::Number: {
            bool ok = false;
            const double d = v.toDouble(&ok);
            if (present && ok)
                static_cast<QDoubleSpinBox *>(b.widget)->setValue(d);
            break;
        }
        case Kind::FieldList: {
            QSet<int> ticked;
            for (const QString &entry : v.toStringList()) {
                bool ok = false;
                const int number = entry.trimmed().toInt(&ok);
                if (ok && number > 0)
                    ticked.insert(number - 1);
            }
            for (int i = 0; i < SamplesSaveSettings::ExtraFieldCount; ++i)
                extraChecks[i]->setChecked(ticked.contains(i));
            break;
        }
        }
    }
    // The last two formats are never restored; with both others stored off
    // the table is the format, as the writer would take it anyway.
    if (!csvRadio->isChecked() && !cgatsRadio->isChecked())
        csvRadio->setChecked(true);
}

void TW_SamplesSaveOptions::saveSettings(QSettings &preferences) const
{
    for (const Binding &b : bindings()) {
        const QString key = QLatin1String(b.key);
        switch (b.kind) {
        case Kind::Check:
            preferences.setValue(key, widgetChecked(b.widget));
            break;
        case Kind::CsvFormat:
            preferences.setValue(key, !cgatsRadio->isChecked());
            break;
        case Kind::Path:
            preferences.setValue(key, static_cast<QLineEdit *>(b.widget)->text());
            break;
        case Kind::ComboIndex:
            preferences.setValue(key, static_cast<QComboBox *>(b.widget)->currentIndex());
            break;
        case Kind::Number:
            preferences.setValue(key, static_cast<QDoubleSpinBox *>(b.widget)->value());
            break;
        case Kind::FieldList: {
            QStringList numbers;
            for (int i = 0; i < SamplesSaveSettings::ExtraFieldCount; ++i)
                if (extraChecks[i]->isChecked())
                    numbers << QString::number(i + 1);
            preferences.setValue(key, numbers);
            break;
        }
        }
    }
}

void TW_SamplesSaveOptions::setAvailability(bool rgb, int channelCount, bool native)
{
    nativeDialogs = native;
    isRgb = rgb;
    channels = channelCount;
    greenAveragingUnavailable = !(rgb && channelCount > 3);
    avgGreenCheck->setEnabled(!greenAveragingUnavailable);
    if (greenAveragingUnavailable)
        avgGreenCheck->setChecked(false);
    if (channelCount < 3) {
        whiteBalanceGroup->setChecked(false);
        avgChannelsCheck->setChecked(false);
    }
    avgChannelsCheck->setEnabled(false);
    for (QGroupBox *g : {gammaGroup, flatFieldGroup, whiteBalanceGroup})
        g->setEnabled(true);
}

void TW_SamplesSaveOptions::applyFormat(bool cgats, bool csv, bool flatFieldFormat, bool coordinates)
{
    if (cgats)
        changeCGATS(true);
    else if (csv)
        changeCSV(true);
    else if (flatFieldFormat)
        changeFlatField(true);
    else if (coordinates)
        changeSampleCoords(true);
}

void TW_SamplesSaveOptions::applyFormatRow(const QString &suffix, const QString &filter, bool groupsEnabled,
                                           bool dcpEnabled, Fields fields, bool extraEnabled)
{
    if (saveDialog) {
        saveDialog->fileDialog->setDefaultSuffix(suffix);
        saveDialog->fileDialog->setNameFilter(filter);
    }
    fieldsGroup->setEnabled(groupsEnabled);
    transformGroup->setEnabled(groupsEnabled);
    dcpCheck->setEnabled(dcpEnabled);
    if (fields == Fields::Enabled) {
        for (QCheckBox *c : {filenameCheck, frameNumberCheck, coordinatesCheck, extremesCheck})
            c->setEnabled(true);
    } else if (fields == Fields::Fixed) {
        // CGATS always names the file and frame, and has no columns for
        // cell coordinates or extremes.
        for (QCheckBox *c : {filenameCheck, frameNumberCheck}) {
            c->setChecked(true);
            c->setEnabled(false);
        }
        for (QCheckBox *c : {coordinatesCheck, extremesCheck}) {
            c->setChecked(false);
            c->setEnabled(false);
        }
    }
    for (QCheckBox *c : extraChecks)
        c->setEnabled(extraEnabled);
}

void TW_SamplesSaveOptions::changeCGATS(bool on)
{
    if (on)
        applyFormatRow(QStringLiteral("txt"),
                       tr("Text Files (*.txt);; CSV Files (*csv);; Flat Field Data (*.ffd);; Tessivane samples (*.tws)"),
                       true, true, Fields::Fixed, false);
}

void TW_SamplesSaveOptions::changeCSV(bool on)
{
    if (on)
        applyFormatRow(QStringLiteral("csv"),
                       tr("CSV Files (*csv);; Text Files (*.txt);; Flat Field Data (*.ffd);; Tessivane samples (*.tws)"),
                       true, false, Fields::Enabled, true);
}

void TW_SamplesSaveOptions::changeFlatField(bool on)
{
    if (on)
        applyFormatRow(QStringLiteral("ffd"),
                       tr("Flat Field Data (*.ffd);; Text Files (*.txt);; CSV Files (*csv);; Tessivane samples (*.tws)"),
                       false, false, Fields::Unchanged, false);
}

void TW_SamplesSaveOptions::changeSampleCoords(bool on)
{
    if (on)
        applyFormatRow(QStringLiteral("tws"),
                       tr("Tessivane samples (*.tws);; Text Files (*.txt);; CSV Files (*csv);; Flat Field Data (*.ffd)"),
                       false, false, Fields::Unchanged, false);
}

void TW_SamplesSaveOptions::selectFlatFieldFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Select Flat Field Data File"), QString(),
        tr("Flat Field Files (*.ffd);; Text Files (*.txt);; Tessivane samples (*.tws);; All Files (*.*)"), nullptr,
        nativeDialogs ? QFileDialog::Options() : QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty())
        flatFieldEdit->setText(path);
}

QSet<int> TW_SamplesSaveOptions::checkedExtraFields() const
{
    QSet<int> ticked;
    for (int i = 0; i < SamplesSaveSettings::ExtraFieldCount; ++i)
        if (extraChecks[i]->isChecked())
            ticked.insert(i);
    return ticked;
}

QString TW_SamplesSaveOptions::flatFieldFile() const
{
    return flatFieldEdit->text();
}

SamplesSaveSettings TW_SamplesSaveOptions::settings() const
{
    SamplesSaveSettings s;
    if (flatFieldRadio->isChecked())
        s.format = SamplesSaveSettings::FlatField;
    else if (coordinatesRadio->isChecked())
        s.format = SamplesSaveSettings::Coordinates;
    else if (cgatsRadio->isChecked())
        s.format = SamplesSaveSettings::Cgats;
    s.addFilename = filenameCheck->isChecked();
    s.addFrameNumber = frameNumberCheck->isChecked();
    s.addCoordinates = coordinatesCheck->isChecked();
    s.addExtremes = extremesCheck->isChecked();
    s.addStdDev = stdDevCheck->isChecked();
    s.avgGreen = avgGreenCheck->isChecked() && !greenAveragingUnavailable;
    s.extraFields = checkedExtraFields();
    s.addDcp = dcpCheck->isChecked();
    s.doFlatField = flatFieldGroup->isChecked();
    s.flatFieldPath = flatFieldFile();
    s.flatFieldAvgChannels = avgChannelsCheck->isChecked();
    s.flatFieldMatchByName = matchByNameCheck->isChecked();
    s.doWhiteBalance = whiteBalanceGroup->isChecked();
    s.whiteBalanceIndex = whiteBalanceCombo->currentIndex();
    s.doGammaAndNorm = gammaGroup->isChecked();
    s.gamma = gammaSpin->value();
    s.normalizationValue = maxValueSpin->value();
    return s;
}

bool TW_SamplesSaveOptions::validateOptions()
{
    SamplesSaveCheck::Samples samples;
    samples.names = sampleNames;
    samples.pixelCounts = pixelCounts;
    samples.sampleCount = sampleCount;
    samples.channels = channels;
    samples.isRgb = isRgb;
    samples.flatFieldChannels = flatFieldChannels;
    const SamplesSaveCheck::Result r = SamplesSaveCheck::check(settings(), samples);
    if (r.flatFieldRead)
        flatField = r.flatField;
    if (!r.ok && warn)
        warn(r.title, r.text);
    return r.ok;
}
