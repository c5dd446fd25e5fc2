#include "DisplayControls.h"
#include "HistogramSlot.h"
#include "Kaldris.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "TW_ExifWindow.h"
#include "TW_PrefPane.h"
#include "TW_ScrollDialog.h"
#include "StoredPreference.h"
#include "TW_Settings.h"
#include "TestRegistry.h"
#include "Tessivane.h"
#include "TessivaneHistogramWindow.h"
#include "TessivaneSampleWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

#include <memory>

class TestLifeCycle : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void closeInFullScreenKeepsTheNormalGeometry();
    void storedBrightenValue_data();
    void storedBrightenValue();
    void brightenSurvivesARestart();
    void minimiseTakesVisibleToolWindowsAlong_data();
    void minimiseTakesVisibleToolWindowsAlong();
    void minimiseWithThePreferenceOff();
    void toolWindowDeletedWhileMinimizedIsSkipped();
    void histogramClosedWhileMinimizedIsSkipped();
    void closeStoresEveryHistogramPlace();
    void destructorWithOpenHistograms();
    void cameraListShowsEveryCamera();
    void licenceDialog();
    void scrollDialogEnds();
    void webPages_data();
    void webPages();
    void accessors();

private:
    // Opens a file and three histogram windows: the whole image, the
    // selection's and one more area's.
    void openThreeHistograms();

    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
};

namespace {

// The text and title of the scroll dialog that `work` runs, ended with OK.
struct ScrollShown {
    QString title;
    QString text;
    int minWidth = 0;
};

ScrollShown runScrollDialog(const std::function<void()> &work)
{
    ScrollShown shown;
    ModalDriver::run(work, [&](QWidget *w) {
        if (auto *d = qobject_cast<TW_ScrollDialog *>(w)) {
            shown.title = d->windowTitle();
            shown.text = d->textLabel->text();
            shown.minWidth = d->scrollArea->minimumWidth();
            d->okButton->click();
        }
    });
    return shown;
}

}

void TestLifeCycle::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
}

void TestLifeCycle::init()
{
    for (const char *key : {"mainWindowGeometry", "mainWindowMaximized", "mainWindowFullscreen", "forumUrl",
                            "supportUrl"})
        setStoredPreference(QString::fromLatin1(key), QVariant());
    window = std::make_unique<Tessivane>();
}

void TestLifeCycle::cleanup()
{
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestLifeCycle::closeInFullScreenKeepsTheNormalGeometry()
{
    window->show();
    window->setGeometry(120, 90, 900, 640);
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QRect normal = window->normalGeometry();
    window->switchFullScreen();
    QVERIFY(window->isFullScreen());
    QVERIFY(window->fullScreenAction->isChecked());

    QVERIFY(window->close());
    QCOMPARE(storedPreference(QStringLiteral("mainWindowFullscreen")).toBool(), true);
    QCOMPARE(storedPreference(QStringLiteral("mainWindowMaximized")).toBool(), false);
    QCOMPARE(storedPreference(QStringLiteral("mainWindowGeometry")).toRect(), normal);

    // The next start shows it as left.
    window = std::make_unique<Tessivane>();
    window->showAsLastSaved();
    QVERIFY(window->isFullScreen());
    QCOMPARE(window->normalGeometry(), normal);
}

void TestLifeCycle::storedBrightenValue_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("stored");
    QTest::newRow("1.239 truncated") << 1.239 << 123;
    QTest::newRow("1.15") << 1.15 << 115;
    QTest::newRow("1.14") << 1.14 << 114;
    QTest::newRow("0.29") << 0.29 << 29;
    QTest::newRow("2.5") << 2.5 << 250;
    QTest::newRow("3") << 3.0 << 300;
    QTest::newRow("0") << 0.0 << 0;
}

void TestLifeCycle::storedBrightenValue()
{
    QFETCH(double, value);
    QFETCH(int, stored);
    QCOMPARE(DisplayControls::storedBrightenValue(value), stored);
}

void TestLifeCycle::brightenSurvivesARestart()
{
    window->brightenCheck->setChecked(true);
    window->brightenSpin->setValue(1.14);
    QVERIFY(window->close());
    {
        const TW_Settings lastUsed("LastUsed");
        QCOMPARE(lastUsed.value(QStringLiteral("brightenValue")).toInt(), 114);
        QCOMPARE(lastUsed.value(QStringLiteral("brightenOn")).toBool(), true);
    }
    window = std::make_unique<Tessivane>();
    QCOMPARE(window->brightenSpin->value(), 1.14);
    QVERIFY(window->close());
    window = std::make_unique<Tessivane>();
    QCOMPARE(window->brightenSpin->value(), 1.14);
}

void TestLifeCycle::minimiseTakesVisibleToolWindowsAlong_data()
{
    QTest::addColumn<bool>("exifShown");
    QTest::addColumn<bool>("samplesShown");
    QTest::newRow("hidden EXIF, samples shown") << false << true;
    QTest::newRow("EXIF shown, hidden samples") << true << false;
    QTest::newRow("both shown") << true << true;
}

void TestLifeCycle::minimiseTakesVisibleToolWindowsAlong()
{
    QFETCH(bool, exifShown);
    QFETCH(bool, samplesShown);

    window->prefPane->setPrefValue(QStringLiteral("onMainWindowMinimize"), 1);
    window->show();
    QWidget *tools[2] = {window->exifWindow, window->samplesWindow};
    const bool shown[2] = {exifShown, samplesShown};
    // Each comes back in its own earlier state.
    const Qt::WindowStates earlier[2] = {Qt::WindowNoState, Qt::WindowMaximized};
    for (int i = 0; i < 2; ++i) {
        if (shown[i]) {
            tools[i]->show();
            tools[i]->setWindowState(earlier[i]);
        }
    }

    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    QCOMPARE(window->minimizedToolWindows.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(tools[i]->isMinimized(), shown[i]);
        QCOMPARE(tools[i]->isVisible(), shown[i]);
        QCOMPARE(window->minimizedToolWindows[i].window.data(), shown[i] ? tools[i] : nullptr);
    }

    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(tools[i]->isVisible(), shown[i]);
        if (shown[i])
            QCOMPARE(tools[i]->windowState(), earlier[i]);
    }
    QVERIFY(window->minimizedToolWindows.isEmpty());
}

void TestLifeCycle::minimiseWithThePreferenceOff()
{
    window->prefPane->setPrefValue(QStringLiteral("onMainWindowMinimize"), 0);
    window->show();
    window->samplesWindow->show();
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    QVERIFY(window->isMinimized());
    QVERIFY(!window->samplesWindow->isMinimized());
    QVERIFY(window->minimizedToolWindows.isEmpty());
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    QVERIFY(!window->samplesWindow->isMinimized());
}

void TestLifeCycle::toolWindowDeletedWhileMinimizedIsSkipped()
{
    window->prefPane->setPrefValue(QStringLiteral("onMainWindowMinimize"), 1);
    window->show();
    window->samplesWindow->show();
    auto *extra = new QDialog;
    window->toolWindowMinimizer.addToolWindow(extra);
    extra->show();

    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    QVERIFY(extra->isMinimized());
    QCOMPARE(window->minimizedToolWindows.size(), 3);
    delete extra;   // closed meanwhile, from the taskbar
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    QVERIFY(!window->samplesWindow->isMinimized());
    QCOMPARE(window->toolWindowMinimizer.toolWindows().size(), 2);
}

void TestLifeCycle::openThreeHistograms()
{
    const QString file = fixture->writeDng(QStringLiteral("histograms.dng"), {{320, 240, 300}});
    QVERIFY(window->openFile(file));
    window->switchMainHistogramWindow();
    window->selectionPlaced(area_t{20, 10, 100, 50});
    window->switchSelectionHistogram();
    window->openHistogramWindow(5, 5, 40, 30, 0);
    QCOMPARE(window->histogramSlots.size(), 3);
    for (HistogramSlot *entry : std::as_const(window->histogramSlots))
        QVERIFY(entry && entry->window && entry->window->isVisible());
}

void TestLifeCycle::histogramClosedWhileMinimizedIsSkipped()
{
    openThreeHistograms();
    window->prefPane->setPrefValue(QStringLiteral("onMainWindowMinimize"), 1);
    window->show();
    QPointer<TessivaneHistogramWindow> closed = window->histogramSlots[1]->window;
    TessivaneHistogramWindow *kept = window->histogramSlots[2]->window;

    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    QVERIFY(closed->isMinimized() && kept->isMinimized());
    // Closed from the taskbar while the main window is down.
    closed->close();
    QVERIFY(!window->histogramSlots[1]);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!closed);

    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    QVERIFY(!kept->isMinimized());
    QVERIFY(kept->isVisible());
    QVERIFY(window->minimizedToolWindows.isEmpty());
}

void TestLifeCycle::closeStoresEveryHistogramPlace()
{
    openThreeHistograms();
    window->show();
    QList<QRect> places;
    for (int i = 0; i < 3; ++i) {
        const QRect place(60 + 30 * i, 40 + 20 * i, 300 + 10 * i, 200 + 10 * i);
        window->histogramSlots[i]->window->setGeometry(place);
        places << window->histogramSlots[i]->window->normalGeometry();
    }
    QVERIFY(window->close());
    QCOMPARE(storedPreference(QStringLiteral("histogramWinGeometry_count")).toInt(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(storedPreference(QStringLiteral("histogramWinGeometry_%1").arg(i)).toRect(), places[i]);
    for (int i = 0; i < 3; ++i)
        setStoredPreference(QStringLiteral("histogramWinGeometry_%1").arg(i), QVariant());
    setStoredPreference(QStringLiteral("histogramWinGeometry_count"), QVariant());
}

void TestLifeCycle::destructorWithOpenHistograms()
{
    openThreeHistograms();
    QList<QPointer<TessivaneHistogramWindow>> windows;
    for (HistogramSlot *entry : std::as_const(window->histogramSlots))
        windows << entry->window;
    // Each slot goes once, through its own destructor (a second delete
    // would stop the sanitizer run).
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const QPointer<TessivaneHistogramWindow> &w : windows)
        QVERIFY(!w);
    window = std::make_unique<Tessivane>();
}

void TestLifeCycle::cameraListShowsEveryCamera()
{
    const ScrollShown shown = runScrollDialog([this]() { window->cameraList(); });
    QCOMPARE(shown.title, QStringLiteral("Supported Cameras"));
    QCOMPARE(shown.minWidth, 480);
    const QStringList lines = shown.text.split(QStringLiteral("<br/>"));
    QCOMPARE(lines.size(), Kaldris::cameraCount());
    QVERIFY(Kaldris::cameraCount() > 0);
    const char **names = Kaldris::cameraList();
    for (int i = 0; i < Kaldris::cameraCount(); ++i)
        QCOMPARE(lines[i], QString::fromUtf8(names[i]));
}

void TestLifeCycle::licenceDialog()
{
    QFile resource(QStringLiteral(":/EULA.txt"));
    QVERIFY(resource.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(resource.readAll());
    QVERIFY(text.contains(QStringLiteral("Kaldris LLC")));
    const ScrollShown shown = runScrollDialog([this]() { window->showLicense(); });
    QCOMPARE(shown.title, QStringLiteral("License and Copyright information"));
    QCOMPARE(shown.text, text);
}

void TestLifeCycle::scrollDialogEnds()
{
    TW_ScrollDialog dialog(QStringLiteral("text"), QStringLiteral("title"), window.get(), 480, 250);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(dialog.okButton->isDefault());
    int result = -1;
    ModalDriver::run([&]() { result = dialog.exec(); },
                     [&](QWidget *w) {
                         if (w == &dialog)
                             dialog.okButton->click();
                     });
    QCOMPARE(result, 1);

    // Shown without a modal loop, OK only hides it.
    dialog.setModal(false);
    dialog.show();
    dialog.okButton->click();
    QVERIFY(!dialog.isVisible());
}

void TestLifeCycle::webPages_data()
{
    QTest::addColumn<QVariant>("forum");
    QTest::addColumn<QVariant>("support");
    QTest::addColumn<bool>("forumOn");
    QTest::addColumn<bool>("supportOn");

    QTest::newRow("none") << QVariant() << QVariant() << false << false;
    QTest::newRow("both") << QVariant("https://forum.example/t") << QVariant("http://help.example/") << true << true;
    QTest::newRow("not web pages") << QVariant("file:///etc/passwd") << QVariant("x") << false << false;
}

void TestLifeCycle::webPages()
{
    QFETCH(QVariant, forum);
    QFETCH(QVariant, support);
    QFETCH(bool, forumOn);
    QFETCH(bool, supportOn);

    setStoredPreference(QStringLiteral("forumUrl"), forum);
    setStoredPreference(QStringLiteral("supportUrl"), support);
    window = std::make_unique<Tessivane>();
    QList<QUrl> opened;
    window->updateChecker.openUrl = [&opened](const QUrl &url) {
        opened << url;
        return true;
    };
    QCOMPARE(window->forumAction->isEnabled(), forumOn);
    QCOMPARE(window->supportAction->isEnabled(), supportOn);
    window->openForum();
    window->openSupport();
    QList<QUrl> expected;
    if (forumOn)
        expected << QUrl(forum.toString());
    if (supportOn)
        expected << QUrl(support.toString());
    QCOMPARE(opened, expected);
}

void TestLifeCycle::accessors()
{
    QCOMPARE(fileNameOf(QStringLiteral("/a/b/c.dng")), QStringLiteral("c.dng"));
    QCOMPARE(fileNameOf(QStringLiteral("c.dng")), QStringLiteral("c.dng"));
    QCOMPARE(fileNameOf(QString()), QString());
    QVERIFY(window->canonicalRawFilePath().isEmpty());
    QVERIFY(window->cameraVendorText().isEmpty());
    QVERIFY(window->cameraModelText().isEmpty());

    const QString file = fixture->writeDng(QStringLiteral("accessors.dng"), {{64, 48, 300}});
    QVERIFY(window->openFile(fixture->path(QStringLiteral("./accessors.dng"))));
    QCOMPARE(window->canonicalRawFilePath(), QFileInfo(file).canonicalFilePath());
    QCOMPARE(window->cameraVendorText(), QStringLiteral("Kaldris"));
    QCOMPARE(window->cameraModelText(), QStringLiteral("Test Camera"));
    // An RGGB mosaic: R, G, B and G2.
    QVERIFY(window->isFourChannelRgb());
    window->channelNames.setFromDescription(3, "RGB");
    QVERIFY(!window->isFourChannelRgb());
    window->channelNames.setFromDescription(4, "CMYG");
    window->channelNames.isRGB = false;
    QVERIFY(!window->isFourChannelRgb());
}

TW_REGISTER_TEST(TestLifeCycle)
#include "TestLifeCycle.moc"
