// The TIFF export dialog: an embedded file dialog above the export's
// options, preset from the last export and the loaded image.
#ifndef TW_EXPORTFILEDIALOG_H
#define TW_EXPORTFILEDIALOG_H

#include "TiffExportOptions.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class ChannelNames;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QRadioButton;
class QSettings;
class TW_FileDialog;

class TW_ExportFileDialog : public QDialog
{
    Q_OBJECT
public:
    TW_ExportFileDialog(const QString &filter, const QString &directory, const QString &caption,
                        int sideBarsUrls, QWidget *parent = nullptr);
    ~TW_ExportFileDialog() override;

    // Fills and presets the dialog before each run.
    void configureExport(bool rawIsCfa, bool fourComponents, const ChannelNames &names, int exportMode,
                         int channelIndex, bool processedImage, int bayerMode, bool avgGreen, bool autoscale,
                         bool gamma, bool twoByTwoPossible, bool addExif, bool exifToolUsable, bool openFile,
                         bool uncompressed, bool embedIcc);
    void selectOutputFile(const QString &path);
    void addSidebarFolder(const QString &folder);
    // lastUsed: settings in group "LastUsed".
    void saveExportSettings(QSettings &lastUsed, bool rawIsCfa) const;

    // The choices as the writers take them (the image's numbers are the caller's).
    TiffExportOptions chosenOptions() const;
    bool addExifChosen() const;
    bool openFileChosen() const;

    QStringList selectedFiles;
    QString selectedFilter;
    TW_FileDialog *fileDialog = nullptr;
    bool rawIsCfa = false;
    bool threeChannelPossible = false;
    int channelCount = 1;
    QGroupBox *dataGroup = nullptr;
    QRadioButton *rgbRadio = nullptr, *compositeRadio = nullptr, *channelRadio = nullptr;
    QComboBox *channelCombo = nullptr;
    QGroupBox *rawGroup = nullptr;
    QCheckBox *threeChannelCheck = nullptr, *autoscaleCheck = nullptr, *gammaCheck = nullptr;
    QGroupBox *bayerGroup = nullptr;
    QRadioButton *halfSizeRadio = nullptr, *pixels2x2Radio = nullptr, *fillZeroesRadio = nullptr,
                 *singleLayerRadio = nullptr;
    QCheckBox *addExifCheck = nullptr, *openFileCheck = nullptr, *uncompressedCheck = nullptr,
              *embedIccCheck = nullptr;
    QString lastPreselected;
    QString baseName;
    bool configuring = false;

    QString filter;
    QString directory;
    QString defaultSuffix = QStringLiteral("tif");
    int sideBarsUrls;

public slots:
    int exec() override;
    void finalizer();
    void aborter();
    void saveModeChanged();
};

#endif
