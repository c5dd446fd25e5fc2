#include "Tessivane.h"

#include "KaldrisFrames.h"

#include "DisplayControls.h"
#include "EvTables.h"
#include "ExifTagLine.h"
#include "ExifToolProgram.h"
#include "ExifToolSummary.h"
#include "ExposureLevels.h"
#include "FolderStepper.h"
#include "GammaTables.h"
#include "GridSettingsFile.h"
#include "HistogramDrawing.h"
#include "HistogramFonts.h"
#include "HistogramSlot.h"
#include "HistogramTexts.h"
#include "PrefApplyDecision.h"
#include "PrefAccess.h"
#include "RawCurveDump.h"
#include "TessivaneHistogramWindow.h"
#include "RawImage.h"
#include "RawLoader.h"
#include "RawMaximum.h"
#include "RecentFiles.h"
#include "RegionStats.h"
#include "RgbRenderer.h"
#include "SamplesController.h"
#include "SamplesTable.h"
#include "SamplesTableData.h"
#include "SelectionLimits.h"
#include "StatsHtml.h"
#include "TW_ExifProcess.h"
#include "TW_ExifWindow.h"
#include "TW_ExportFileDialog.h"
#include "TW_FileDialog.h"
#include "TW_ManualSelection.h"
#include "TW_PrefPane.h"
#include "TW_SelectionScene.h"
#include "TW_Settings.h"
#include "TW_splash.h"
#include "TW_ScrollDialog.h"
#include "TW_SignalingView.h"
#include "TessivaneGridDialog.h"
#include "TessivaneSampleWindow.h"
#include "TiffExportController.h"
#include "TiffExportJob.h"
#include "TileRenderer.h"
#include "UpdateProtocol.h"
#include "WindowGeometry.h"
#include "WindowScreenshot.h"
#include "WorkingFolder.h"
#include "ZoomLevels.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QDoubleSpinBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QGraphicsTextItem>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSpacerItem>
#include <QStyle>
#include <QStatusBar>
#include <QThread>
#include <QTimeLine>
#include <QTimer>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The Metadata panel's lines are cut beyond this many average characters.
constexpr int MetadataPanelChars = 32;

QList<QRect> availableScreenAreas()
{
    QList<QRect> areas;
    for (QScreen *s : QGuiApplication::screens())
        areas << s->availableGeometry();
    return areas;
}

constexpr int NoThreshold = 655350;


}

Tessivane::Tessivane()
    : QMainWindow(nullptr), overExposureLevels(4, NoThreshold), underExposureLevels(4, 0),
      gridSampleIndices(3, -1)
{
    frameHistogram.imageWidth = frameHistogram.imageHeight = 1;
    prefPane = new TW_PrefPane(true, true, this);
    loadCustomCameras();

    setHistogramFonts(mainPrefValue("HistogramRetina") != 0, fontFamilyByIndex(mainPrefValue("HistogramFont")));
    bandRows = 256;
    idealThreads = QThread::idealThreadCount();
    parallelMinThreads = 1;

    const EvTables &ev = EvTables::instance();
    evBinOfValue = ev.binOfValueTable();
    evBinStart = ev.binStartTable();

    exifWindow = new TW_ExifWindow(nullptr);
    connect(exifWindow, &TW_ExifWindow::exifClosed, this, &Tessivane::exifSaveGeometry);
    connect(exifWindow, &TW_ExifWindow::copy2CSignal, this, &Tessivane::copyEXIF2cli);

    manualSelection = new TW_ManualSelection(this);
    manualSelection->blockSignals(true);
    connect(manualSelection, &TW_ManualSelection::ev_manual_selection_changed, this,
            &Tessivane::updateManualSelection);

    connect(&updates, &TW_updates::ev_downloaded, this, &Tessivane::someDownloaded);

    restoreGeometryFromSettings();

    cursorPosition[0] = cursorPosition[1] = -1;
    mainHistogramSlot = selectionHistogramSlot = -1;
    image = nullptr;

    gridDialog = new TessivaneGridDialog(this);
    gridDialog->setWindowFlag(Qt::WindowStaysOnTopHint, mainPrefValue("GridDialogOnTop") != 0);

    buildActions();
    buildMenus();

    samplesData = new SamplesTableData;
    samplesWindow = new TessivaneSampleWindow(samplesData, this, prefPane);
    samplesWindow->fileHost = this;
    samplesWindow->setGeometry(samplesWindowStartGeometry());
    samplesController = new SamplesController(samplesData, samplesWindow, this, &gridSampleIndices, this);
    connect(samplesWindow->saveButton, &QPushButton::clicked, this, &Tessivane::saveSamplesProxy);
    connect(samplesWindow->histogramButton, &QPushButton::clicked, this, &Tessivane::histogramSelectedSamples);
    connect(samplesWindow->removeSelectedButton, &QPushButton::clicked, this, &Tessivane::removeSelectedSamples);
    connect(samplesWindow->removeAllButton, &QPushButton::clicked, this, &Tessivane::clearSamplesAll);
    connect(samplesWindow->clipboardButton, &QPushButton::clicked, this, &Tessivane::clipboardSelectedSamples);
    connect(samplesWindow->loadButton, &QPushButton::clicked, this, &Tessivane::loadSamples);
    toolWindowMinimizer.addToolWindow(exifWindow);
    toolWindowMinimizer.addToolWindow(samplesWindow);

    buildCentralWidget();

    blackLevelButton->setText(blackLevelText());
    rawCurveButton->setText(curveModeText());

    animationTimeLine = new QTimeLine(700, this);
    animationTimeLine->setLoopCount(0);
    animationTimeLine->setFrameRange(0, 10);
    connect(animationTimeLine, &QTimeLine::frameChanged, this, &Tessivane::runAnimation);
    animationTimeLine->start();
    connect(samplesWindow, &TessivaneSampleWindow::appendStatusChanged, this,
            &Tessivane::samplesWindowAppendStatusChanged);

    setWindowTitle(tr("Tessivane"));

    const GammaTables &gamma = GammaTables::instance();
    for (int i = 0; i < 4; ++i)
        gammaTables[i] = gamma.table(GammaTables::Which(i));

    connect(gridDialog->placeButton, &QPushButton::clicked, this, &Tessivane::placeGridSelection);
    connect(gridDialog->removeButton, &QPushButton::clicked, this, &Tessivane::removeGridSelection);
    connect(gridDialog->hideButton, &QPushButton::clicked, this, &Tessivane::switchGridDialog);
    connect(gridDialog->toSamplesButton, &QPushButton::clicked, this, &Tessivane::gridSelection2samples);
    connect(gridDialog->saveButton, &QPushButton::clicked, this, &Tessivane::saveGridSettings);
    connect(gridDialog->loadButton, &QPushButton::clicked, this, &Tessivane::loadGridSettings);
    connect(gridDialog, &TessivaneGridDialog::ev_dialogClosed, this, &Tessivane::switchGridDialog);
    connect(gridDialog, &TessivaneGridDialog::ev_updateGridParams, scene, &TW_SelectionScene::updateGrid);
    connect(gridDialog, &TessivaneGridDialog::ev_updateGridParams, this, &Tessivane::showGridLimitsStatus);
    connect(gridDialog, &TessivaneGridDialog::ev_updateGridCellNames, scene,
            &TW_SelectionScene::updateGridCellNames);
    connect(gridDialog, &TessivaneGridDialog::ev_updateGridVisibility, scene,
            &TW_SelectionScene::updateGridCellVisible);
    connect(prefPane, &TW_PrefPane::ev_apply, this, &Tessivane::applyPrefs);
    connect(samplesWindow, &TessivaneSampleWindow::samplesClosed, this, &Tessivane::samplesWindowClosed);

    setAcceptDrops(true);
    connect(view, &TW_SignalingView::ev_fileDropped, this, &Tessivane::openDroppedFile);

    if (updateChecker.startUpCheckDue(mainPrefValue("updatesCheckFreq")))
        QTimer::singleShot(5000, this, &Tessivane::backgroundCheckUpdates);
    // Every ten minutes the periodic check looks at its interval; a plain
    // timer, so the program does not wake up 25 times a second for it.
    updateTimeLine = new QTimer(this);
    updateTimeLine->setInterval(600000);
    connect(updateTimeLine, &QTimer::timeout, this, &Tessivane::runBgUpdateCheck);
    updateTimeLine->start();

    wireActions();
    forumAction->setEnabled(!UpdateChecker::webPage("forumUrl").isEmpty());
    supportAction->setEnabled(!UpdateChecker::webPage("supportUrl").isEmpty());

    exportDialog = new TW_ExportFileDialog(QStringLiteral("TIFF files (*.tif);; All files (*.*)"), QString(),
                                           QStringLiteral("Export RAW data to TIFF File"),
                                           mainPrefValue("sideBarsUrls"), this);

    TW_Settings lastUsed("LastUsed");
    brightenCheck->setChecked(lastUsed.value(QStringLiteral("brightenOn"), false).toBool());
    brightenSpin->setValue(lastUsed.value(QStringLiteral("brightenValue"), 0).toInt() / 100.0);
}

Tessivane::~Tessivane()
{
    writeRecentFiles();
    stopExifRuns();
    // The rectangles point to their records, which go first.
    samplesController->deleteSampleItems();
    delete samplesController;
    samplesController = nullptr;
    if (samplesWindow)
        samplesWindow->hide();
    releaseHistogramSlots();
    delete samplesWindow;
    samplesWindow = nullptr;
    delete samplesData;
    samplesData = nullptr;
    delete image;
    image = nullptr;
    tiles.release();
    delete animationTimeLine;
    animationTimeLine = nullptr;
    delete exifWindow;
    exifWindow = nullptr;
    if (customCameras) {
        for (char **p = customCameras; *p; ++p)
            delete[] *p;
        delete[] customCameras;
    }
}

// ---------------------------------------------------------------- settings

int Tessivane::mainPrefValue(const char *key) const
{
    return PrefAccess::mainPrefValue(prefPane, key);
}

QString Tessivane::mainPrefString(const char *key) const
{
    return PrefAccess::mainPrefString(prefPane, key);
}

int Tessivane::lastUsedValue(const char *key) const
{
    return prefPane ? prefPane->lastUsedValue(QString::fromLatin1(key)) : PrefUnset;
}

void Tessivane::takePrefMaps()
{
    PrefAccess::takePrefMaps(prefPane, prefSnapshot, prefStringSnapshot);
}

void Tessivane::restoreGeometryFromSettings()
{
    QList<QRect> screens;
    for (QScreen *s : QGuiApplication::screens())
        screens << s->geometry();
    TW_Settings prefs("Preferences");
    const bool saveWinPos = mainPrefValue("saveWinPos") != 0;

    bool placed = false;
    if (saveWinPos) {
        const QRect saved = prefs.value(QStringLiteral("mainWindowGeometry")).toRect();
        if (WindowGeometry::acceptMainWindowRect(saved, screens)) {
            setGeometry(WindowGeometry::keepOnScreen(saved, availableScreenAreas()));
            placed = true;
        }
    }
    if (!placed) {
        QScreen *screen = QGuiApplication::screenAt(QPoint(1, 1));
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->geometry() : QRect(0, 0, 1280, 1024);
        const WindowGeometry::Placement p = WindowGeometry::defaultMainWindow(area);
        resize(p.size);
        if (p.moveToCorner)
            move(1, 1);
    }

    if (saveWinPos) {
        const QString countKey = QStringLiteral("%1_count").arg(QStringLiteral("histogramWinGeometry"));
        const int count = WindowGeometry::boundedCount(prefs.value(countKey, 0));
        if (count >= 1) {
            histogramRects.resize(count);
            for (int i = 0; i < count; ++i) {
                const QRect r = prefs.value(QStringLiteral("%1_%2").arg(QStringLiteral("histogramWinGeometry")).arg(i))
                                    .toRect();
                if (WindowGeometry::saneRect(r, screens, QSize(10, 10)))
                    histogramRects[i] = r;
            }
        }
        const QRect exif = prefs.value(QStringLiteral("exifGeometry")).toRect();
        if (WindowGeometry::acceptExifRect(exif, screens))
            exifRect = exif;
    }
    if (exifRect.width() < 10) {
        const QFontMetrics fm(font());
        exifRect = WindowGeometry::defaultExifRect(geometry(), fm.horizontalAdvance(QLatin1Char('W')), fm.height());
    }
}

void Tessivane::loadCustomCameras()
{
    QSettings cameras(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kaldris LLC"),
                      QStringLiteral("CustomCameras"));
    QList<QByteArray> taken;
    for (int i = 1; i <= 64; ++i) {
        const QString value = cameras.value(QStringLiteral("Camera%1").arg(i, 2, 10, QLatin1Char('0'))).toString();
        if (value.length() > 10)
            taken << value.toLocal8Bit();
    }
    if (taken.isEmpty())
        return;
    customCameras = new char *[taken.size() + 1];
    for (int i = 0; i < taken.size(); ++i) {
        customCameras[i] = new char[taken[i].size() + 1];
        std::memcpy(customCameras[i], taken[i].constData(), size_t(taken[i].size()) + 1);
    }
    customCameras[taken.size()] = nullptr;
}

// ------------------------------------------------------ actions and menus

void Tessivane::buildActions()
{
    auto make = [this](const QString &text, std::initializer_list<QKeySequence> keys = {}) {
        auto *a = new QAction(text, this);
        if (keys.size())
            a->setShortcuts(QList<QKeySequence>(keys));
        // Shortcuts act while a histogram or samples window has the focus too.
        a->setShortcutContext(Qt::ApplicationShortcut);
        return a;
    };

    openAction = make(tr("&Open..."), {QKeySequence(tr("Ctrl+O"))});
    connect(openAction, &QAction::triggered, this, &Tessivane::open);
    nextFileAction = make(tr("Next file"), {QKeySequence(Qt::CTRL | Qt::Key_Right)});
    connect(nextFileAction, &QAction::triggered, this, &Tessivane::nextFile);
    prevFileAction = make(tr("Prev file"), {QKeySequence(Qt::CTRL | Qt::Key_Left)});
    connect(prevFileAction, &QAction::triggered, this, &Tessivane::prevFile);
    closeFileAction = make(tr("Close file"), {QKeySequence(tr("Ctrl+W"))});
    connect(closeFileAction, &QAction::triggered, this, &Tessivane::closeCurrentFile);
    prefsAction = make(tr("&Preferences"), {QKeySequence(tr("Ctrl+P"))});
    connect(prefsAction, &QAction::triggered, this, &Tessivane::showPrefs);
    exportTiffAction = make(tr("&Export Tiff"), {QKeySequence(tr("Ctrl+E"))});
    exportTiffAction->setEnabled(false);
    dumpCurveAction = make(tr("&Dump RAW Curve"));
    dumpCurveAction->setEnabled(false);
    connect(dumpCurveAction, &QAction::triggered, this, &Tessivane::dumpCurve);
    screenshotAction = make(tr("&Screenshot"));
    connect(screenshotAction, &QAction::triggered, this, &Tessivane::takeScreenshot);
    fullScreenAction = make(tr("&Full screen"), {QKeySequence(tr("F11"))});
    fullScreenAction->setCheckable(true);
    connect(fullScreenAction, &QAction::triggered, this, &Tessivane::switchFullScreen);
    for (QAction *&a : recentFileActions) {
        a = new QAction(this);
        a->setVisible(false);
        connect(a, &QAction::triggered, this, &Tessivane::openRecentFile);
    }
    exitAction = make(tr("E&xit"), {QKeySequence(tr("Ctrl+Q"))});
    connect(exitAction, &QAction::triggered, this, &Tessivane::close);
    histogramAction = make(tr("&Histogram"), {QKeySequence(tr("Ctrl+H"))});
    histogramAction->setEnabled(false);
    histogramAction->setCheckable(true);
    samplesAction = make(tr("Samp&les"), {QKeySequence(tr("Ctrl+L"))});
    samplesAction->setEnabled(false);
    samplesAction->setCheckable(true);
    exifAction = make(tr("&EXIF"), {QKeySequence(tr("Alt+E"))});
    exifAction->setEnabled(false);
    exifAction->setCheckable(true);
    connect(exifAction, &QAction::triggered, this, &Tessivane::showExif);
    selectionGridAction = make(tr("Selection &Grid"), {QKeySequence(tr("Ctrl+G"))});
    selectionGridAction->setEnabled(false);
    selectionGridAction->setCheckable(true);
    clearSelectionAction = make(tr("&Clear Selection"));
    clearSelectionAction->setEnabled(false);
    connect(clearSelectionAction, &QAction::triggered, this, &Tessivane::selectionRemove);
    selectionHistogramAction = make(tr("Selection &Histogram"));
    selectionHistogramAction->setEnabled(false);
    selectionHistogramAction->setCheckable(true);
    connect(selectionHistogramAction, &QAction::triggered, this, &Tessivane::switchSelectionHistogram);
    selectionToSampleAction = make(tr("Convert Selection to Sa&mple"), {QKeySequence(tr("Ctrl+M"))});
    selectionToSampleAction->setEnabled(false);
    selectionByNumbersAction = make(tr("Set Selection by &Numbers"));
    selectionByNumbersAction->setEnabled(false);
    camerasAction = make(tr("Supported Cameras"));
    connect(camerasAction, &QAction::triggered, this, &Tessivane::cameraList);
    updatesAction = make(tr("Check for updates"));
    connect(updatesAction, &QAction::triggered, this, &Tessivane::manualUpdateCheck);
    forumAction = make(tr("Technical support forum"));
    connect(forumAction, &QAction::triggered, this, &Tessivane::openForum);
    supportAction = make(tr("Contact Support"));
    connect(supportAction, &QAction::triggered, this, &Tessivane::openSupport);
    aboutAction = make(tr("&About"));
    connect(aboutAction, &QAction::triggered, this, &Tessivane::about);
    zoomInAction = make(tr("Zoom &In"), {QKeySequence(tr("Ctrl++")), QKeySequence(tr("Ctrl+="))});
    connect(zoomInAction, &QAction::triggered, this, &Tessivane::zoomIn);
    zoomOutAction = make(tr("Zoom &Out"), {QKeySequence(tr("Ctrl+-"))});
    connect(zoomOutAction, &QAction::triggered, this, &Tessivane::zoomOut);
    actualPixelsAction = make(tr("&Actual Pixels (100%)"), {QKeySequence(tr("Ctrl+1")), QKeySequence(tr("Ctrl+S"))});
    actualPixelsAction->setCheckable(true);
    connect(actualPixelsAction, &QAction::triggered, this, &Tessivane::normalSize);
    fitToWindowAction = make(tr("&Fit to Window"), {QKeySequence(tr("Ctrl+0")), QKeySequence(tr("Ctrl+F"))});
    fitToWindowAction->setCheckable(true);
    fitToWindowAction->setChecked(true);
    connect(fitToWindowAction, &QAction::triggered, this, &Tessivane::fitToWindow);
}

void Tessivane::buildMenus()
{
    fileMenu = new QMenu(tr("&File"), this);
    fileMenu->addAction(openAction);
    fileMenu->addAction(nextFileAction);
    fileMenu->addAction(prevFileAction);
    fileMenu->addSeparator();
    fileMenu->addAction(closeFileAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exportTiffAction);
    fileMenu->addAction(dumpCurveAction);
    fileMenu->addAction(screenshotAction);
    fileMenu->addSeparator();
    fileMenu->addAction(prefsAction);
    recentSeparator = fileMenu->addSeparator();
    recentMenu = fileMenu->addMenu(tr("Recent files"));
    for (QAction *a : recentFileActions)
        recentMenu->addAction(a);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);

    helpMenu = new QMenu(tr("&Help"), this);
    helpMenu->addAction(camerasAction);
    helpMenu->addAction(updatesAction);
    helpMenu->addAction(forumAction);
    helpMenu->addAction(supportAction);
    helpMenu->addAction(aboutAction);

    selectionMenu = new QMenu(tr("&Selection"), this);
    selectionMenu->addAction(clearSelectionAction);
    selectionMenu->addAction(selectionHistogramAction);
    selectionMenu->addAction(selectionToSampleAction);
    selectionMenu->addAction(selectionByNumbersAction);
    selectionMenu->addSeparator();
    selectionMenu->addAction(selectionGridAction);

    windowMenu = new QMenu(tr("&Window"), this);
    windowMenu->addAction(histogramAction);
    windowMenu->addAction(samplesAction);
    windowMenu->addAction(exifAction);

    viewMenu = new QMenu(tr("&View"), this);
    viewMenu->addAction(zoomInAction);
    viewMenu->addAction(zoomOutAction);
    viewMenu->addAction(actualPixelsAction);
    viewMenu->addSeparator();
    viewMenu->addAction(fitToWindowAction);
    viewMenu->addSeparator();
    viewMenu->addAction(fullScreenAction);

    menuBar()->addMenu(fileMenu);
    menuBar()->addMenu(viewMenu);
    menuBar()->addMenu(windowMenu);
    menuBar()->addMenu(selectionMenu);
    menuBar()->addMenu(helpMenu);

    updateRecentFileActions();
}

void Tessivane::wireActions()
{
    const bool loaded = !currentFileName().isEmpty();

    disconnect(histogramAction, &QAction::triggered, this, &Tessivane::switchMainHistogramWindow);
    connect(histogramAction, &QAction::triggered, this, &Tessivane::switchMainHistogramWindow);
    histogramAction->setEnabled(loaded);
    disconnect(overExposedCheck, &QCheckBox::clicked, this, &Tessivane::displayRAW);
    connect(overExposedCheck, &QCheckBox::clicked, this, &Tessivane::displayRAW);
    disconnect(underExposedCheck, &QCheckBox::clicked, this, &Tessivane::displayRAW);
    connect(underExposedCheck, &QCheckBox::clicked, this, &Tessivane::displayRAW);

    disconnect(selectionByNumbersAction, &QAction::triggered, this, &Tessivane::runManualSelection);
    connect(selectionByNumbersAction, &QAction::triggered, this, &Tessivane::runManualSelection);
    disconnect(scene, &TW_SelectionScene::selectionPlaced, this, &Tessivane::selectionPlaced);
    connect(scene, &TW_SelectionScene::selectionPlaced, this, &Tessivane::selectionPlaced);
    selectionByNumbersAction->setEnabled(loaded);

    disconnect(selectionToSampleAction, &QAction::triggered, this, &Tessivane::selection2samples);
    connect(selectionToSampleAction, &QAction::triggered, this, &Tessivane::selection2samples);
    disconnect(samplesAction, &QAction::triggered, this, &Tessivane::switchLogWindow);
    connect(samplesAction, &QAction::triggered, this, &Tessivane::switchLogWindow);
    disconnect(scene, &TW_SelectionScene::samplerPlaced, this, &Tessivane::samplerPlaced);
    connect(scene, &TW_SelectionScene::samplerPlaced, this, &Tessivane::samplerPlaced);
    disconnect(exportTiffAction, &QAction::triggered, this, &Tessivane::exportFile);
    connect(exportTiffAction, &QAction::triggered, this, &Tessivane::exportFile);
    exportTiffAction->setEnabled(loaded);
    samplesAction->setEnabled(loaded);

    disconnect(selectionGridAction, &QAction::triggered, this, &Tessivane::switchGridDialog);
    connect(selectionGridAction, &QAction::triggered, this, &Tessivane::switchGridDialog);
    selectionGridAction->setEnabled(loaded);
}

void Tessivane::buildCentralWidget()
{
    centralWidget = new QWidget(this);
    centralLayout = new QGridLayout(centralWidget);
    setCentralWidget(centralWidget);

    view = new TW_SignalingView(centralWidget);
    view->setMinimumHeight(300);
    scene = new TW_SelectionScene(prefPane, view);
    view->setScene(scene);

    hintItem = new QGraphicsTextItem;
    QFont hintFont = hintItem->font();
    hintFont.setPixelSize(10);
    hintItem->setFont(hintFont);
    hintItem->setHtml(tr("<b>Use Ctrl-O or File-&gt;Open to open File"));
    scene->addItem(hintItem);

    const QFont small(QStringLiteral("Arial"), 8);
    const QFontMetrics smallMetrics(small);

    zoomInButton = new QPushButton(QStringLiteral(" + "));
    zoomInButton->setFixedSize(20, 20);
    zoomOutButton = new QPushButton(QStringLiteral(" - "));
    zoomOutButton->setFixedSize(20, 20);

    zoomCombo = new QComboBox;
    zoomCombo->setFont(small);
    zoomCombo->addItems(ZoomLevels::comboTexts());
    zoomCombo->setCurrentIndex(0);
    // The text width alone leaves no room for the arrow and frame, which
    // cut "Fit to Window" short: the combo's own hint holds its longest entry.
    zoomCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    zoomCombo->setFixedWidth(std::max(zoomCombo->sizeHint().width(),
                                      smallMetrics.horizontalAdvance(QStringLiteral("Fit to window www"))));

    frameCombo = new QComboBox;
    frameCombo->setMaxCount(32);
    frameCombo->addItem(QStringLiteral("1"));
    frameCombo->setEnabled(false);

    auto *frameLabel = new QLabel(tr("  Frame:"));
    frameLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *blackLabel = new QLabel(tr("  Black Level:"));
    auto *curveLabel = new QLabel(tr("  Raw Curve:"));

    blackLevelButton = new QPushButton(QStringLiteral("Manual (1024,1024,1023,1022)"));
    blackLevelButton->setFont(small);
    blackLevelButton->setMinimumWidth(smallMetrics.horizontalAdvance(QStringLiteral("(1024,1024,1023,1022)")));
    rawCurveButton = new QPushButton(QStringLiteral("Normal"));
    rawCurveButton->setFont(small);
    rawCurveButton->setFixedWidth(smallMetrics.horizontalAdvance(QStringLiteral("[Normal]")));
    // No file, no curve: blank and disabled, as after a file without one.
    rawCurveButton->setEnabled(false);

    auto spacer = [] {
        auto *l = new QLabel;
        l->setFixedWidth(20);
        return l;
    };
    QStatusBar *bar = statusBar();
    bar->addPermanentWidget(blackLabel);
    bar->addPermanentWidget(blackLevelButton);
    bar->addPermanentWidget(curveLabel);
    bar->addPermanentWidget(rawCurveButton);
    bar->addPermanentWidget(new QLabel, 40);
    bar->addPermanentWidget(zoomOutButton);
    bar->addPermanentWidget(zoomCombo);
    bar->addPermanentWidget(zoomInButton);
    bar->addPermanentWidget(frameLabel);
    bar->addPermanentWidget(frameCombo);
    bar->addPermanentWidget(spacer());

    auto makePanel = [](InfoPanel &panel, const QString &title) {
        panel.box = new QGroupBox(title);
        panel.layout = new QGridLayout(panel.box);
        panel.margins = panel.layout->contentsMargins();
        // Owned by the box: the display panel never puts its label in the layout.
        panel.label = new QLabel(panel.box);
        panel.label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    };

    makePanel(metadataPanel, tr("Metadata"));
    metadataPanel.label->setText(QStringLiteral("EXIF"));
    metadataPanel.layout->addWidget(metadataPanel.label, 0, 0);
    exifButton = new QPushButton(QStringLiteral("EXIF"));
    if (mainPrefValue("ExifButtonOnBottom")) {
        bar->addPermanentWidget(exifButton);
        bar->addPermanentWidget(spacer());
    } else {
        metadataPanel.layout->addWidget(exifButton, 0, 0, Qt::AlignRight | Qt::AlignBottom);
    }

    brightenGroup = new QGroupBox;
    auto *brightenLayout = new QHBoxLayout(brightenGroup);
    brightenLayout->setContentsMargins(0, 0, 0, 0);
    brightenCheck = new QCheckBox(tr("Brighten:"));
    brightenSpin = new QDoubleSpinBox;
    brightenSpin->setRange(0, 3);
    brightenSpin->setSingleStep(0.5);
    brightenApply = new QPushButton;
    brightenApply->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    brightenLayout->addWidget(brightenCheck);
    brightenLayout->addWidget(brightenSpin);
    brightenLayout->addWidget(brightenApply);
    bar->addPermanentWidget(brightenGroup);
    statusLabel = new QLabel;
    bar->addPermanentWidget(statusLabel, 99);

    const QFontMetrics exifMetrics(exifButton->font());
    exifButton->setMaximumHeight(int(exifMetrics.height() * 1.33));
    exifButton->setFixedWidth(exifMetrics.horizontalAdvance(QStringLiteral("[EXIF]")));

    makePanel(imagePanel, tr("Image"));
    imagePanel.layout->addWidget(imagePanel.label, 0, 0);
    makePanel(selectionPanel, tr("Selection/Sample"));
    selectionPanel.layout->addWidget(selectionPanel.label, 0, 0, 3, 1);
    makePanel(pointerPanel, tr("Mouse Pointer"));
    pointerPanel.layout->addWidget(pointerPanel.label, 0, 0);

    makePanel(displayPanel, tr("Display"));
    displayPanel.label->hide();
    updateSelectionPanel();
    updateSamplePanel();
    rgbRadio = new QRadioButton(tr("RGB render"));
    rgbRadio->setChecked(true);
    compositeRadio = new QRadioButton(tr("Raw composite"));
    channelRadio = new QRadioButton(tr("Raw channel"));
    channelCombo = new QComboBox;
    channelCombo->setMaximumWidth(40);
    channelCombo->addItems({QStringLiteral("R"), QStringLiteral("G"), QStringLiteral("B"), QStringLiteral("G2")});
    channelCombo->setCurrentIndex(0);
    overExposedCheck = new QCheckBox(tr("OvExp"));
    underExposedCheck = new QCheckBox(tr("UnExp"));
    displayPanel.layout->addWidget(rgbRadio, 0, 0);
    displayPanel.layout->addWidget(compositeRadio, 1, 0);
    displayPanel.layout->addWidget(channelRadio, 2, 0);
    displayPanel.layout->addWidget(channelCombo, 2, 1);
    displayPanel.layout->addWidget(overExposedCheck, 0, 1);
    displayPanel.layout->addWidget(underExposedCheck, 1, 1);
    displayPanel.layout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum), 2, 2);

    makePanel(exposureStatsPanel, tr("OvExp/UnExp Stats"));
    exposureStatsPanel.layout->addWidget(exposureStatsPanel.label, 0, 0);

    setSmallPanelsFont(mainPrefValue("SmallPanelsFont") != 0);

    const InfoPanel *panels[] = {&metadataPanel, &imagePanel, &selectionPanel,
                                 &pointerPanel, &displayPanel, &exposureStatsPanel};
    for (int i = 0; i < 6; ++i)
        centralLayout->addWidget(panels[i]->box, 0, i);
    centralLayout->setColumnStretch(6, 100);
    centralLayout->addWidget(view, 1, 0, 11, 7);

    channelNames.setFromDescription(4, "RGBG");
    refreshChannelSelector();
    updatePanelTitles();
    restoreDisplayMode();

    brightenGroup->setEnabled(false);
    brightenGroup->setToolTip(tr("Brighten control is available only for RGB rendering"));
    brightenSpin->setEnabled(false);
    brightenApply->setEnabled(false);

    connect(exifButton, &QPushButton::clicked, this, &Tessivane::showExif);
    connect(zoomInButton, &QPushButton::clicked, this, &Tessivane::zoomIn);
    connect(zoomOutButton, &QPushButton::clicked, this, &Tessivane::zoomOut);
    connect(zoomCombo, &QComboBox::currentIndexChanged, this, &Tessivane::zoomIndexChanged);
    connect(blackLevelButton, &QPushButton::clicked, this, &Tessivane::showBLPrefs);
    connect(rawCurveButton, &QPushButton::clicked, this, &Tessivane::showBLPrefs);
    connect(rgbRadio, &QRadioButton::clicked, this, &Tessivane::displayRAW);
    connect(compositeRadio, &QRadioButton::clicked, this, &Tessivane::displayRAW);
    connect(channelRadio, &QRadioButton::clicked, this, &Tessivane::displayRAW);
    connect(channelCombo, &QComboBox::currentIndexChanged, this, &Tessivane::changeRAWChannels);
    connect(frameCombo, &QComboBox::currentIndexChanged, this, &Tessivane::changeRAWFrame);
    connect(view, &TW_SignalingView::ev_startSelection, scene, &TW_SelectionScene::startSelection);
    connect(view, &TW_SignalingView::ev_updateSelection, scene, &TW_SelectionScene::updateSelection);
    connect(view, &TW_SignalingView::ev_endSelection, scene, &TW_SelectionScene::endSelection);
    connect(view, &TW_SignalingView::ev_ControlPressed, scene, &TW_SelectionScene::ControlPressed);
    connect(view, &TW_SignalingView::ev_ControlReleased, scene, &TW_SelectionScene::ControlReleased);
    connect(view, &TW_SignalingView::ev_AltShiftPressed, scene, &TW_SelectionScene::AltShiftPressed);
    connect(view, &TW_SignalingView::ev_AltShiftReleased, scene, &TW_SelectionScene::AltShiftReleased);
    connect(brightenCheck, &QCheckBox::toggled, this, &Tessivane::brightenCheckboxChanged);
    connect(brightenSpin, &QDoubleSpinBox::valueChanged, this, &Tessivane::brightenValueChanged);
    connect(brightenApply, &QPushButton::pressed, this, &Tessivane::brightenApplyPressed);
    connect(scene, &TW_SelectionScene::ev_SelectionDeleteSelf, this, &Tessivane::selectionRemove);
    connect(scene, &TW_SelectionScene::ev_SelectionConvertToSample, this, &Tessivane::selection2samples);
    connect(scene, &TW_SelectionScene::ev_SelectionShowHideHistogram, this, &Tessivane::switchSelectionHistogram);
    connect(view, &TW_SignalingView::ev_placeSampler, scene, &TW_SelectionScene::placeSampler);
    connect(view, &TW_SignalingView::ev_updateMouseMove, this, &Tessivane::mouseMoved);
    connect(view, &TW_SignalingView::ev_Resized, this, &Tessivane::gui_resizer);
}

// ------------------------------------------------------------- start file

void Tessivane::setStartFile(const QString &path)
{
    if (!path.isEmpty() && QFileInfo::exists(path))
        startFile = path;
}

void Tessivane::openStartFile()
{
    if (startFile.isEmpty())
        return;
    const QString path = QFileInfo(startFile).absoluteFilePath();
    startFile.clear();
    openFile(path);
}

void Tessivane::showAsLastSaved()
{
    show();
    // The saved states are describing the user's last session only while
    // positions are being saved at all.
    if (!mainPrefValue("saveWinPos"))
        return;
    TW_Settings prefs("Preferences");
    if (prefs.value(QStringLiteral("mainWindowMaximized"), false).toBool())
        showMaximized();
    else if (prefs.value(QStringLiteral("mainWindowFullscreen"), false).toBool())
        switchFullScreen();
}

// ---------------------------------------------------------------- loading

void Tessivane::showStatusText(const QString &text)
{
    statusLabel->setText(text);
    // Repaint now; user input waits, so nothing can close or replace the
    // file halfway through a load.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Tessivane::showStatus(const QString &text)
{
    showStatusText(text);
}

void Tessivane::showMessage(const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box.exec();
}

LoadContext Tessivane::loadContext()
{
    LoadContext c;
    c.frameSelectorIndex = frameCombo->currentIndex();
    if (customCameras)
        for (char **p = customCameras; *p; ++p)
            c.customCameras << QString::fromLocal8Bit(*p);
    c.idealThreads = idealThreads;
    c.minThreads = parallelMinThreads;
    c.bandRows = bandRows;
    c.readCancelled = &readCancelled;
    return c;
}

void Tessivane::setFileActionsEnabled(bool on)
{
    exportTiffAction->setEnabled(on);
    histogramAction->setEnabled(on);
    samplesAction->setEnabled(on);
    selectionGridAction->setEnabled(on);
    selectionByNumbersAction->setEnabled(on);
}

void Tessivane::fillFrameSelector(int itemCount, int index, bool enabled)
{
    // Filled with its signals blocked: a change handler running here would
    // start a load inside this one and destroy the record in use.
    const QSignalBlocker block(frameCombo);
    for (int i = frameCombo->count(); i < itemCount; ++i)
        frameCombo->addItem(QStringLiteral("%1").arg(i + 1));
    while (frameCombo->count() > itemCount)
        frameCombo->removeItem(frameCombo->count() - 1);
    frameCombo->setEnabled(enabled);
    // An empty selector selects its first new item; that choice reloads
    // frame 1 once this load is over.
    if (frameCombo->currentIndex() != index)
        frameReloadPending = true;
}

bool Tessivane::loadFile(const QString &path, bool resetBlackLevels)
{
    if (path.isEmpty())
        return false;
    RawLoader loader(prefPane, this);
    if (!loader.checkPath(path))
        return false;
    const LoadScope scope(this);

    saveDisplayMode();
    if (mainPrefValue("unloadBeforeLoad"))
        unloadCurrentFile();

    // The steps of a failed open must not stay on show over the image kept.
    const QString statusBefore = statusLabel->text();
    std::unique_ptr<RawImage> opened = loader.openRawFile(path, loadContext());
    if (!opened) {
        statusLabel->setText(image ? statusBefore : QString());
        if (mainPrefValue("unloadBeforeLoad")) {
            clearSamplesAll();
            selectionRemove();
            if (selectionHistogramSlot >= 0)
                histogramWindowClosed(selectionHistogramSlot);
        }
        return false;
    }
    delete image;
    image = opened.release();
    ++filesDecoded;
    exifMake.clear();
    exifModel.clear();
    exifExposure.clear();
    exifFNumber.clear();
    exifIso.clear();
    exifWindow->showHtml(tr("Waiting for file load"));

    rawCurveButton->setEnabled(image->curveSaved != 0);
    loader.nameChannels(*image, channelNames);

    refreshInfoLabels();
    QVector<int> levels;
    blackLevelText(&levels);
    cameraInfo = cameraInfoLine(image->data(), levels, channelNames);

    setFileActionsEnabled(true);
    dumpCurveAction->setEnabled(image->curveBackupValid != 0);

    image->path = path;
    const FrameSelection frame = RawLoader::frameSelection(frameCombo->currentIndex(), image->data().idata.raw_count);
    image->frameNumber = frame.frameNumber;
    fillFrameSelector(frame.itemCount, frame.index, frame.enabled);

    computeRawMaximum();
    setFrameSize();
    if (resetBlackLevels && mainPrefValue("resetBLOnLoad"))
        loader.resetBlackLevelsFromFile(*image, channelNames.count);

    // The frame's statistics and histogram read only the working copy: they
    // are measured while the RGB rendering keeps the decoder's data busy.
    bool measured = false;
    const DisplayModeDecision display = loader.prepareRawData(*image, loadContext(), [this, &measured](RawImage &) {
        FrameMeasurement measurement;
        measurement.start(frameMeasurementInput());
        renderRGB();
        frameStatistics = StatsBlock();
        measurement.finish(frameStatistics, frameHistogram);
        measured = true;
    });
    if (display.prepared) {
        if (display.ycbcrChannels) {
            channelRadio->setChecked(true);
            rgbRadio->setEnabled(false);
            compositeRadio->setEnabled(false);
            if (channelCombo->currentIndex() > 2)
                channelCombo->setCurrentIndex(0);
        } else {
            compositeRadio->setEnabled(true);
            const bool rgbWasChecked = rgbRadio->isChecked();
            rgbRadio->setEnabled(display.rgbEnabled);
            if (display.rgbToComposite && rgbWasChecked)
                compositeRadio->setChecked(true);
        }
    }
    if (measured) {
        frameStatsText = statsHtmlTable(frameStatistics);
        exposureLevelsFromHistogram(true);
    } else {
        refreshFrameStats();
        computeExposureLevels(true);
    }
    restoreDisplayMode();
    refreshChannelSelector();

    metadataPanel.label->setText(image->infoHtml);
    metadataPanel.box->setTitle(tr("File: %1").arg(currentFileName()));
    setWindowTitle(tr("Tessivane: %1").arg(currentFileName()));
    cursorPosition[0] = cursorPosition[1] = -1;
    pointerPanel.box->setTitle(tr("Mouse Pointer"));
    pointerPanel.label->setText(QString());
    imagePanel.box->setTitle(
        StatsHtml::imageSizeTitle(image->frameWidth, image->frameHeight, mainPrefValue("maskedPixels") != 0));
    imagePanel.label->setText(frameStatsText);
    return true;
}

bool Tessivane::openFile(const QString &givenPath)
{
    // Loading moves the working folder; a relative path would then name
    // another file for folder stepping and the recent-file list.
    const QString path = givenPath.isEmpty() ? givenPath : QFileInfo(givenPath).absoluteFilePath();
    if (isLoading()) {
        // Asked for from inside a load (a hand-over or a system file-open
        // event): opened as soon as the running load is done.
        pendingOpenPath = path;
        return false;
    }
    bool loaded = false;
    {
        const LoadScope scope(this);
        QApplication::setOverrideCursor(Qt::WaitCursor);
        loaded = loadFile(path, true);
        if (loaded) {
            startExifRead(path);
            renderImage(1);
            addRecentFile(path);
            statusLabel->setText(RawLoader::floatNormalizationText(*image));
            QDir::setCurrent(QFileInfo(path).absolutePath());
            if (mainPrefValue("saveWrkDirOnExit"))
                WorkingFolder::rememberFolderOf(path);
            nextFileAction->setEnabled(true);
            prevFileAction->setEnabled(true);
        }
        QApplication::restoreOverrideCursor();
    }
    return loaded;
}

Tessivane::LoadScope::LoadScope(Tessivane *owner)
    : owner(owner)
{
    ++owner->loadDepth;
}

Tessivane::LoadScope::~LoadScope()
{
    if (--owner->loadDepth == 0)
        owner->runDeferredLoadWork();
}

void Tessivane::runDeferredLoadWork()
{
    // Posted, so it runs from the event loop with no load on the stack.
    if (frameReloadPending) {
        frameReloadPending = false;
        QTimer::singleShot(0, this, &Tessivane::changeRAWFrame);
    }
    if (!pendingOpenPath.isEmpty()) {
        const QString next = pendingOpenPath;
        pendingOpenPath.clear();
        QTimer::singleShot(0, this, [this, next]() { openFile(next); });
    }
    if (updateChecker.hasDeferredReply()) {
        // A load started meanwhile posts this again when it ends.
        QTimer::singleShot(0, this, [this]() {
            if (!isLoading() && updateChecker.hasDeferredReply())
                handleUpdateReply(updateChecker.takeDeferredReply());
        });
    }
}

void Tessivane::unloadCurrentFile()
{
    exifWindow->showHtml(QString());
    clearOverlayItems();
    tiles.release();
    delete image;
    image = nullptr;
    // Without an image (closed, or unloaded first to save memory) nothing
    // is kept for a next file.
    kaldris::dropSpareFrames();
    updatePanelTitles();
    setWindowTitle(tr("Tessivane"));
    statusLabel->clear();
    rawCurveButton->setEnabled(false);
    refreshInfoLabels();
    updateBrightenControls();
}

void Tessivane::computeRawMaximum()
{
    if (!image)
        return;
    const kaldris_data_t &d = image->data();
    RawMaxSource src;
    src.raw1 = d.rawdata.raw_image;
    src.raw3 = d.rawdata.color3_image ? &d.rawdata.color3_image[0][0] : nullptr;
    src.raw4 = d.rawdata.color4_image ? &d.rawdata.color4_image[0][0] : nullptr;
    if (!src.raw1 && !src.raw3 && !src.raw4)
        return;
    src.rawWidth = d.sizes.raw_width;
    src.rawHeight = d.sizes.raw_height;
    src.rawPitch = d.sizes.raw_pitch;
    src.topMargin = d.sizes.top_margin;
    src.leftMargin = d.sizes.left_margin;
    src.visibleWidth = image->visibleWidth;
    src.visibleHeight = image->visibleHeight;
    src.colors = d.idata.colors;
    const RawMaxima m = ::computeRawMaximum(src, idealThreads > parallelMinThreads, bandRows);
    image->rawMaximum = m.whole;
    image->visibleMaximum = m.visible;
}

void Tessivane::setFrameSize()
{
    if (!image)
        return;
    RawLoader loader(prefPane, this);
    loader.setFrameSize(*image);
}

void Tessivane::computeFrameStats()
{
    frameHistogram.clear();
    if (!image || !image->workingBuffer)
        return;
    const bool masked = mainPrefValue("maskedPixels") != 0;
    const kaldris_data_t &d = image->data();
    ::computeFrameStats(image->frameView(channelNames.count), frameHistogram, channelNames.names,
                      masked ? d.sizes.left_margin : 0, masked ? d.sizes.top_margin : 0, image->visibleWidth,
                      image->visibleHeight, image->dataRange, image->currentMaximum, statsThreads());
}

void Tessivane::refreshFrameStats()
{
    if (!image || !image->workingBuffer)
        return;
    area_t whole;
    whole.width = image->frameWidth;
    whole.height = image->frameHeight;
    frameStatistics = StatsBlock();
    computeRegionStats(image, whole, frameStatistics, 0);
    frameStatsText = statsHtmlTable(frameStatistics);
}

void Tessivane::computeExposureLevels(bool reload)
{
    if (!image)
        return;
    if (reload)
        computeFrameStats();
    exposureLevelsFromHistogram(reload);
}

FrameMeasurement::Input Tessivane::frameMeasurementInput()
{
    FrameMeasurement::Input in;
    const bool masked = mainPrefValue("maskedPixels") != 0;
    const kaldris_data_t &d = image->data();
    in.frame = image->frameView(channelNames.count);
    in.names = channelNames.names;
    in.histogramX = masked ? d.sizes.left_margin : 0;
    in.histogramY = masked ? d.sizes.top_margin : 0;
    in.visibleWidth = image->visibleWidth;
    in.visibleHeight = image->visibleHeight;
    in.dataRange = image->dataRange;
    in.currentMaximum = image->currentMaximum;
    in.threads = statsThreads();
    // Its rows are reused, not allocated anew; nothing reads it meanwhile.
    in.histogram = std::move(frameHistogram);
    frameHistogram = HistogramData();
    return in;
}

void Tessivane::exposureLevelsFromHistogram(bool reload)
{
    if (!image)
        return;
    ExposureInput in;
    in.frameHistogram = &frameHistogram;
    in.dataRange = image->dataRange;
    in.visibleMaximum = image->visibleMaximum;
    const QVector<int> black = image->blackLevels(prefPane);
    for (int c = 0; c < 4 && c < black.size(); ++c)
        in.black[c] = black[c];
    for (int c = 0; c < 4; ++c)
        in.linearMax[c] = image->data().color.linear_max[c];
    const ExposureResult r = ::computeExposureLevels(in, prefPane, reload);
    for (int c = 0; c < 4; ++c) {
        overExposureLevels[c] = int(r.over.value(c));
        underExposureLevels[c] = int(r.under.value(c));
    }
    exposureStatsTable();
}

void Tessivane::exposureStatsTable()
{
    if (!image)
        return;
    QVector<unsigned> over(4), under(4);
    for (int c = 0; c < 4; ++c) {
        over[c] = unsigned(overExposureLevels[c]);
        under[c] = unsigned(underExposureLevels[c]);
    }
    exposureStatsPanel.label->setText(::exposureStatsTable(frameHistogram, channelNames.names, channelNames.count,
                                                           over, under, image->dataRange, image->currentMaximum,
                                                           colorTable));
}

void Tessivane::renderRGB()
{
    if (!image)
        return;
    const bool loading = isLoading();
    bool rendered = false;
    {
        // Rendering repaints the status line; a file or frame asked for
        // meanwhile must wait, it would destroy the record being rendered.
        const LoadScope scope(this);
        RgbRenderer renderer(prefPane, this);
        rendered = renderer.renderRGB(*image, brightenCheck->isChecked(), brightenSpin->value());
    }
    if (rendered || loading)
        return;
    // Loading decides the modes from the missing picture itself; later
    // renderings must not leave RGB selectable without one.
    const bool wasChecked = rgbRadio->isChecked();
    rgbRadio->setEnabled(false);
    if (wasChecked)
        compositeRadio->setChecked(true);
}

bool Tessivane::isSrawYccMode() const
{
    if (!prefPane || !image)
        return false;
    return ::isSrawYccMode(mainPrefValue("srawYcc") != 0, image->decoder().is_sraw() != 0);
}

// -------------------------------------------------------------- rendering

void Tessivane::resizeTileGrid(int frameWidth, int frameHeight)
{
    tiles.resize(frameWidth, frameHeight, idealThreads > parallelMinThreads);
}

void Tessivane::updateBrightenControls()
{
    const bool brighten = image && rgbRadio->isEnabled() && rgbRadio->isChecked();
    brightenGroup->setEnabled(brighten);
    brightenGroup->setToolTip(brighten ? QString() : tr("Brighten control is available only for RGB rendering"));
}

void Tessivane::renderImage(int rebuild)
{
    updateBrightenControls();
    if (!image)
        return;
    if (hintItem) {
        scene->removeItem(hintItem);
        delete hintItem;
        hintItem = nullptr;
    }
    resizeTileGrid(image->frameWidth, image->frameHeight);

    const kaldris_data_t &d = image->data();
    const bool masked = mainPrefValue("maskedPixels") != 0;
    RenderRequest req;
    req.frame = image->frameView(channelNames.count);
    req.channel = channelCombo->currentIndex();
    req.overOn = overExposedCheck->isChecked();
    req.underOn = underExposedCheck->isChecked();
    for (int c = 0; c < 4; ++c) {
        req.overLevels[c] = unsigned(overExposureLevels[c]);
        req.underLevels[c] = unsigned(underExposureLevels[c]);
    }
    req.table = gammaTables[mainPrefValue("gamma22") ? 1 : 0];
    req.mult = renderMultiplier(image->currentMaximum, mainPrefValue("autoscale") != 0,
                                (image->decoderInfo.decoder_flags & KALDRIS_DECODER_SONYARW2) != 0,
                                mainPrefValue("ARW2SpecialOptions"));
    req.markArea = markAreaFor(image->frameWidth, image->frameHeight, masked, d.sizes.left_margin,
                               d.sizes.top_margin, image->visibleWidth, image->visibleHeight);
    req.pixels2x2 = mainPrefValue("pixels2x2") != 0;
    req.rgbgAsGray = mainPrefValue("rgbgAsGray") != 0;
    req.namesRGB = channelNames.isRGB;
    req.decoderColors = d.idata.colors;
    req.cfaPattern = image->cfaPattern;
    req.bayer = image->isBayerImage();
    req.processed = image->processedImage;
    if (image->processedImage)
        req.processedArea = processedAreaFor(image->processedImage->width, image->processedImage->height,
                                             image->frameWidth, image->frameHeight, masked, d.sizes.left_margin,
                                             d.sizes.top_margin);
    req.srawYccMode = isSrawYccMode();
    if (req.srawYccMode) {
        req.srawMidpoint = image->decoder().sraw_midpoint();
        req.srawMult = srawChromaMult(req.srawMidpoint, false, 0, 0, mainPrefValue("autoscale") != 0);
    }
    req.threadingAllowed = idealThreads > parallelMinThreads;
    if (rgbRadio->isChecked() && image->processedImage)
        req.mode = RenderRequest::ProcessedRgb;
    else if (compositeRadio->isChecked())
        req.mode = RenderRequest::Composite;
    else
        req.mode = RenderRequest::Channel;

    const RenderResult result = renderTiles(req, tiles);
    if (!result.ok) {
        QMessageBox box(QMessageBox::Information, result.title, result.text, QMessageBox::Ok, this);
        box.exec();
        return;
    }

    const bool unchanged = frameItem && frameItem->rect().width() == image->frameWidth
        && frameItem->rect().height() == image->frameHeight;
    if (!rebuild && unchanged) {
        updatePixmapItems(true);
        scene->update(scene->itemsBoundingRect());
    } else {
        GridGeometry keptGrid;
        const bool hadGrid = scene->gridGeometry(&keptGrid);
        scene->removeGrid();
        scene->removeSelection();
        deleteSampleItems();
        updatePixmapItems(unchanged);
        if (!unchanged) {
            scene->setFrameItem(frameItem);
            scene->setSceneRect(scene->itemsBoundingRect());
            zoomIndexChanged();
        }
        const bool fits = selection.width > 0 && selection.height > 0
            && selection.left + selection.width <= image->frameWidth
            && selection.top + selection.height <= image->frameHeight;
        if (!fits) {
            selection = area_t();
            if (selectionHistogramSlot >= 0)
                histogramWindowClosed(selectionHistogramSlot);
        } else {
            scene->createSelection(QRectF(selection.left, selection.top, selection.width, selection.height));
        }
        if (!unchanged)
            dropSamplesOutsideImage();
        rebuildSampleItems();
        recomputeSampleStats();
        if (hadGrid && scene->placeGridAgain(keptGrid, image->frameWidth, image->frameHeight)) {
            gridDialog->updateControls(1);
            gridDialog->updateNames();
        } else {
            gridDialog->updateControls(0);
        }
        selectionGridAction->setEnabled(true);
    }
    updateSelectionPanel();
    updateSamplePanel();
    if (rebuild)
        update();
}

void Tessivane::updatePixmapItems(bool keepItems)
{
    if (!image)
        return;
    const QRectF frame(0, 0, image->frameWidth, image->frameHeight);
    if (frameItem) {
        frameItem->setRect(frame);
    } else {
        frameItem = new QGraphicsRectItem(frame);
        // A hairline at every zoom: a pen one image pixel wide would hide
        // half of each edge pixel when zoomed in.
        QPen outline(Qt::gray);
        outline.setCosmetic(true);
        frameItem->setPen(outline);
        frameItem->setZValue(20);
    }
    auto pixmapOf = [this](int i) { return QPixmap::fromImage(tiles.image(i), Qt::NoOpaqueDetection); };
    if (keepItems && overlayItems.size() == tiles.size()) {
        for (int i = 0; i < tiles.size(); ++i)
            static_cast<QGraphicsPixmapItem *>(overlayItems[i])->setPixmap(pixmapOf(i));
        return;
    }
    clearOverlayItems();
    for (int i = 0; i < tiles.size(); ++i) {
        auto *item = new QGraphicsPixmapItem(pixmapOf(i));
        item->setPos(tiles.tile(i).x, tiles.tile(i).y);
        scene->addItem(item);
        overlayItems << item;
    }
}

void Tessivane::clearOverlayItems()
{
    for (QGraphicsItem *item : std::as_const(overlayItems)) {
        if (item->scene())
            item->scene()->removeItem(item);
        delete item;
    }
    overlayItems.clear();
}

// ------------------------------------------------- panels and display modes

QString Tessivane::statsHtmlTable(const StatsBlock &stats) const
{
    return StatsHtml::statsHtmlTable(stats, channelNames.names, channelNames.count, colorTable);
}

QString Tessivane::exposureTimeText(float seconds)
{
    return StatsHtml::exposureTimeText(seconds);
}

void Tessivane::saveDisplayMode()
{
    if (!prefPane)
        return;
    int mode = 1;
    if (compositeRadio->isChecked())
        mode = 2;
    else if (channelRadio->isChecked())
        mode = 3 + channelCombo->currentIndex();
    if (mainPrefValue("rememberOEUEchecks")) {
        if (overExposedCheck->isChecked())
            mode += 8;
        if (underExposedCheck->isChecked())
            mode += 16;
    }
    prefPane->setLastUsed(QStringLiteral("displayMode"), mode);
}

void Tessivane::restoreDisplayMode()
{
    int wanted = mainPrefValue("displayMode");
    const int last = lastUsedValue("displayMode");
    if (wanted == 0) {
        if (last < 0)
            return;
        wanted = last & 7;
    }
    if (image && image->decoder().is_sraw() && mainPrefValue("srawYcc"))
        return;
    if (mainPrefValue("rememberOEUEchecks") && last >= 0) {
        overExposedCheck->setChecked(last & 8);
        underExposedCheck->setChecked(last & 16);
    }
    if (wanted == 1) {
        if (rgbRadio->isEnabled())
            rgbRadio->setChecked(true);
        else
            compositeRadio->setChecked(true);
    } else if (wanted == 2) {
        compositeRadio->setChecked(true);
    } else if (wanted >= 3 && wanted <= 6) {
        channelRadio->setChecked(true);
        const QSignalBlocker block(channelCombo);
        // A channel this image lacks would leave the combo on no entry.
        const int index = wanted - 3;
        channelCombo->setCurrentIndex(index < channelCombo->count() ? index : 0);
    }
}

QString Tessivane::blackLevelText(QVector<int> *levels)
{
    RawLoader loader(prefPane, this);
    return loader.blackLevelText(image, channelNames.count, levels);
}

QString Tessivane::curveModeText() const
{
    RawLoader loader(prefPane, nullptr);
    return loader.curveModeText(rawCurveButton && rawCurveButton->isEnabled());
}

void Tessivane::refreshInfoLabels()
{
    blackLevelButton->setText(blackLevelText());
    rawCurveButton->setText(curveModeText());
}

void Tessivane::setSmallPanelsFont(bool small)
{
    QString sheet;
    QFont measuring = font();
    if (small) {
        int size = font().pointSize() * 3 / 4;
        if (font().pointSize() < 1)
            size = 6;
        measuring = QFont(QStringLiteral("Arial"), size);
        sheet = QStringLiteral("QWidget {font-size: %1pt;} QGrouBox::title {font-size: %1pt;}").arg(size);
    }
    const QFontMetrics fm(measuring);
    struct Width {
        InfoPanel *panel;
        const char *text;
        bool fixed;
    };
    const Width widths[] = {
        {&metadataPanel, "MMMMMMMMMMMMMMMMMMMMMM", false}, {&imagePanel, "MMMMMMMMMMMMMMMMm", false},
        {&selectionPanel, "MMMMMMMMMMMMMMMM", false},      {&pointerPanel, "MMMMxMMMM-A1", true},
        {&displayPanel, "MMMMMMMMMMMMMMMMMMMM", false},    {&exposureStatsPanel, "MMMMMMMMMMMMMMMMM", false},
    };
    for (const Width &w : widths) {
        w.panel->box->setStyleSheet(sheet);
        const int px = fm.horizontalAdvance(QLatin1String(w.text));
        if (w.fixed)
            w.panel->box->setFixedWidth(px);
        else
            w.panel->box->setMinimumWidth(px);
        w.panel->layout->setContentsMargins(small ? QMargins() : w.panel->margins);
    }
    fitPanelsToWidestTexts();
}

void Tessivane::fitPanelsToWidestTexts()
{
    struct Widest {
        InfoPanel *panel;
        QString title, text;
    };
    const Widest widest[] = {
        {&imagePanel, StatsHtml::widestImageTitle(), StatsHtml::widestStatsTable(colorTable)},
        {&selectionPanel, StatsHtml::widestSelectionTitle(), StatsHtml::widestStatsTable(colorTable)},
        {&exposureStatsPanel, exposureStatsPanel.box->title(), widestExposureStatsTable(colorTable)},
    };
    for (const Widest &w : widest) {
        QLabel *label = w.panel->label;
        // Measured in the fonts the panel's style sheet gives.
        w.panel->box->ensurePolished();
        label->ensurePolished();
        const QString shown = label->text();
        label->setMinimumWidth(0);
        label->setText(w.text);
        const int textWidth = label->sizeHint().width();
        label->setText(shown);
        const int titleWidth = w.panel->box->fontMetrics().horizontalAdvance(w.title + QLatin1Char(' '));
        label->setMinimumWidth(std::max(textWidth, titleWidth));
    }
}

void Tessivane::refreshChannelSelector()
{
    DisplayControls::refreshChannelSelector(channelCombo, channelRadio, compositeRadio, channelNames.names,
                                            channelNames.count);
    const QStringList names = channelNames.names.mid(0, std::min(channelNames.count, ChannelNames::MaxChannels));
    if (samplesWindow)
        samplesWindow->setChannelNames(channelNames);
    if (prefPane)
        prefPane->setChannelNames(names);
}

void Tessivane::updatePanelTitles()
{
    metadataPanel.box->setTitle(tr("Metadata"));
    metadataPanel.label->setText(StatsHtml::noImageText());
    updateSelectionPanel();
    imagePanel.box->setTitle(StatsHtml::imageTitle(mainPrefValue("maskedPixels") != 0));
    imagePanel.label->setText(StatsHtml::noImageText());
    exposureStatsPanel.label->setText(StatsHtml::noImageText());
    pointerPanel.box->setTitle(tr("Mouse Pointer"));
    pointerPanel.label->setText(QString());
    rgbRadio->setEnabled(true);
    exifButton->hide();
    exifButton->setEnabled(false);
    exifAction->setEnabled(false);
    nextFileAction->setEnabled(false);
    prevFileAction->setEnabled(false);
}

void Tessivane::updateSelectionPanel()
{
    selectionPanelShowsSample = false;
    const bool filter = mainPrefValue("FilterExtremes") != 0;
    if (!SelectionLimits::isSelection(selection) || !image) {
        clearSelectionAction->setEnabled(false);
        selectionHistogramAction->setEnabled(false);
        selectionToSampleAction->setEnabled(false);
        if (selectionHistogramSlot >= 0)
            histogramWindowClosed(selectionHistogramSlot);
        selectionPanel.label->setText(StatsHtml::selectionHint());
        selectionPanel.box->setTitle(StatsHtml::noSelectionTitle(filter));
        return;
    }
    StatsBlock stats;
    computeRegionStats(image, selection, stats, filter ? 1 : 0);
    selectionPanel.label->setText(statsHtmlTable(stats));
    selectionPanel.box->setTitle(StatsHtml::selectionTitle(selection, filter));
    clearSelectionAction->setEnabled(true);
    selectionToSampleAction->setEnabled(true);
    const bool histogram = SelectionLimits::histogramAllowed(selection);
    selectionHistogramAction->setEnabled(histogram);
    if (!histogram && selectionHistogramSlot >= 0)
        histogramWindowClosed(selectionHistogramSlot);
    else if (histogram)
        setHistogramWindowArea(selectionHistogramSlot, selection.left, selection.top, selection.width,
                               selection.height);
}

void Tessivane::updateSamplePanel()
{
    const SampleRecord *r = samplesController->lastPlacedSample();
    if (!r) {
        // The panel is shared: without a sample to show, the selection's
        // (measured again only when a sample was on it).
        if (selectionPanelShowsSample)
            updateSelectionPanel();
        return;
    }
    selectionPanel.label->setText(statsHtmlTable(*r));
    selectionPanel.box->setTitle(StatsHtml::selectionTitle(r->area, mainPrefValue("FilterExtremes") != 0));
    selectionPanelShowsSample = true;
}

void Tessivane::systemPaletteChanged(const QPalette &palette, bool force)
{
    const QColor window = palette.color(QPalette::Active, QPalette::Window);
    const QColor text = palette.color(QPalette::Active, QPalette::WindowText);
    if (!force && colorTable.value(2) == window && colorTable.value(1) == text)
        return;
    {
        QMutexLocker lock(&paletteMutex);
        colorTable = channelColorTable(text, window);
        if (isLightPalette(palette)) {
            view->setBackgroundBrush(QBrush(Qt::gray));
        } else {
            colorTable = channelColorTableAlt(Qt::white, QColor(QStringLiteral("#303030")));
            view->setBackgroundBrush(QBrush(colorTable.value(2).lighter(120)));
            if (!mainPrefValue("ExifButtonOnBottom"))
                exifButton->setStyleSheet(QStringLiteral("background-color: %1; margin: 0.2em; padding: 0.1em;")
                                              .arg(colorTable.value(2).lighter(130).name()));
        }
    }
    if (hintItem)
        hintItem->setDefaultTextColor(colorTable.value(1));
    if (exifWindow)
        exifWindow->setColorTable(colorTable);
    if (samplesWindow)
        samplesWindow->setTableColors(colorTable);
    for (HistogramSlot *entry : std::as_const(histogramSlots)) {
        if (entry && entry->window)
            entry->window->refreshHistogram();
    }
    if (image) {
        refreshFrameStats();
        exposureStatsTable();
        imagePanel.label->setText(frameStatsText);
        if (selection.width && selection.height)
            updateSelectionPanel();
    }
    qDebug() << "Color changed to" << window << text;
}

QStringList Tessivane::fontFamilies()
{
    return HistogramFonts::families();
}

QString Tessivane::fontFamilyByIndex(int i)
{
    return HistogramFonts::familyByIndex(i);
}

// ------------------------------------------------------------------- zoom

int Tessivane::zoomLevelIndex(double factor)
{
    return ZoomLevels::levelIndex(factor);
}

double Tessivane::currentZoomFactor() const
{
    const double fit = frameItem ? ZoomLevels::fitRatio(view->width(), view->height(), frameItem->rect().width(),
                                                        frameItem->rect().height())
                                 : 1.0;
    return ZoomLevels::factorForIndex(zoomCombo->currentIndex(), fit);
}

void Tessivane::applyZoom()
{
    if (!frameItem)
        return;
    const double f = currentZoomFactor();
    const QPointF centre = view->mapToScene(view->width() / 2, view->height() / 2);
    const double current = view->transform().m11();
    if (current > 0)
        view->scale(f / current, f / current);
    view->centerOn(centre);
    const Qt::TransformationMode mode = ZoomLevels::transformationFor(f);
    for (QGraphicsItem *item : std::as_const(overlayItems))
        static_cast<QGraphicsPixmapItem *>(item)->setTransformationMode(mode);
    // Also on resizes in Fit to Window, so handles keep their screen size.
    scene->rescaleGridToView();
}

void Tessivane::zoomIn()
{
    if (!frameItem)
        return;
    const int i = ZoomLevels::zoomInIndex(zoomCombo->currentIndex(), currentZoomFactor());
    if (i >= 0)
        zoomCombo->setCurrentIndex(i);
}

void Tessivane::zoomOut()
{
    if (!frameItem)
        return;
    const int i = ZoomLevels::zoomOutIndex(zoomCombo->currentIndex(), currentZoomFactor());
    if (i >= 0)
        zoomCombo->setCurrentIndex(i);
}

void Tessivane::normalSize()
{
    const bool unchanged = zoomCombo->currentIndex() == ZoomLevels::actualPixelsIndex();
    zoomCombo->setCurrentIndex(ZoomLevels::actualPixelsIndex());
    // The checkable action unchecked itself; the combo did not move to say so.
    if (unchanged)
        zoomIndexChanged();
}

void Tessivane::fitToWindow()
{
    const bool unchanged = zoomCombo->currentIndex() == ZoomLevels::FitIndex;
    zoomCombo->setCurrentIndex(ZoomLevels::FitIndex);
    if (unchanged)
        zoomIndexChanged();
}

void Tessivane::zoomIndexChanged()
{
    if (!frameItem)
        return;
    const int index = zoomCombo->currentIndex();
    fitToWindowAction->setChecked(ZoomLevels::fitChecked(index));
    actualPixelsAction->setChecked(ZoomLevels::actualPixelsChecked(index));
    applyZoom();
}

void Tessivane::gui_resizer()
{
    if (fitToWindowAction->isChecked())
        applyZoom();
}

// ----------------------------------------------------------- recent files

void Tessivane::addRecentFile(const QString &path, bool removeOnly)
{
    // Read afresh (another instance may have changed it) and shown at once;
    // the file is written once the event loop runs again, not in the load.
    const QStringList before = recentFilesPending ? pendingRecentFiles : RecentFiles::read();
    const QStringList list = RecentFiles::updated(before, path, removeOnly);
    showRecentFiles(list);
    failedLoadPath.clear();
    // Reopening the newest file changes nothing worth a rewrite of the file.
    if (list == before)
        return;
    pendingRecentFiles = list;
    if (!recentFilesPending) {
        recentFilesPending = true;
        QTimer::singleShot(0, this, &Tessivane::writeRecentFiles);
    }
}

void Tessivane::writeRecentFiles()
{
    if (!recentFilesPending)
        return;
    recentFilesPending = false;
    RecentFiles::write(pendingRecentFiles);
}

void Tessivane::updateRecentFileActions()
{
    showRecentFiles(RecentFiles::read());
}

void Tessivane::showRecentFiles(const QStringList &files)
{
    const int n = std::min(int(files.size()), MaxRecentFiles);
    for (int i = 0; i < n; ++i) {
        recentFileActions[i]->setText(RecentFiles::actionText(i, files[i]));
        recentFileActions[i]->setData(files[i]);
        recentFileActions[i]->setVisible(true);
    }
    for (int i = n; i < MaxRecentFiles; ++i)
        recentFileActions[i]->setVisible(false);
    recentSeparator->setVisible(n > 0);
}

// ---------------------------------------------------------------- accessors

QString Tessivane::currentFileName() const
{
    if (!image || image->path.isEmpty())
        return QString();
    return fileNameOf(image->path);
}

QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString Tessivane::canonicalRawFilePath() const
{
    return image ? QFileInfo(image->path).canonicalFilePath() : QString();
}

QString Tessivane::cameraVendorText() const
{
    if (!image)
        return QString();
    const char *make = image->data().idata.make;
    return QString::fromUtf8(make, qstrnlen(make, sizeof image->data().idata.make));
}

QString Tessivane::cameraModelText() const
{
    if (!image)
        return QString();
    const char *model = image->data().idata.model;
    return QString::fromUtf8(model, qstrnlen(model, sizeof image->data().idata.model));
}

QString Tessivane::dataRangeLine() const
{
    if (!image)
        return QString();
    QVector<unsigned> over(4);
    for (int c = 0; c < 4; ++c)
        over[c] = unsigned(overExposureLevels.value(c));
    return ::dataRangeLine(image->dataRange, image->visibleMaximum, over, channelNames.count,
                           asShotWBValues(image->data().color.cam_mul, channelNames.count));
}

SampleFileInfo Tessivane::sampleFileInfo() const
{
    SampleFileInfo info;
    if (!image)
        return info;
    const kaldris_data_t &d = image->data();
    info.fileName = fileNameOf(image->path);
    info.canonicalPath = canonicalRawFilePath();
    info.frameNumber = image->frameNumber;
    info.cameraVendor = cameraVendorText();
    info.cameraModel = cameraModelText();
    info.isoSpeed = d.other.iso_speed;
    info.shutter = d.other.shutter;
    info.aperture = d.other.aperture;
    info.cameraInfoLine = cameraInfo;
    info.dataRangeLine = dataRangeLine();
    return info;
}

void Tessivane::setLastFolder(const QString &path)
{
    lastFolderPath = QFileInfo(path).absolutePath();
}

void Tessivane::cancelRead()
{
    readCancelled = true;
}

// ------------------------------------------------------------ file opening

bool Tessivane::open()
{
    if (!checkUnsavedSamples(1))
        return false;
    if (mainPrefValue("saveWrkDirOnExit"))
        WorkingFolder::enterSaved();
    const QString filter = FolderStepper::openFilter(mainPrefString("additionalExtensions"));
    QFileDialog dialog(this, tr("Open Raw File"), QDir::currentPath(), FolderStepper::dialogFilterText(filter));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!mainPrefValue("useNativeDialogs"))
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    TW_FileDialog::matchAllFilesForStarDotStar(&dialog);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        openFile(dialog.selectedFiles().first());
    return true;
}

void Tessivane::openRecentFile()
{
    auto *action = qobject_cast<QAction *>(sender());
    if (!action || !checkUnsavedSamples(1))
        return;
    const QString path = action->data().toString();
    failedLoadPath.clear();
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path)) {
        if (!openFile(path) && mainPrefValue("moveOnFailedLoad"))
            failedLoadPath = path;
        return;
    }
    QMessageBox box(QMessageBox::Information, tr("File open error"), tr("File %1 does not exists").arg(path),
                    QMessageBox::Ok, this);
    box.exec();
    addRecentFile(path, true);
}

bool Tessivane::openDroppedFile(const QString &path)
{
    if (checkUnsavedSamples(1))
        openFile(path);
    return false;
}

void Tessivane::closeCurrentFile()
{
    if (isLoading() || !checkUnsavedSamples(1))
        return;
    unloadCurrentFile();
    failedLoadPath.clear();
    selection = area_t();
    if (selectionHistogramSlot >= 0)
        histogramWindowClosed(selectionHistogramSlot);
    clearSamplesAll();
    if (mainHistogramSlot >= 0)
        histogramWindowClosed(mainHistogramSlot);
    removeGridSelection();
    if (gridDialog->isVisible()) {
        gridDialog->hide();
        selectionGridAction->setChecked(false);
    }
    exportTiffAction->setEnabled(false);
    dumpCurveAction->setEnabled(false);
    histogramAction->setEnabled(false);
    samplesAction->setEnabled(false);
    samplesAction->setChecked(false);
    samplesWindow->hide();
    selectionGridAction->setEnabled(false);
    clearSelectionAction->setEnabled(false);
    selectionHistogramAction->setEnabled(false);
    selectionToSampleAction->setEnabled(false);
    selectionByNumbersAction->setEnabled(false);
    const QRectF bounds = scene->itemsBoundingRect();
    scene->removeSelection();
    const QList<QGraphicsItem *> items = scene->items();
    for (int i = items.size() - 1; i >= 0; --i)
        if (!items[i]->parentItem())
            scene->removeItem(items[i]);
    if (frameItem) {
        scene->setFrameItem(nullptr);
        delete frameItem;
        frameItem = nullptr;
    }
    scene->update(bounds);
    QDir::setCurrent(WorkingFolder::defaultFolder());
}

// ------------------------------------------------------- display controls

void Tessivane::displayRAW()
{
    if (!image)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    renderImage(0);
    QApplication::restoreOverrideCursor();
}

void Tessivane::changeRAWChannels()
{
    channelRadio->setChecked(true);
    displayRAW();
}

void Tessivane::changeRAWFrame()
{
    if (!image)
        return;
    if (isLoading()) {
        frameReloadPending = true;
        return;
    }
    if (!DisplayControls::frameChangeWanted(frameCombo->currentIndex(), image->frameNumber))
        return;
    if (!checkUnsavedSamples(0)) {
        const QSignalBlocker block(frameCombo);
        frameCombo->setCurrentIndex(image->frameNumber - 1);
        return;
    }
    // A copy: loading deletes the record that holds the path.
    const QString path = image->path;
    const LoadScope scope(this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (loadFile(path, true)) {
        // Loading emptied the EXIF window; the file's tags are the same.
        startExifRead(path);
        renderImage(0);
        recomputeSampleStats();
    } else if (image) {
        // The frame on show stays; the selector must name it, or choosing
        // that entry again would not load it.
        const QSignalBlocker block(frameCombo);
        frameCombo->setCurrentIndex(image->frameNumber - 1);
    }
    QApplication::restoreOverrideCursor();
}

void Tessivane::brightenCheckboxChanged()
{
    brightenSpin->setEnabled(brightenCheck->isChecked());
    if (!DisplayControls::brightenToggleRenders(brightenCheck->isChecked(), brightenSpin->value()))
        return;
    if (image && rgbRadio->isEnabled()) {
        renderRGB();
        if (rgbRadio->isChecked())
            renderImage(0);
    }
}

void Tessivane::brightenValueChanged()
{
    brightenApply->setEnabled(true);
}

void Tessivane::brightenApplyPressed()
{
    if (image && rgbRadio->isEnabled()) {
        renderRGB();
        if (rgbRadio->isChecked())
            renderImage(0);
    }
    brightenApply->setEnabled(false);
}

// ------------------------------------------------------------- life cycle

bool Tessivane::close()
{
    if (!checkUnsavedSamples(1))
        return false;
    samplesData->dirty = false;
    emit samplesData->ev_dirty();
    return QWidget::close();
}

void Tessivane::closeEvent(QCloseEvent *event)
{
    if (exifWindow->isVisible())
        exifWindow->hide();
    {
        TW_Settings lastUsed("LastUsed");
        lastUsed.setValue(QStringLiteral("brightenOn"), brightenCheck->isChecked());
        lastUsed.setValue(QStringLiteral("brightenValue"), DisplayControls::storedBrightenValue(brightenSpin->value()));
    }
    if (prefPane && mainPrefValue("saveWinPos")) {
        TW_Settings prefs("Preferences");
        const bool full = isFullScreen();
        const QRect normal = fullScreenGeometry.normalGeometry(full, normalGeometry());
        prefs.setValue(QStringLiteral("mainWindowFullscreen"), full);
        if (full)
            setWindowState(windowState() & ~Qt::WindowFullScreen);
        prefs.setValue(QStringLiteral("mainWindowMaximized"), isMaximized());
        prefs.setValue(QStringLiteral("mainWindowGeometry"), normal);
        if (exifRect.width() > 100)
            prefs.setValue(QStringLiteral("exifGeometry"), exifRect);
        for (int i = 0; i < histogramSlots.size(); ++i) {
            if (!histogramSlots[i] || !histogramSlots[i]->window)
                continue;
            if (i >= histogramRects.size())
                histogramRects.resize(i + 1);
            histogramRects[i] = histogramSlots[i]->window->normalGeometry();
        }
        if (!histogramRects.isEmpty()) {
            for (int i = 0; i < histogramRects.size(); ++i) {
                if (histogramRects[i].width() > 10 && histogramRects[i].height() > 10)
                    prefs.setValue(QStringLiteral("%1_%2").arg(QStringLiteral("histogramWinGeometry")).arg(i),
                                   histogramRects[i]);
            }
            prefs.setValue(QStringLiteral("%1_count").arg(QStringLiteral("histogramWinGeometry")),
                           int(histogramRects.size()));
        }
    }
    saveDisplayMode();
    if (prefPane)
        prefPane->saveSettings();
    gridDialog->saveLastUsed();
    if (!checkUnsavedSamples(1)) {
        event->ignore();
        return;
    }
    samplesData->dirty = false;
    emit samplesData->ev_dirty();
    // A parentless histogram window would keep the program running.
    releaseHistogramSlots();
    samplesWindow->hide();
    event->accept();
    if (mainPrefValue("FastExit")) {
        // No destructor runs after this, so no child would be killed.
        stopExifRuns();
        std::_Exit(0);
    }
}

void Tessivane::stopExifRuns()
{
    // ExifTool runs still going are killed and reaped, and report nowhere.
    qDeleteAll(findChildren<TW_ExifProcess *>(Qt::FindDirectChildrenOnly));
}

void Tessivane::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange) {
        const Qt::WindowStates old = static_cast<QWindowStateChangeEvent *>(event)->oldState();
        fullScreenGeometry.stateChanged(old & Qt::WindowFullScreen, isFullScreen(), normalGeometry());
        toolWindowMinimizer.mainWindowStateChanged(mainPrefValue("onMainWindowMinimize") != 0,
                                                   static_cast<QWindowStateChangeEvent *>(event)->oldState(),
                                                   windowState(), minimizedToolWindows);
    }
    QMainWindow::changeEvent(event);
}

void Tessivane::switchFullScreen()
{
    if (!isFullScreen())
        fullScreenGeometry.entering(normalGeometry());
    setWindowState(windowState() ^ Qt::WindowFullScreen);
    fullScreenAction->setChecked(isFullScreen());
}

void Tessivane::about()
{
    if (!splash)
        return;
    const QRect g = geometry();
    const int x = g.x() + g.width() / 2 - splash->width() / 2;
    const int y = g.y() + g.height() / 2 - splash->height() / 2;
    splash->setModal(true);
    splash->setGeometry(x, y, splash->width(), splash->height());
    splash->escapeBlocked = 0;
    splash->licenceLink->show();
    splash->show();
}

void Tessivane::exifSaveGeometry(QRect geometry)
{
    if (geometry.width() > 100)
        exifRect = geometry;
    exifAction->setChecked(exifWindow->isVisible());
}

void Tessivane::copyEXIF2cli(const QString &text, bool isHtml)
{
    auto *data = new QMimeData;
    if (isHtml)
        data->setHtml(text);
    else
        data->setText(text);
    QApplication::clipboard()->setMimeData(data);
}

void Tessivane::dragEnterEvent(QDragEnterEvent *event)
{
    if (TW_SignalingView::offersUrls(event->mimeData()))
        event->acceptProposedAction();
}

void Tessivane::dragMoveEvent(QDragMoveEvent *event)
{
    event->acceptProposedAction();
}

void Tessivane::dropEvent(QDropEvent *event)
{
    event->accept();
    const QString path = TW_SignalingView::droppedFilePath(event->mimeData());
    if (!path.isEmpty())
        openDroppedFile(path);
}

// --------------------------------------------------------- preferences

int Tessivane::showPrefs()
{
    takePrefMaps();
    if (histogramWindowIsActive())
        prefPane->pageList->setCurrentRow(3);
    return prefPane->exec();
}

void Tessivane::showBLPrefs()
{
    prefPane->pageList->setCurrentRow(1);
    showPrefs();
}

PrefImageFacts Tessivane::prefImageFacts() const
{
    PrefImageFacts f;
    if (!image)
        return f;
    const kaldris_data_t &d = image->data();
    f.loaded = true;
    f.curveSaved = (image->decoderInfo.decoder_flags & KALDRIS_DECODER_HASCURVE) && image->curveSaved;
    f.zeroIsBad = d.color.zero_is_bad != 0;
    f.sraw = image->decoder().is_sraw() != 0;
    f.arw2 = (image->decoderInfo.decoder_flags & KALDRIS_DECODER_SONYARW2) != 0;
    f.foveon = d.idata.is_foveon != 0;
    f.dng = d.idata.dng_version != 0;
    f.coolscan = image->decoder().is_coolscan_nef() != 0;
    f.pentax = QString::fromLatin1(d.idata.make).compare(QLatin1String("Pentax"), Qt::CaseInsensitive) == 0;
    f.floatingPoint = image->decoder().is_floating_point() != 0;
    f.phaseOne = image->decoder().is_phaseone_compressed() != 0;
    return f;
}

bool Tessivane::displayPrefsChanged()
{
    return prefPane && PrefApplyDecision::displayPrefsChanged(prefSnapshot, prefPane->intValues(),
                                                              overExposedCheck->isChecked(),
                                                              underExposedCheck->isChecked());
}

bool Tessivane::blackLevelPrefsChanged()
{
    return prefPane && PrefApplyDecision::blackLevelPrefsChanged(prefSnapshot, prefPane->intValues(), prefImageFacts());
}

void Tessivane::applyPrefs()
{
    refreshInfoLabels();
    if (!prefPane)
        return;
    const PrefApplyEffects effects =
        PrefApplyDecision::decide(prefSnapshot, prefStringSnapshot, prefPane->intValues(), prefPane->stringValues(),
                                  prefImageFacts(), overExposedCheck->isChecked(), underExposedCheck->isChecked());
    if (effects.panelFont)
        setSmallPanelsFont(mainPrefValue("SmallPanelsFont") != 0);
    applyHistogramFonts();
    if (!image) {
        takePrefMaps();
        return;
    }
    if (effects.exifChanged) {
        exifButton->hide();
        exifButton->setEnabled(false);
        exifAction->setEnabled(false);
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool reloaded = false;
    bool rebuild = false;
    if (effects.reload) {
        // Loading deletes the record that holds the path.
        const QString path = image->path;
        const int oldOriginRow = image->frameOriginRow;
        const int oldOriginCol = image->frameOriginCol;
        const bool masked = prefSnapshot.value(QStringLiteral("maskedPixels"), 0) != 0;
        reloaded = loadFile(path, false);
        if (reloaded) {
            if (effects.resetBlack && mainPrefValue("resetBLOnLoad"))
                resetBlackLevelsFromFile();
            shiftSamples(oldOriginRow, oldOriginCol);
            rebuild = masked != (mainPrefValue("maskedPixels") != 0);
        }
    }
    if (image) {
        computeExposureLevels(false);
        if (effects.rgbRender || (effects.reload && !reloaded && PrefApplyDecision::rgbPrefsChanged(
                                                                      prefSnapshot, prefPane->intValues()))) {
            if (rgbRadio->isEnabled()) {
                renderRGB();
                if (rgbRadio->isChecked() && !effects.measure && !reloaded)
                    renderImage(0);
            }
        }
        if (effects.measure || reloaded) {
            setFrameSize();
            renderImage(rebuild ? 1 : 0);
            recomputeSampleStats();
            refreshFrameStats();
            imagePanel.label->setText(frameStatsText);
            imagePanel.box->setTitle(StatsHtml::imageSizeTitle(image->frameWidth, image->frameHeight,
                                                               mainPrefValue("maskedPixels") != 0));
        }
        if (reloaded || effects.exifChanged)
            startExifRead(image->path);
        // Measuring again has already redrawn and retitled them.
        if (effects.histogramRetitle && !effects.measure && !reloaded)
            retitleHistogramWindows();
    }
    QApplication::restoreOverrideCursor();
    takePrefMaps();
}

void Tessivane::applyHistogramFonts()
{
    setHistogramFonts(mainPrefValue("HistogramRetina") != 0, fontFamilyByIndex(mainPrefValue("HistogramFont")));
}

// ------------------------------------------- later work: no visible effect

void Tessivane::histogramWindowClosed(int slot)
{
    if (slot < 0 || slot >= histogramSlots.size() || !histogramSlots[slot])
        return;
    if (histogramSlots[slot]->window) {
        if (slot >= histogramRects.size())
            histogramRects.resize(slot + 1);
        histogramRects[slot] = histogramSlots[slot]->window->normalGeometry();
    }
    delete histogramSlots[slot];
    histogramSlots[slot] = nullptr;
    for (SampleRecord *sample : std::as_const(samplesData->samples)) {
        if (sample->histogramSlot == slot)
            sample->histogramSlot = -1;
    }
    if (slot == mainHistogramSlot) {
        histogramAction->setChecked(false);
        mainHistogramSlot = -1;
    } else if (slot == selectionHistogramSlot) {
        selectionHistogramAction->setChecked(false);
        selectionHistogramSlot = -1;
    }
}

// ------------------------------------------------------ histogram windows

PrefStore *Tessivane::histogramSettings() const
{
    return prefPane;
}

int Tessivane::histogramEv0Level() const
{
    if (!image)
        return 0;
    return int(mainPrefValue("HistogramEV0Source") ? image->dataRange : image->currentMaximum);
}

void Tessivane::fillHistogramData(HistogramData &data, bool fillImageSize)
{
    if (!image)
        return;
    computeAreaStats(image->frameView(channelNames.count), data, channelNames.names, image->dataRange,
                     image->currentMaximum, idealThreads > parallelMinThreads, bandRows, fillImageSize);
}

int Tessivane::openHistogramWindow(int x, int y, int w, int h, int ev0Level)
{
    int slot = int(histogramSlots.indexOf(nullptr));
    if (slot < 0)
        slot = int(histogramSlots.size());
    auto *entry = new HistogramSlot;
    entry->ownsData = true;
    entry->data = new HistogramData;
    entry->data->x = x;
    entry->data->y = y;
    entry->data->w = w;
    entry->data->h = h;
    entry->data->imageWidth = image ? image->frameWidth : 0;
    entry->data->imageHeight = image ? image->frameHeight : 0;
    entry->data->clear();
    if (slot == histogramSlots.size())
        histogramSlots.append(entry);
    else
        histogramSlots[slot] = entry;
    fillHistogramData(*entry->data, false);

    const bool saved = slot < histogramRects.size() && histogramRects[slot].width() > 10
                       && histogramRects[slot].height() > 10;
    auto *window = new TessivaneHistogramWindow(entry->data, slot, saved ? histogramRects[slot] : QRect(), this,
                                                mainPrefValue("HistogramWindowOnTop") ? this : nullptr);
    // The default place reaches past the right edge of a 1920-pixel screen.
    const QPoint cascade = saved ? QPoint() : QPoint(15 * slot, 10 * slot);
    window->setGeometry(WindowGeometry::cascadeOnScreen(window->geometry(), cascade, availableScreenAreas()));
    entry->window = window;
    toolWindowMinimizer.addToolWindow(window);
    connect(window, &TessivaneHistogramWindow::histogramClosed, this, &Tessivane::histogramWindowClosed);
    window->linearAutoScaleMax = mainPrefValue("LinearHistogramAutoScale") && image ? int(image->dataRange) : 0;
    window->show();
    window->ev0Level = ev0Level;
    if (ev0Level > 0 && (!prefPane || !mainPrefValue("rememberHistogramSettings")))
        window->setEv0FromLevel(ev0Level);
    window->refreshHistogram();
    window->updateWindowTitle();
    return slot;
}

void Tessivane::setHistogramWindowArea(int slot, int x, int y, int w, int h)
{
    if (slot < 0 || slot >= histogramSlots.size() || !histogramSlots[slot])
        return;
    HistogramSlot *entry = histogramSlots[slot];
    entry->data->x = x;
    entry->data->y = y;
    entry->data->w = w;
    entry->data->h = h;
    fillHistogramData(*entry->data, false);
    if (entry->window) {
        entry->window->updateWindowTitle();
        entry->window->refreshHistogram();
    }
}

void Tessivane::updateHistogramWindowTitles()
{
    for (HistogramSlot *entry : std::as_const(histogramSlots)) {
        if (entry && entry->window)
            entry->window->updateWindowTitle();
    }
}

// The histogram step of recomputing every measurement: new data, levels
// and titles for every open window.
void Tessivane::refreshHistogramWindows()
{
    const int level = histogramEv0Level();
    for (HistogramSlot *entry : std::as_const(histogramSlots)) {
        if (!entry)
            continue;
        fillHistogramData(*entry->data, true);
        if (!entry->window)
            continue;
        if (level > 0)
            entry->window->ev0Level = level;
        entry->window->linearAutoScaleMax =
            mainPrefValue("LinearHistogramAutoScale") && image ? int(image->dataRange) : 0;
        entry->window->updateWindowTitle();
        entry->window->refreshHistogram();
    }
}

void Tessivane::openSampleHistogram(SampleRecord &sample)
{
    const int slot = openHistogramWindow(sample.area.left, sample.area.top, sample.area.width, sample.area.height,
                                         histogramEv0Level());
    TessivaneHistogramWindow *w = histogramSlots[slot]->window;
    w->sampleName = sample.name;
    w->updateWindowTitle();
    sample.histogramSlot = slot;
}

void Tessivane::toggleSampleHistogram(TW_Sample *item)
{
    for (int row = int(samplesData->samples.size()) - 1; row >= 0; --row) {
        SampleRecord *sample = samplesData->samples[row];
        if (!item || sample->item != item)
            continue;
        if (sample->histogramSlot < 0)
            openSampleHistogram(*sample);
        else
            histogramWindowClosed(sample->histogramSlot);
        return;
    }
}

bool Tessivane::histogramWindowIsActive() const
{
    for (HistogramSlot *entry : histogramSlots) {
        if (entry && entry->window && entry->window->isActiveWindow())
            return true;
    }
    return false;
}

void Tessivane::releaseHistogramSlots()
{
    for (HistogramSlot *&entry : histogramSlots) {
        delete entry;
        entry = nullptr;
    }
}

void Tessivane::retitleHistogramWindows()
{
    for (HistogramSlot *entry : std::as_const(histogramSlots)) {
        if (entry && entry->window) {
            entry->window->updateWindowTitle();
            entry->window->refreshHistogram();
        }
    }
}

QString Tessivane::histogramTitle()
{
    if (!image)
        return {};
    const kaldris_data_t &d = image->data();
    HistogramTexts::Shot shot{QString::fromLatin1(d.idata.make), QString::fromLatin1(d.idata.model),
                              d.other.iso_speed, d.other.shutter, d.other.aperture, exifMake, exifModel,
                              exifExposure, exifFNumber, exifIso};
    return HistogramTexts::histogramTitle(shot, mainPrefValue("HistogramTitleData"));
}

QString Tessivane::histogramModeStatus()
{
    if (!image)
        return {};
    const kaldris_data_t &d = image->data();
    HistogramTexts::Shot shot{QString::fromLatin1(d.idata.make), QString::fromLatin1(d.idata.model),
                              d.other.iso_speed, d.other.shutter, d.other.aperture, {}, {}, {}, {}, {}};
    return HistogramTexts::histogramModeStatus(shot, channelNames.names, channelNames.count, channelNames.isRGB,
                                               mainPrefValue("RGBGHistogramMode"));
}

void Tessivane::resetBlackLevelsFromFile()
{
    if (!image)
        return;
    RawLoader loader(prefPane, this);
    loader.resetBlackLevelsFromFile(*image, channelNames.count);
}

void Tessivane::nextFile()
{
    stepFile(1, tr("next"));
}

void Tessivane::prevFile()
{
    stepFile(-1, tr("previous"));
}

void Tessivane::stepFile(int step, const QString &word)
{
    const bool moveOnFailedLoad = mainPrefValue("moveOnFailedLoad") != 0;
    const QString loaded = image ? image->path : QString();
    if (loaded.isEmpty() && !(moveOnFailedLoad && !failedLoadPath.isEmpty()))
        return;
    const QString base = FolderStepper::stepBase(loaded, failedLoadPath, moveOnFailedLoad);
    if (base.isEmpty())
        return;
    const QString target =
        FolderStepper::stepTarget(base, step, FolderStepper::stepPatterns(mainPrefString("additionalExtensions")),
                                  mainPrefValue("fileSortOrder"));
    if (target.isEmpty()) {
        QApplication::beep();
        statusLabel->setText(FolderStepper::noFileText(word));
        QCoreApplication::processEvents();
        return;
    }
    if (isLoading()) {
        // Opened once the running load is over; it has not failed yet.
        openFile(target);
        return;
    }
    if (openFile(target)) {
        failedLoadPath.clear();
    } else if (moveOnFailedLoad) {
        failedLoadPath = target;
        statusLabel->setText(FolderStepper::failedToLoadText(target));
    }
}

void Tessivane::showLicense()
{
    QFile file(QStringLiteral(":/EULA.txt"));
    QString text;
    if (file.open(QIODevice::ReadOnly))
        text = QString::fromUtf8(file.readAll());
    TW_ScrollDialog dialog(text, tr("License and Copyright information"), this, 480, 250);
    dialog.exec();
}

void Tessivane::cameraList()
{
    QStringList names;
    const char **list = Kaldris::cameraList();
    for (int i = 0, n = Kaldris::cameraCount(); list && i < n && list[i]; ++i)
        names << QString::fromUtf8(list[i]);
    TW_ScrollDialog dialog(names.join(QStringLiteral("<br/>")), tr("Supported Cameras"), this, 480, 250);
    dialog.exec();
}

void Tessivane::openForum()
{
    const QUrl url = UpdateChecker::webPage("forumUrl");
    if (!url.isEmpty())
        updateChecker.openUrl(url);
}

void Tessivane::openSupport()
{
    const QUrl url = UpdateChecker::webPage("supportUrl");
    if (!url.isEmpty())
        updateChecker.openUrl(url);
}

void Tessivane::takeScreenshot()
{
    WindowScreenshot::take(this, currentFileName(), mainPrefValue("useNativeDialogs") != 0);
}

void Tessivane::exportFile()
{
    if (!image)
        return;
    // A file handed over meanwhile waits: the image is being written.
    const LoadScope scope(this);
    TiffExportContext context;
    context.image = image;
    context.names = &channelNames;
    context.channelIndex = channelCombo->currentIndex();
    context.rgbShown = rgbRadio->isChecked();
    context.compositeShown = compositeRadio->isChecked();
    context.pixels2x2 = mainPrefValue("pixels2x2") != 0;
    context.autoscale = mainPrefValue("autoscale") != 0;
    context.gamma = mainPrefValue("gamma22") != 0;
    context.srawYccMode = isSrawYccMode();
    context.filterExtremes = mainPrefValue("FilterExtremes") != 0;
    context.selection = selection;
    context.threads = {bandRows, idealThreads, parallelMinThreads};
    context.exifToolPath = mainPrefString("exifToolPath");
    context.workingFolder = QDir::currentPath();
    context.loadedFileName = currentFileName();
    context.lastFolder = lastFolder();
    context.writer = [this](const TiffExportJob &job, const QString &file, const ExportProgress &progress) {
        if (job.options.mode == TiffExportOptions::RgbRender)
            return writeRgbTiff(file, job, progress);
        return job.cfa ? writeRawTiff(file, job, progress) : writeLinearRawTiff(file, job, progress);
    };
    const QString path = TiffExportController::run(this, exportDialog, context);
    if (!path.isEmpty())
        setLastFolder(path);
}

TiffWriteResult Tessivane::writeRawTiff(const QString &path, const TiffExportJob &job, const ExportProgress &progress)
{
    return ::writeRawTiff(job.frame, job.options, path, progress);
}

TiffWriteResult Tessivane::writeLinearRawTiff(const QString &path, const TiffExportJob &job,
                                              const ExportProgress &progress)
{
    return ::writeLinearRawTiff(job.frame, job.options, path, progress);
}

TiffWriteResult Tessivane::writeRgbTiff(const QString &path, const TiffExportJob &job, const ExportProgress &progress)
{
    return ::writeRgbTiff(job.processed, job.options, path, progress);
}

void Tessivane::dumpCurve()
{
    if (image && dumpCurveAction->isEnabled() && image->curveBackup.size() >= size_t(RawImage::CurveSize))
        RawCurveDump::run(this, image->curveBackup.data(), mainPrefValue("useNativeDialogs") != 0);
}

void Tessivane::switchMainHistogramWindow()
{
    if (!image)
        return;
    if (mainHistogramSlot < 0) {
        mainHistogramSlot = openHistogramWindow(-1, -1, -1, -1, histogramEv0Level());
        histogramAction->setChecked(true);
    } else {
        histogramWindowClosed(mainHistogramSlot);
    }
}

void Tessivane::switchLogWindow()
{
    if (!samplesWindow)
        return;
    const bool show = !samplesWindow->isVisible();
    samplesWindow->setVisible(show);
    samplesAction->setChecked(show);
}

// ---------------------------------------------------------------- metadata

void Tessivane::startExifRead(const QString &path)
{
    const QString program = mainPrefString("exifToolPath");
    if (!ExifToolProgram::isUsable(program))
        return;
    // A child of the window only so that closing it ends the run.
    auto *process = new TW_ExifProcess(program, mainPrefString("exifToolOptions"), path, exifTimeoutMs, this);
    connect(process, &TW_ExifProcess::ev_exifread, this, &Tessivane::exif_readed);
    connect(process, &TW_ExifProcess::killme, process, &QObject::deleteLater);
    // The answer comes from the event loop, never from inside the start.
    if (!process->startRead()) {
        delete process;
        return;
    }
    QMutexLocker lock(&exifMutex);
    exifPending.insert(path, 1);
    exifWindow->showHtml(tr("Waiting for EXIF parsing"));
}

void Tessivane::exif_readed(const QString &output, const QString &filePath)
{
    if (!image) {
        QMutexLocker lock(&exifMutex);
        exifPending.remove(filePath);
        return;
    }
    const QString current = image->path;
    if (filePath != current) {
        bool currentPending = false;
        {
            QMutexLocker lock(&exifMutex);
            currentPending = exifPending.contains(current);
            exifPending.remove(filePath);
        }
        // The mutex is not recursive: the new read takes it itself.
        if (!currentPending)
            startExifRead(current);
        return;
    }
    QMutexLocker lock(&exifMutex);
    exifPending.remove(filePath);
    exifWindow->setTagLines(ExifTagLine::splitOutput(output));
    const ExifToolSummary summary = ExifToolSummary::read(exifWindow->tagLines());
    exifMake = summary.make;
    exifModel = summary.model;
    exifExposure = summary.exposure;
    exifFNumber = summary.fNumber;
    exifIso = summary.iso;
    const kaldris_data_t &d = image->data();
    // Long values are elided so the panels keep their widths; the tooltip
    // holds them whole.
    const QFontMetrics fm(metadataPanel.label->font());
    const int widest = fm.averageCharWidth() * MetadataPanelChars;
    bool elided = false;
    auto fit = [&](const QString &text) {
        const QString shown = fm.elidedText(text, Qt::ElideRight, widest);
        elided = elided || shown != text;
        return shown;
    };
    const QString panel = summary.panelHtml(RawImage::fixedText(d.idata.make), RawImage::fixedText(d.idata.model),
                                            double(d.other.iso_speed), fit);
    if (!panel.isEmpty()) {
        metadataPanel.label->setText(panel);
        metadataPanel.label->setToolTip(elided ? summary.panelHtml(RawImage::fixedText(d.idata.make),
                                                                   RawImage::fixedText(d.idata.model),
                                                                   double(d.other.iso_speed))
                                               : QString());
    }
    if (!d.idata.make[0] || !d.idata.model[0] || d.other.shutter == 0 || d.other.aperture == 0)
        updateHistogramWindowTitles();
    const bool tags = !exifWindow->tagLines().isEmpty();
    exifButton->setVisible(tags);
    exifButton->setEnabled(tags);
    exifAction->setEnabled(tags);
}

void Tessivane::showExif()
{
    if (exifWindow->isVisible()) {
        exifRect = exifWindow->normalGeometry();
    } else if (exifRect.width() > 10) {
        exifWindow->setGeometry(WindowGeometry::keepOnScreen(exifRect, availableScreenAreas()));
    }
    exifWindow->setModal(false);
    if (sender() == exifAction && exifWindow->isVisible()) {
        exifWindow->hide();
    } else {
        exifWindow->show();
        exifWindow->raise();
        exifWindow->activateWindow();
    }
    exifAction->setChecked(exifWindow->isVisible());
}

void Tessivane::switchGridDialog()
{
    if (gridDialog->isVisible()) {
        gridDialog->hide();
        selectionGridAction->setChecked(false);
        return;
    }
    gridDialog->show();
    gridDialog->placeOnce(geometry());
    gridDialog->raise();
    selectionGridAction->setChecked(true);
}

void Tessivane::selectionRemove()
{
    scene->removeSelection();
    selection = area_t();
    updateSelectionPanel();
}

void Tessivane::switchSelectionHistogram()
{
    if (selectionHistogramSlot >= 0) {
        histogramWindowClosed(selectionHistogramSlot);
        selectionHistogramAction->setChecked(false);
        return;
    }
    if (image && SelectionLimits::histogramAllowed(selection)) {
        selectionHistogramSlot = openHistogramWindow(selection.left, selection.top, selection.width,
                                                     selection.height, histogramEv0Level());
        selectionHistogramAction->setChecked(true);
    } else {
        selectionHistogramAction->setChecked(false);
    }
}

void Tessivane::selection2samples()
{
    if (!selection.width || !selection.height)
        return;
    const area_t area = selection;
    const int slot = selectionHistogramSlot;
    if (slot >= 0) {
        // The window goes with the sample; removing the selection must not close it.
        selectionHistogramSlot = -1;
        selectionHistogramAction->setChecked(false);
    }
    selectionRemove();
    samplesController->addSelectionSample(area, slot);
    updateSamplePanel();
}

void Tessivane::runManualSelection()
{
    if (image)
        manualSelection->runOnScene(scene, image->frameWidth, image->frameHeight);
}

void Tessivane::manualUpdateCheck()
{
    updateChecker.manualCheck(this);
}

void Tessivane::mouseMoved(QPointF point)
{
    if (!image || !scene->frameItem())
        return;
    const QPointF q = scene->frameItem()->mapFromScene(point);
    int x = 0, y = 0;
    if (!StatsHtml::pointerPixel(q.x(), q.y(), image->frameWidth, image->frameHeight, x, y))
        return;
    const std::array<int, 4> values = StatsHtml::pointerValues(image->frameView(channelNames.count), x, y,
                                                               mainPrefValue("cursor2x2") != 0, image->isBayerImage());
    pointerPanel.label->setText(StatsHtml::pointerHtml(channelNames.names, channelNames.count, values));
    cursorPosition[0] = x;
    cursorPosition[1] = y;
    pointerPanel.box->setTitle(StatsHtml::pointerTitle(x, y));
}

void Tessivane::selectionPlaced(area_t area)
{
    if (!image)
        return;
    selection = SelectionLimits::clampToFrame(area, image->frameWidth, image->frameHeight);
    updateSelectionPanel();
}

void Tessivane::samplerPlaced(area_t area)
{
    addSample(area, QString());
}

void Tessivane::updateManualSelection(int left, int top, int width, int height)
{
    scene->setSelectionRect(QRectF(left, top, width, height));
}

void Tessivane::someDownloaded(QByteArray data, int slot, QString error)
{
    if (slot == 1) {
        emit ev_fgUpdatesDownloaded(data, error);
    } else if (slot == 0) {
        // Its notice is modal: it waits until the load is over.
        if (isLoading())
            updateChecker.deferReply(data);
        else
            handleUpdateReply(data);
    }
}

void Tessivane::handleUpdateReply(const QByteArray &data)
{
    updateChecker.handleReply(data, this);
}

void Tessivane::storeUpdateCheckTime()
{
    updateChecker.storeCheckTime();
}

void Tessivane::runAnimation(int frame)
{
    samplesController->runAnimation(frame);
}

void Tessivane::clearSamplesAll()
{
    samplesController->clearSamplesAll();
}

void Tessivane::loadSamples()
{
    samplesController->loadSamples(mainPrefValue("sideBarsUrls"), lastFolder());
}

void Tessivane::removeSelectedSamples()
{
    samplesController->removeSelectedSamples();
}

void Tessivane::clipboardSelectedSamples()
{
    samplesController->clipboardSelectedSamples();
}

void Tessivane::histogramSelectedSamples()
{
    const QVector<int> rows = samplesData->selectedExistingRows();
    for (int i = int(rows.size()) - 1; i >= 0; --i) {
        SampleRecord *sample = samplesData->samples.value(rows[i]);
        if (sample && sample->histogramSlot < 0)
            openSampleHistogram(*sample);
    }
}

void Tessivane::saveSamplesProxy()
{
    samplesWindow->saveSamples(gridSampleIndices);
}

void Tessivane::samplesWindowAppendStatusChanged(bool append)
{
    gridDialog->openSaveDialogCheck->setEnabled(!append);
}

void Tessivane::samplesWindowClosed()
{
    samplesAction->setChecked(false);
}

void Tessivane::placeGridSelection()
{
    if (!image || !scene->frameItem())
        return;
    GridGeometry params;
    gridDialog->gridParameters(params);
    params.imageSize = QPointF(image->frameWidth, image->frameHeight);
    selectionRemove();
    const QRectF shown = scene->frameItem()->mapFromScene(view->mapToScene(view->viewport()->rect())).boundingRect();
    scene->placeGrid(params, shown & QRectF(0, 0, image->frameWidth, image->frameHeight));
    const GridPosition &loaded = gridDialog->loadedPosition();
    GridGeometry g;
    if (gridDialog->usePositionCheck->isChecked() && loaded.corners.size() == 4 && scene->gridGeometry(&g)) {
        const QSize now(image->frameWidth, image->frameHeight);
        const double sx = double(now.width()) / loaded.imageDimensions.width();
        const double sy = double(now.height()) / loaded.imageDimensions.height();
        const bool same = loaded.imageDimensions == now;
        g.corners.clear();
        for (const QPointF &c : loaded.corners)
            g.corners << (same ? c : QPointF(c.x() * sx, c.y() * sy));
        g.gridPosition = same ? loaded.centre : QPointF(loaded.centre.x() * sx, loaded.centre.y() * sy);
        scene->placeGrid(g, QRectF());
        scene->centreOnGrid();
    }
    gridDialog->updateControls(1);
    gridDialog->updateNames();
    showGridLimitsStatus();
    updateSelectionPanel();
}

void Tessivane::showGridLimitsStatus()
{
    // Corner drags that shrink cells are refused while they are below the
    // minimum; without a word every drag but growing would seem broken.
    const QString text = tr("Some cells are smaller than the minimum cell size: drag the corners outward "
                            "(Ctrl keeps the rectangle), or lower the minimum or raise the ROI size.");
    if (scene->gridMeetsLimits() || !scene->hasGrid()) {
        if (gridDialog->statusLabel->text() == text)
            gridDialog->statusLabel->clear();
    } else {
        gridDialog->statusLabel->setText(text);
    }
}

void Tessivane::removeGridSelection()
{
    scene->removeGrid();
    gridDialog->updateControls(0);
    showGridLimitsStatus();
    updateSelectionPanel();
}

void Tessivane::gridSelection2samples()
{
    GridGeometry g;
    if (!image || !scene->gridGeometry(&g))
        return;
    const QVector<int> combos{gridDialog->startCornerCombo->currentIndex(), gridDialog->walkOrderCombo->currentIndex(),
                              gridDialog->namingOrderCombo->currentIndex()};
    samplesController->addGridSamples(
        SamplesController::gridSampleCells(g.cellRois, g.cellNumbers, g.cellNames, g.gridPosition),
        gridDialog->clearOldSamplesCheck->isChecked(), combos,
        gridDialog->openSaveDialogCheck->isChecked() && gridDialog->openSaveDialogCheck->isEnabled());
}

void Tessivane::saveGridSettings()
{
    if (!gridDialog->isVisible())
        return;
    const QString path = askGridSettingsPath(
        true, GridSettingsFile::suggestedName(QDir::currentPath(), currentFileName()));
    if (!path.isEmpty())
        writeGridSettingsFile(path);
}

void Tessivane::writeGridSettingsFile(const QString &path)
{
    GridGeometry g;
    GridPosition position;
    const bool withPosition = image && scene->gridGeometry(&g) && g.columns >= 1 && g.rows >= 1;
    if (withPosition) {
        position.imageDimensions = QSize(image->frameWidth, image->frameHeight);
        position.corners = g.corners;
        position.centre = g.gridPosition;
    }
    QString error;
    if (!GridSettingsFile::writeFile(path, GridSettingsFile::write(gridDialog->gridSettings(),
                                                                    withPosition ? &position : nullptr), &error)) {
        QMessageBox::critical(gridDialog, tr("Could not write to file"),
                              tr("Could not write to file %1: %2").arg(QDir::toNativeSeparators(path), error),
                              QMessageBox::Ok);
        return;
    }
    gridDialog->statusLabel->setText(GridSettingsFile::savedStatusText(withPosition));
}

void Tessivane::loadGridSettings()
{
    if (!gridDialog->isVisible())
        return;
    const QString path = askGridSettingsPath(false, QDir::currentPath());
    if (path.isEmpty())
        return;
    applyGridSettingsFile(path);
}

QString Tessivane::askGridSettingsPath(bool saving, const QString &start)
{
    QFileDialog dialog(gridDialog, saving ? tr("Save Grid settings") : tr("Load Grid settings"), start,
                       GridSettingsFile::dialogFilter());
    if (saving) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("tgs"));
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!mainPrefValue("useNativeDialogs"))
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    TW_FileDialog::matchAllFilesForStarDotStar(&dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return saving ? GridSettingsFile::withSuffix(dialog.selectedFiles().first()) : dialog.selectedFiles().first();
}

void Tessivane::applyGridSettingsFile(const QString &path)
{
    GridSettings start = gridDialog->gridSettings();
    start.columns = start.rows = start.minCellWidth = start.minCellHeight = 0;
    start.roiRelativeSize = 1.0;
    const GridSettingsFile::LoadResult r = GridSettingsFile::load(GridSettingsFile::readFile(path), start);
    gridDialog->statusLabel->setText(r.statusText);
    if (!r.valid)
        return;
    gridDialog->setGridParameters(r.settings);
    gridDialog->setLoadedPosition(r.position);
}

void Tessivane::runBgUpdateCheck()
{
    if (updateChecker.periodicCheckDue(mainPrefValue("updatesCheckFreq")))
        backgroundCheckUpdates();
}

void Tessivane::backgroundCheckUpdates()
{
    updateChecker.backgroundCheck();
}

// ----------------------------------------------------------------- samples

bool Tessivane::checkUnsavedSamples(int changeOfFile)
{
    return samplesController->checkUnsavedSamples(changeOfFile, prefPane && mainPrefValue("warnUnsavedSamples"));
}

void Tessivane::addSample(area_t area, const QString &name)
{
    samplesController->addSample(area, name);
}

void Tessivane::sampleMoved(SampleRecord *record)
{
    samplesController->sampleMoved(record);
}

void Tessivane::removeSampleRow(int row)
{
    samplesController->removeSampleRow(row);
}

void Tessivane::removeSamplesOfKind(int kind)
{
    samplesController->removeSamplesOfKind(kind);
}

void Tessivane::removeSampleByItem(TW_Sample *item)
{
    samplesController->removeSampleByItem(item);
}

void Tessivane::rebuildSampleItems()
{
    samplesController->rebuildSampleItems();
}

void Tessivane::deleteSampleItems()
{
    samplesController->deleteSampleItems();
}

void Tessivane::dropSamplesOutsideImage()
{
    samplesController->dropSamplesOutsideImage();
}

void Tessivane::shiftSamples(int oldOriginRow, int oldOriginCol)
{
    if (!image)
        return;
    const int rows = oldOriginRow - image->frameOriginRow;
    const int columns = oldOriginCol - image->frameOriginCol;
    selection.top += rows;
    selection.left += columns;
    // As unsigned numbers: a corner that went negative is off the frame too.
    if (unsigned(image->frameWidth) < unsigned(selection.left) || unsigned(image->frameHeight) < unsigned(selection.top))
        selection = area_t();
    samplesController->shiftSamples(rows, columns);
}

void Tessivane::recomputeSampleStats()
{
    samplesController->recomputeSampleStats();
    refreshHistogramWindows();
}

void Tessivane::resetSampleHighlight()
{
    samplesController->resetSampleHighlight();
}

void Tessivane::computeRegionStats(RawImage *rawImage, const area_t &region, StatsBlock &out, int flags)
{
    if (!rawImage)
        return;
    ::computeRegionStats(rawImage->frameView(channelNames.count), region, out, flags, statsThreads(),
                         std::max(rawImage->dataRange, rawImage->currentMaximum));
}

void Tessivane::computeRegionStats(RawImage *rawImage, const QVector<SampleRecord *> &records, int flags)
{
    if (!rawImage || records.isEmpty())
        return;
    // One frame setup for the whole batch.
    const FrameView frame = rawImage->frameView(channelNames.count);
    const ThreadSettings threads = statsThreads();
    const unsigned limit = std::max(rawImage->dataRange, rawImage->currentMaximum);
    QVector<area_t> regions;
    QVector<StatsBlock *> outs;
    regions.reserve(records.size());
    outs.reserve(records.size());
    for (SampleRecord *r : records) {
        regions << r->area;
        outs << r;
    }
    computeRegionStatsMany(frame, regions, outs, flags, threads, limit);
}

ThreadSettings Tessivane::statsThreads() const
{
    ThreadSettings threads;
    threads.bandRows = bandRows;
    threads.idealThreads = idealThreads;
    threads.parallelMinThreads = parallelMinThreads;
    return threads;
}

void Tessivane::measureSamples(const QVector<SampleRecord *> &records)
{
    computeRegionStats(image, records, mainPrefValue("FilterExtremes") ? 1 : 0);
}

QGraphicsItem *Tessivane::sampleParentItem() const
{
    return scene ? scene->frameItem() : nullptr;
}

QSize Tessivane::sampleFrameSize() const
{
    return image ? QSize(image->frameWidth, image->frameHeight) : QSize();
}

void Tessivane::showSamplesWindow()
{
    if (samplesWindow && !samplesWindow->isVisible())
        switchLogWindow();
}

void Tessivane::closeSampleHistogram(int slot)
{
    histogramWindowClosed(slot);
}

void Tessivane::moveSampleHistogram(int slot, const area_t &area)
{
    setHistogramWindowArea(slot, area.left, area.top, area.width, area.height);
}

QRect Tessivane::samplesWindowStartGeometry()
{
    QList<QRect> screens;
    for (QScreen *s : QGuiApplication::screens())
        screens << s->geometry();
    if (mainPrefValue("saveWinPos")) {
        const QRect saved = TW_Settings("Preferences").value(QStringLiteral("samplesWindowGeometry")).toRect();
        if (WindowGeometry::acceptSamplesWindowRect(saved, screens))
            return WindowGeometry::keepOnScreen(saved, availableScreenAreas());
    }
    QScreen *screen = QGuiApplication::screenAt(QPoint(1, 1));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect placed = WindowGeometry::defaultSamplesWindowRect(screen ? screen->geometry() : QRect(0, 0, 1280, 1024));
    return WindowGeometry::keepOnScreen(placed, availableScreenAreas());
}
