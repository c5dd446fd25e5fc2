#include "TW_ExportFileDialog.h"

#include "ChannelNames.h"
#include "TW_FileDialog.h"
#include "defaultSidebarUrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QSettings>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

TW_ExportFileDialog::TW_ExportFileDialog(const QString &filter, const QString &directory,
                                         const QString &caption, int sideBarsUrls, QWidget *parent)
    : QDialog(parent), filter(filter), directory(directory), sideBarsUrls(sideBarsUrls)
{
    setWindowTitle(tr("Export options"));
    setModal(true);

    fileDialog = new TW_FileDialog(this, caption, directory, filter);
    // Embedded: a widget of this dialog, so never the desktop's own dialog.
    fileDialog->setOption(QFileDialog::DontUseNativeDialog);
    fileDialog->setWindowFlags(Qt::Widget);
    fileDialog->setSizeGripEnabled(false);
    fileDialog->setAcceptMode(QFileDialog::AcceptSave);
    fileDialog->setFileMode(QFileDialog::AnyFile);
    fileDialog->setDefaultSuffix(defaultSuffix);
    if (sideBarsUrls > 0) {
        const QList<QUrl> urls = defaultSidebarUrls(sideBarsUrls);
        if (!urls.isEmpty())
            fileDialog->setSidebarUrls(urls);
    }
    fileDialog->setFixedHeight(fileDialog->sizeHint().height());

    dataGroup = new QGroupBox(tr("Data"), this);
    rgbRadio = new QRadioButton(tr("RGB render"), dataGroup);
    compositeRadio = new QRadioButton(tr("Raw composite"), dataGroup);
    channelRadio = new QRadioButton(tr("Raw channel"), dataGroup);
    channelCombo = new QComboBox(dataGroup);
    auto *dataLayout = new QVBoxLayout(dataGroup);
    for (QWidget *w : {static_cast<QWidget *>(rgbRadio), static_cast<QWidget *>(compositeRadio),
                       static_cast<QWidget *>(channelRadio), static_cast<QWidget *>(channelCombo)})
        dataLayout->addWidget(w);
    dataLayout->addStretch();

    rawGroup = new QGroupBox(tr("Raw processing"), this);
    threeChannelCheck = new QCheckBox(tr("3-channel (RGB) output"), rawGroup);
    autoscaleCheck = new QCheckBox(tr("Autoscale to use full 16-bit range"), rawGroup);
    gammaCheck = new QCheckBox(tr("Apply gamma 2.2 curve"), rawGroup);
    auto *rawLayout = new QVBoxLayout(rawGroup);
    for (QWidget *w : {threeChannelCheck, autoscaleCheck, gammaCheck})
        rawLayout->addWidget(w);
    rawLayout->addStretch();

    bayerGroup = new QGroupBox(tr("Bayer processing options"), this);
    halfSizeRadio = new QRadioButton(tr("Half size"), bayerGroup);
    pixels2x2Radio = new QRadioButton(tr("2x2 pixels"), bayerGroup);
    fillZeroesRadio = new QRadioButton(tr("Fill missing values w/ zeroes"), bayerGroup);
    singleLayerRadio = new QRadioButton(tr("Single layer (grayscale) pixel map"), bayerGroup);
    auto *bayerLayout = new QVBoxLayout(bayerGroup);
    for (QWidget *w : {halfSizeRadio, pixels2x2Radio, fillZeroesRadio, singleLayerRadio})
        bayerLayout->addWidget(w);
    bayerLayout->addStretch();

    addExifCheck = new QCheckBox(tr("Add EXIF tags from RAW file"), this);
    openFileCheck = new QCheckBox(tr("Open exported file with default application"), this);
    uncompressedCheck = new QCheckBox(tr("Uncompressed TIFF"), this);
    embedIccCheck = new QCheckBox(tr("Embed ICC profile"), this);

    auto *layout = new QGridLayout(this);
    layout->addWidget(fileDialog, 0, 0, 1, 3);
    layout->addWidget(dataGroup, 1, 0);
    layout->addWidget(rawGroup, 1, 1);
    layout->addWidget(bayerGroup, 1, 2);
    layout->addWidget(addExifCheck, 2, 0);
    layout->addWidget(openFileCheck, 2, 1);
    layout->addWidget(uncompressedCheck, 3, 0);
    layout->addWidget(embedIccCheck, 3, 1);

    connect(fileDialog, &QFileDialog::accepted, this, &TW_ExportFileDialog::finalizer);
    connect(fileDialog, &QFileDialog::rejected, this, &TW_ExportFileDialog::aborter);
    connect(fileDialog, &TW_FileDialog::ev_hided, this, &TW_ExportFileDialog::aborter);
    for (QRadioButton *r : {rgbRadio, compositeRadio, channelRadio, singleLayerRadio})
        connect(r, &QRadioButton::toggled, this, &TW_ExportFileDialog::saveModeChanged);
    connect(channelCombo, &QComboBox::currentIndexChanged, this, &TW_ExportFileDialog::saveModeChanged);
}

TW_ExportFileDialog::~TW_ExportFileDialog() = default;

int TW_ExportFileDialog::exec()
{
    fileDialog->setVisible(true);
    selectedFiles.clear();
    selectedFilter.clear();
    return QDialog::exec();
}

void TW_ExportFileDialog::finalizer()
{
    selectedFiles = fileDialog->selectedFiles();
    selectedFilter = fileDialog->selectedNameFilter();
    done(selectedFiles.isEmpty() ? QDialog::Rejected : QDialog::Accepted);
}

void TW_ExportFileDialog::aborter()
{
    // Accepting hides the file dialog before it says accepted(); that hide
    // is not an abort.
    if (fileDialog->result() == QDialog::Accepted)
        return;
    selectedFiles.clear();
    done(QDialog::Rejected);
}

void TW_ExportFileDialog::selectOutputFile(const QString &path)
{
    fileDialog->selectFile(path);
    lastPreselected = fileDialog->selectedFiles().value(0);
}

void TW_ExportFileDialog::addSidebarFolder(const QString &folder)
{
    fileDialog->addSidebarFolder(folder);
}

void TW_ExportFileDialog::configureExport(bool cfa, bool fourComponents, const ChannelNames &names, int exportMode,
                                          int channelIndex, bool processedImage, int bayerMode, bool avgGreen,
                                          bool autoscale, bool gamma, bool twoByTwoPossible, bool addExif,
                                          bool exifToolUsable, bool openFile, bool uncompressed, bool embedIcc)
{
    configuring = true;
    rawIsCfa = cfa;
    channelCount = names.count;
    threeChannelPossible = (cfa && names.isRGB && names.count == 4) || (fourComponents && names.count == 4);

    channelCombo->clear();
    channelCombo->addItems(names.names.mid(0, names.count));
    channelCombo->setCurrentIndex(std::clamp(channelIndex, 0, std::max(0, channelCombo->count() - 1)));

    int mode = exportMode;
    rgbRadio->setEnabled(processedImage);
    if (!processedImage && mode == 0)
        mode = 1;
    compositeRadio->setEnabled(names.count >= 2);
    if (names.count < 2 && mode == 1)
        mode = 2;
    (mode == 0 ? rgbRadio : mode == 1 ? compositeRadio : channelRadio)->setChecked(true);

    threeChannelCheck->setChecked(avgGreen && threeChannelPossible);
    threeChannelCheck->setEnabled(threeChannelPossible);
    autoscaleCheck->setChecked(autoscale);
    gammaCheck->setChecked(gamma);

    halfSizeRadio->setEnabled(twoByTwoPossible);
    pixels2x2Radio->setEnabled(twoByTwoPossible);
    if (bayerMode == 0 && twoByTwoPossible)
        halfSizeRadio->setChecked(true);
    else if (bayerMode == 1 && twoByTwoPossible)
        pixels2x2Radio->setChecked(true);
    else if (bayerMode == 3)
        singleLayerRadio->setChecked(true);
    else
        fillZeroesRadio->setChecked(true);

    uncompressedCheck->setChecked(uncompressed);
    embedIccCheck->setChecked(embedIcc);
    addExifCheck->setChecked(addExif && exifToolUsable);
    addExifCheck->setEnabled(exifToolUsable);
    openFileCheck->setChecked(openFile);

    lastPreselected = fileDialog->selectedFiles().value(0);
    baseName = QFileInfo(lastPreselected).completeBaseName();
    configuring = false;
    saveModeChanged();
}

void TW_ExportFileDialog::saveModeChanged()
{
    if (configuring)
        return;
    const bool rgb = rgbRadio->isChecked();
    const bool composite = compositeRadio->isChecked();
    const bool channel = channelRadio->isChecked();
    const QString name = rgb ? QStringLiteral("%1-RGB").arg(baseName)
                       : composite ? QStringLiteral("%1-RAWcomposite").arg(baseName)
                                   : QStringLiteral("%1-RAW-%2").arg(baseName, channelCombo->currentText());

    embedIccCheck->setEnabled(rgb);
    rawGroup->setEnabled(!rgb);
    bayerGroup->setEnabled(!rgb && rawIsCfa);
    if (channel) {
        if (singleLayerRadio->isChecked())
            fillZeroesRadio->setChecked(true);
        singleLayerRadio->setEnabled(false);
        threeChannelCheck->setEnabled(false);
    } else {
        singleLayerRadio->setEnabled(true);
        threeChannelCheck->setEnabled(threeChannelPossible);
    }
    if (threeChannelPossible)
        threeChannelCheck->setEnabled(composite && !singleLayerRadio->isChecked());

    // A name the user typed is not replaced.
    const QString current = fileDialog->selectedFiles().value(0);
    if (QFileInfo(current).completeBaseName() == QFileInfo(lastPreselected).completeBaseName()) {
        const QString folder = QFileInfo(current.isEmpty() ? lastPreselected : current).absolutePath();
        selectOutputFile(folder + QLatin1Char('/') + name + QLatin1Char('.') + defaultSuffix);
    }
}

void TW_ExportFileDialog::saveExportSettings(QSettings &s, bool cfa) const
{
    const int mode = rgbRadio->isChecked() ? 0 : compositeRadio->isChecked() ? 1 : 2;
    s.setValue(QStringLiteral("exportMode"), mode);
    s.setValue(QStringLiteral("exportAddExif"), addExifCheck->isChecked());
    s.setValue(QStringLiteral("exportOpenFile"), openFileCheck->isChecked());
    s.setValue(QStringLiteral("uncompressetTIFFExport"), uncompressedCheck->isChecked());
    s.setValue(QStringLiteral("embedicc"), embedIccCheck->isChecked());
    if (mode == 0)
        return;
    if (cfa)
        s.setValue(QStringLiteral("exportBayerMode"), halfSizeRadio->isChecked()      ? 0
                                                      : pixels2x2Radio->isChecked()   ? 1
                                                      : singleLayerRadio->isChecked() ? 3
                                                                                      : 2);
    if (threeChannelPossible)
        s.setValue(QStringLiteral("exportAvgGreen"), int(threeChannelCheck->isChecked()));
    s.setValue(QStringLiteral("exportAutoScale"), int(autoscaleCheck->isChecked()));
    s.setValue(QStringLiteral("exportGamma"), int(gammaCheck->isChecked()));
}

TiffExportOptions TW_ExportFileDialog::chosenOptions() const
{
    TiffExportOptions o;
    o.mode = rgbRadio->isChecked() ? TiffExportOptions::RgbRender
           : compositeRadio->isChecked() ? TiffExportOptions::RawComposite
                                         : TiffExportOptions::RawChannel;
    o.bayerMode = halfSizeRadio->isChecked()      ? TiffExportOptions::HalfSize
                : pixels2x2Radio->isChecked()     ? TiffExportOptions::Pixels2x2
                : singleLayerRadio->isChecked()   ? TiffExportOptions::SingleLayer
                                                  : TiffExportOptions::FillZeroes;
    // The Bayer choices apply to a mosaic only.
    if (!rawIsCfa)
        o.bayerMode = TiffExportOptions::FillZeroes;
    o.channel = std::max(0, channelCombo->currentIndex());
    o.threeChannel = threeChannelPossible && threeChannelCheck->isChecked();
    o.autoscale = autoscaleCheck->isChecked();
    o.gamma = gammaCheck->isChecked();
    o.uncompressed = uncompressedCheck->isChecked();
    o.embedIcc = embedIccCheck->isChecked();
    return o;
}

bool TW_ExportFileDialog::addExifChosen() const
{
    return addExifCheck->isEnabled() && addExifCheck->isChecked();
}

bool TW_ExportFileDialog::openFileChosen() const
{
    return openFileCheck->isChecked();
}
