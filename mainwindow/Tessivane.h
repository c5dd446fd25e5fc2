// The main window: owns the current raw image, the tiles, the view and scene,
// the tool windows and dialogs, and wires them to menus and controls. The
// work itself lives in the raw core and the other folders' plain classes.
#ifndef TESSIVANE_H
#define TESSIVANE_H

#include "ChannelNames.h"
#include "ColorTable.h"
#include "HistogramData.h"
#include "HistogramHost.h"
#include "InfoPanel.h"
#include "PrefApplyDecision.h"
#include "LoadReporter.h"
#include "SampleFilesHost.h"
#include "SamplesHost.h"
#include "StatsBlock.h"
#include "ThreadSettings.h"
#include "TileGrid.h"
#include "TiffWriters.h"
#include "TW_updates.h"
#include "ToolWindowMinimizer.h"
#include "FullScreenGeometry.h"
#include "FrameMeasurement.h"
#include "UpdateChecker.h"
#include "area_t.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include "PrefApplyDecision.h"
#include <QMutex>
#include <QPalette>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QVector>

class QAction;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGraphicsItem;
class QGraphicsRectItem;
class QGraphicsTextItem;
class QGridLayout;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimeLine;
class QTimer;
class QWidget;
class RawImage;
class SamplesController;
class SamplesTableData;
struct SampleRecord;
class TW_Sample;
class TessivaneGridDialog;
class TessivaneSampleWindow;
class TW_ExifWindow;
class TW_ExportFileDialog;
class TW_ManualSelection;
class TW_PrefPane;
class TW_Sample;
class TW_SelectionScene;
class TW_SignalingView;
class TW_splash;
struct HistogramSlot;
struct SampleRecord;
struct LoadContext;
struct TiffExportJob;

class Tessivane : public QMainWindow, public LoadReporter, public SamplesHost, public HistogramHost,
                  public SampleFilesHost
{
    Q_OBJECT
public:
    Tessivane();
    ~Tessivane() override;

    // A tool window minimised together with the main window.
    using MinimizedWindow = ToolWindowMinimizer::Record;

    // Cached metadata texts of the current file, filled by the metadata read.
    QString exifMake, exifModel, exifExposure, exifFNumber, exifIso;
    QString lastFolderPath;
    const unsigned short *gammaTables[4] = {nullptr, nullptr, nullptr, nullptr};
    RawImage *image = nullptr;
    int filesDecoded = 0;
    // The rendering tiles; their buffers are reused from one redraw to the next.
    TileGrid tiles;
    QVector<int> overExposureLevels;
    QVector<int> underExposureLevels;
    area_t selection;
    QTimeLine *animationTimeLine = nullptr;
    QTimer *updateTimeLine = nullptr;
    QWidget *centralWidget = nullptr;
    QGridLayout *centralLayout = nullptr;
    TW_SignalingView *view = nullptr;
    TW_SelectionScene *scene = nullptr;
    QGraphicsTextItem *hintItem = nullptr;
    QGraphicsRectItem *frameItem = nullptr;
    QList<QGraphicsItem *> overlayItems;

    InfoPanel metadataPanel, imagePanel, selectionPanel, pointerPanel, displayPanel, exposureStatsPanel;
    QRadioButton *rgbRadio = nullptr, *compositeRadio = nullptr, *channelRadio = nullptr;
    QComboBox *channelCombo = nullptr;
    QCheckBox *overExposedCheck = nullptr, *underExposedCheck = nullptr;
    QComboBox *frameCombo = nullptr;
    QPushButton *zoomInButton = nullptr, *zoomOutButton = nullptr, *exifButton = nullptr;
    QComboBox *zoomCombo = nullptr;
    QPushButton *blackLevelButton = nullptr, *rawCurveButton = nullptr;
    QLabel *statusLabel = nullptr;
    QGroupBox *brightenGroup = nullptr;
    QCheckBox *brightenCheck = nullptr;
    QDoubleSpinBox *brightenSpin = nullptr;
    QPushButton *brightenApply = nullptr;

    ChannelNames channelNames;
    QString frameStatsText;
    SamplesTableData *samplesData = nullptr;
    int cursorPosition[2] = {-1, -1};
    TessivaneSampleWindow *samplesWindow = nullptr;
    TessivaneGridDialog *gridDialog = nullptr;

    QAction *openAction = nullptr, *nextFileAction = nullptr, *prevFileAction = nullptr;
    QAction *closeFileAction = nullptr, *exportTiffAction = nullptr, *dumpCurveAction = nullptr;
    QAction *screenshotAction = nullptr, *fullScreenAction = nullptr, *prefsAction = nullptr;
    static constexpr int MaxRecentFiles = 25;
    QAction *recentFileActions[MaxRecentFiles] = {};
    // The recent-files list shown, not yet written to the settings.
    QStringList pendingRecentFiles;
    bool recentFilesPending = false;
    QAction *recentSeparator = nullptr, *exitAction = nullptr;
    QAction *histogramAction = nullptr, *samplesAction = nullptr, *exifAction = nullptr;
    QAction *clearSelectionAction = nullptr, *selectionHistogramAction = nullptr;
    QAction *selectionToSampleAction = nullptr, *selectionByNumbersAction = nullptr;
    QAction *selectionGridAction = nullptr, *camerasAction = nullptr, *updatesAction = nullptr;
    QAction *forumAction = nullptr, *supportAction = nullptr, *aboutAction = nullptr;
    QAction *zoomInAction = nullptr, *zoomOutAction = nullptr, *actualPixelsAction = nullptr;
    QAction *fitToWindowAction = nullptr;
    QMenu *fileMenu = nullptr, *viewMenu = nullptr, *windowMenu = nullptr, *selectionMenu = nullptr;
    QMenu *helpMenu = nullptr, *recentMenu = nullptr;

    QVector<HistogramSlot *> histogramSlots;
    QVector<QRect> histogramRects;
    int mainHistogramSlot = -1, selectionHistogramSlot = -1;
    QString cameraInfo;
    HistogramData frameHistogram;
    StatsBlock frameStatistics;
    QMap<QString, int> prefSnapshot;
    QMap<QString, QString> prefStringSnapshot;
    TW_splash *splash = nullptr;
    TW_PrefPane *prefPane = nullptr;
    TW_ManualSelection *manualSelection = nullptr;
    TW_ExifWindow *exifWindow = nullptr;
    QRect exifRect;
    QString startFile;
    bool readCancelled = false;
    int bandRows = 256;
    int idealThreads = 1;
    int parallelMinThreads = 1;
    QMutex exifMutex;
    TW_updates updates;
    UpdateChecker updateChecker{&updates};
    const unsigned char *evBinOfValue = nullptr;
    QVector<int> evBinStart;
    TW_ExportFileDialog *exportDialog = nullptr;
    // Custom camera definitions handed to the decoder; null-terminated.
    char **customCameras = nullptr;
    QVector<int> gridSampleIndices;
    QHash<QString, int> exifPending;
    QString failedLoadPath;
    QList<MinimizedWindow> minimizedToolWindows;
    // The tool windows that follow the main window's minimise and restore.
    ToolWindowMinimizer toolWindowMinimizer;
    FullScreenGeometry fullScreenGeometry;
    ColorTable colorTable;
    // How long ExifTool may run before what it printed is taken.
    int exifTimeoutMs = 15000;

    // Settings store reads; 0, "" or PrefUnset-free fallbacks without a store.
    int mainPrefValue(const char *key) const;
    QString mainPrefString(const char *key) const;
    int lastUsedValue(const char *key) const;
    void takePrefMaps();
    bool displayPrefsChanged();
    bool blackLevelPrefsChanged();
    PrefImageFacts prefImageFacts() const;

    // Start-up file hand-over.
    void setStartFile(const QString &path);
    void openStartFile();
    // Shows the window, maximised or full screen as last saved while
    // "saveWinPos" is on.
    void showAsLastSaved();

    // Loading.
    bool openFile(const QString &path);
    bool loadFile(const QString &path, bool resetBlackLevels);
    void unloadCurrentFile();
    bool isLoading() const { return loadDepth > 0; }

    // Rendering into tiles and the scene.
    void renderImage(int rebuild);
    void resizeTileGrid(int frameWidth, int frameHeight);
    void updatePixmapItems(bool keepItems);
    void clearOverlayItems();
    bool isSrawYccMode() const;

    // Display modes and labels.
    void saveDisplayMode();
    void restoreDisplayMode();
    void refreshInfoLabels() override;
    QString blackLevelText(QVector<int> *levels = nullptr);
    QString curveModeText() const;
    void setSmallPanelsFont(bool small);
    static QStringList fontFamilies();
    static QString fontFamilyByIndex(int i);
    void loadCustomCameras();
    void refreshChannelSelector();
    void updatePanelTitles();
    void updateSelectionPanel();
    void updateSamplePanel() override;
    void refreshFrameStats();
    QString statsHtmlTable(const StatsBlock &stats) const;
    static QString exposureTimeText(float seconds);
    void computeFrameStats();
    void computeRawMaximum();
    void computeExposureLevels(bool reload);
    // computeExposureLevels on a frame histogram already measured.
    void exposureLevelsFromHistogram(bool reload);
    // The frame measured as refreshFrameStats and computeFrameStats do.
    FrameMeasurement::Input frameMeasurementInput();
    void exposureStatsTable();
    void renderRGB();

    // Zoom.
    static int zoomLevelIndex(double factor);
    double currentZoomFactor() const;
    void applyZoom();

    // Recent files.
    void addRecentFile(const QString &path, bool removeOnly = false);
    void updateRecentFileActions();
    void showRecentFiles(const QStringList &files);
    void writeRecentFiles();
    // Opens the raw file `step` places away in the loaded file's folder.
    void stepFile(int step, const QString &word);

    // Accessors.
    QString currentFileName() const;
    QString lastFolder() const override { return lastFolderPath; }
    void setLastFolder(const QString &path) override;
    SampleFileInfo sampleFileInfo() const override;
    QString dataRangeLine() const;
    QString cameraInfoText() const { return cameraInfo; }
    QString canonicalRawFilePath() const;
    QString cameraVendorText() const;
    QString cameraModelText() const;
    bool isFourChannelRgb() const { return channelNames.isRGB && channelNames.count == 4; }
    void showStatusText(const QString &text);

    // Loading reports (LoadReporter).
    void showStatus(const QString &text) override;
    void showMessage(const QString &title, const QString &text) override;

    // TIFF export writers, run by File > Export.
    TiffWriteResult writeRawTiff(const QString &path, const TiffExportJob &job, const ExportProgress &progress);
    TiffWriteResult writeLinearRawTiff(const QString &path, const TiffExportJob &job, const ExportProgress &progress);
    TiffWriteResult writeRgbTiff(const QString &path, const TiffExportJob &job, const ExportProgress &progress);

    // Samples: the work is the controller's.
    SamplesController *samplesController = nullptr;
    // True to go on; a change of file asks in other words than a change of frame.
    bool checkUnsavedSamples(int changeOfFile = 0);
    void addSample(area_t area, const QString &name);
    void sampleMoved(SampleRecord *record) override;
    void removeSampleRow(int row);
    void removeSamplesOfKind(int kind);
    void removeSampleByItem(TW_Sample *item) override;
    void rebuildSampleItems();
    void deleteSampleItems();
    void dropSamplesOutsideImage();
    // After "maskedPixels" changed, with the frame origin before the change:
    // the selection and the samples move by the origin's change.
    void shiftSamples(int oldOriginRow, int oldOriginCol);
    void recomputeSampleStats();
    void resetSampleHighlight();
    // Flags bit 0: filter the extremes. Nothing without an image.
    void computeRegionStats(RawImage *rawImage, const area_t &region, StatsBlock &out, int flags);
    // Each record's area into its statistics, with one frame setup.
    void computeRegionStats(RawImage *rawImage, const QVector<SampleRecord *> &records, int flags);
    ThreadSettings statsThreads() const;
    void measureSamples(const QVector<SampleRecord *> &records) override;
    QGraphicsItem *sampleParentItem() const override;
    QSize sampleFrameSize() const override;
    void showSamplesWindow() override;
    void closeSampleHistogram(int slot) override;
    void moveSampleHistogram(int slot, const area_t &area) override;

    // Later work hooks (no visible effect yet).
    void startExifRead(const QString &path);
    void histogramWindowClosed(int slot);

    // Histogram windows, by slot number.
    int openHistogramWindow(int x, int y, int w, int h, int ev0Level);
    void setHistogramWindowArea(int slot, int x, int y, int w, int h);
    void updateHistogramWindowTitles();
    void toggleSampleHistogram(TW_Sample *item) override;
    void refreshHistogramWindows();
    bool histogramWindowIsActive() const;
    QString histogramTitle();
    QString histogramModeStatus();

    // HistogramHost.
    PrefStore *histogramSettings() const override;
    const ChannelNames &histogramChannelNames() const override { return channelNames; }
    ColorTable histogramColors() const override { return colorTable; }
    QString histogramFileName() const override { return currentFileName(); }
    QString histogramTitleText() override { return histogramTitle(); }
    QString histogramStatusText() override { return histogramModeStatus(); }
    QString histogramBlackLevelText() override { return blackLevelText(); }
    QString histogramCurveText() override { return curveModeText(); }
    bool histogramSrawYcc() const override { return isSrawYccMode(); }
    QString histogramFontFamily() const override { return fontFamilyByIndex(mainPrefValue("HistogramFont")); }
    QString histogramLastFolder() const override { return lastFolder(); }
    void histogramSetLastFolder(const QString &path) override { setLastFolder(path); }
    void resetBlackLevelsFromFile();

    void buildActions();
    void buildMenus();
    void buildCentralWidget();
    void wireActions();

public slots:
    bool open();
    void openRecentFile();
    bool openDroppedFile(const QString &path);
    void nextFile();
    void prevFile();
    void closeCurrentFile();
    bool close();
    void switchFullScreen();
    void about();
    void showLicense();
    void cameraList();
    void openForum();
    void openSupport();
    int showPrefs();
    void showBLPrefs();
    void applyPrefs();
    // Histogram windows follow the fonts and titles set in the preferences.
    void applyHistogramFonts();
    void retitleHistogramWindows();
    void setFrameSize();
    void systemPaletteChanged(const QPalette &palette, bool force = false);
    void takeScreenshot();
    void exportFile();
    void dumpCurve();
    void switchMainHistogramWindow();
    void switchLogWindow();
    void showExif();
    void exif_readed(const QString &output, const QString &filePath);
    void switchGridDialog();
    void selectionRemove();
    void switchSelectionHistogram();
    void selection2samples();
    void runManualSelection();
    void manualUpdateCheck();
    void zoomIn();
    void zoomOut();
    void normalSize();
    void fitToWindow();
    void zoomIndexChanged();
    void gui_resizer();
    void displayRAW();
    void changeRAWChannels();
    void changeRAWFrame();
    void brightenCheckboxChanged();
    void brightenValueChanged();
    void brightenApplyPressed();
    void mouseMoved(QPointF point);
    void selectionPlaced(area_t area);
    void samplerPlaced(area_t area);
    void exifSaveGeometry(QRect geometry);
    void copyEXIF2cli(const QString &text, bool isHtml);
    void updateManualSelection(int left, int top, int width, int height);
    void someDownloaded(QByteArray data, int slot, QString error = QString());
    void runAnimation(int frame);
    void clearSamplesAll();
    void loadSamples();
    void removeSelectedSamples();
    void clipboardSelectedSamples();
    void histogramSelectedSamples();
    void saveSamplesProxy();
    void samplesWindowAppendStatusChanged(bool append);
    void samplesWindowClosed();
    void placeGridSelection();
    void removeGridSelection();
    void gridSelection2samples();
    void saveGridSettings();
    void loadGridSettings();
    // The loading after the file dialog; tests call it with a path.
    void applyGridSettingsFile(const QString &path);
    void writeGridSettingsFile(const QString &path);
    // Empty when the user cancels.
    QString askGridSettingsPath(bool saving, const QString &start);
    void runBgUpdateCheck();
    void backgroundCheckUpdates();
    void cancelRead();

public:
    void handleUpdateReply(const QByteArray &data);
    void storeUpdateCheckTime();

signals:
    // The manual check's reply, for its dialog; `error` empty on success.
    void ev_fgUpdatesDownloaded(QByteArray data, QString error);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void stopExifRuns();
    void showGridLimitsStatus();
    void restoreGeometryFromSettings();
    QRect samplesWindowStartGeometry();
    // The level EV0 follows: the data range or the current maximum.
    int histogramEv0Level() const;
    void fillHistogramData(HistogramData &data, bool fillImageSize);
    void releaseHistogramSlots();
    void openSampleHistogram(SampleRecord &sample);
    void fillFrameSelector(int itemCount, int index, bool enabled);
    void setFileActionsEnabled(bool on);
    // Brightening works on the RGB rendering of a loaded image only.
    void updateBrightenControls();
    // The panels' minimum widths hold their widest texts, so the columns do
    // not move while numbers change.
    void fitPanelsToWidestTexts();
    LoadContext loadContext();
    // Held across a load; leaving the outermost one posts what was asked
    // for meanwhile (another file, a frame change).
    struct LoadScope {
        explicit LoadScope(Tessivane *owner);
        ~LoadScope();
        LoadScope(const LoadScope &) = delete;
        LoadScope &operator=(const LoadScope &) = delete;
        Tessivane *owner;
    };
    void runDeferredLoadWork();

    QMutex paletteMutex;
    // The "Selection/Sample" panel shows a sample, not the selection.
    bool selectionPanelShowsSample = false;
    int loadDepth = 0;
    // A file asked for while another loads; opened once that load is done.
    QString pendingOpenPath;
    bool frameReloadPending = false;
};

// The file name without its folder.
QString fileNameOf(const QString &path);

#endif
