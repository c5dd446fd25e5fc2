// The options group of the samples save: the file format, the fields a
// table adds and the corrections, kept in "Preferences" between saves.
#ifndef TW_SAMPLESSAVEOPTIONS_H
#define TW_SAMPLESSAVEOPTIONS_H

#include "FlatFieldFile.h"
#include "SamplesSaveSettings.h"
#include "TW_GenericSaveOptions.h"

#include <QSet>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSettings;
class TW_SaveDialog;

class TW_SamplesSaveOptions : public TW_GenericSaveOptions
{
    Q_OBJECT
public:
    // whiteBalanceEntries: the combo's entries after "-Select"; sampleNames:
    // the names flat-field records are matched by. Loads the settings.
    TW_SamplesSaveOptions(QWidget *parent, const QStringList &whiteBalanceEntries, const QStringList &sampleNames,
                          int sampleCount, int flatFieldChannels);

    void setAvailability(bool isRgb, int channels, bool nativeDialogs);
    // The dialog whose suffix and filters follow the format.
    void setSaveDialog(TW_SaveDialog *dialog) { saveDialog = dialog; }
    // Applies the format row of the first ticked of the four.
    void applyFormat(bool cgats, bool csv, bool flatField, bool coordinates);
    // Each sample's pixel counts, so a flat-field divisor is checked only
    // where it is used.
    void setPixelCounts(const QVector<std::array<int, 4>> &counts) { pixelCounts = counts; }

    void loadSettings();
    void saveSettings();
    void loadSettings(QSettings &preferences);
    void saveSettings(QSettings &preferences) const;

    // Indices (0..6) of the ticked additional fields.
    QSet<int> checkedExtraFields() const;
    QString flatFieldFile() const;
    SamplesSaveSettings settings() const;
    // The flat-field file as the last validation read it.
    const FlatFieldFile &flatFieldData() const { return flatField; }

    bool validateOptions() override;

    // How a failed check is shown; a warning box by default.
    std::function<void(const QString &title, const QString &text)> warn;

    QGroupBox *formatGroup;
    QRadioButton *csvRadio, *cgatsRadio, *flatFieldRadio, *coordinatesRadio;
    QGroupBox *fieldsGroup;
    QCheckBox *filenameCheck, *frameNumberCheck, *coordinatesCheck, *extremesCheck, *stdDevCheck, *avgGreenCheck;
    QCheckBox *extraChecks[SamplesSaveSettings::ExtraFieldCount];
    QCheckBox *dcpCheck;
    QGroupBox *transformGroup;
    QGroupBox *flatFieldGroup;
    QLineEdit *flatFieldEdit;
    QPushButton *flatFieldButton;
    QCheckBox *avgChannelsCheck, *matchByNameCheck;
    QGroupBox *whiteBalanceGroup;
    QComboBox *whiteBalanceCombo;
    QGroupBox *gammaGroup;
    QDoubleSpinBox *gammaSpin, *maxValueSpin;

public slots:
    void changeCGATS(bool on);
    void changeCSV(bool on);
    void changeFlatField(bool on);
    void changeSampleCoords(bool on);
    void selectFlatFieldFile();

private:
    enum class Kind { Check, CsvFormat, Path, ComboIndex, Number, FieldList };
    struct Binding {
        const char *key;
        QWidget *widget;
        Kind kind;
        QVariant fallback;   // the value when the key is missing or unreadable
    };
    // What a format does to the raw-file and the cell/extreme checks.
    enum class Fields { Unchanged, Enabled, Fixed };
    void applyFormatRow(const QString &suffix, const QString &filter, bool groupsEnabled, bool dcpEnabled,
                        Fields fields, bool extraEnabled);
    QVector<Binding> bindings() const;

    QStringList sampleNames;
    int sampleCount;
    int flatFieldChannels;
    FlatFieldFile flatField;
    QVector<std::array<int, 4>> pixelCounts;
    TW_SaveDialog *saveDialog = nullptr;
    bool nativeDialogs = false;
    bool isRgb = false;
    int channels = 0;
    bool greenAveragingUnavailable = false;
};

#endif
