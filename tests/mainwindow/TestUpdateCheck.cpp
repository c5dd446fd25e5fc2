#include "FakeUpdateService.h"
#include "MainWindowFixture.h"
#include "ModalDriver.h"
#include "TW_PrefPane.h"
#include "StoredPreference.h"
#include "TW_Settings.h"
#include "TW_UpdateDialog.h"
#include "TW_UpdateNotification.h"
#include "TW_updates.h"
#include "TestRegistry.h"
#include "Tessivane.h"
#include "UpdateProtocol.h"

#include <QDateTime>
#include <QLabel>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QPushButton>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>

#include <memory>

namespace {

QVariant storedCheckTime()
{
    return storedPreference(QStringLiteral("lastUpdatesCheck"));
}

quint64 now()
{
    return quint64(QDateTime::currentSecsSinceEpoch());
}

// What the manual check's dialog showed once it stopped waiting.
struct Shown {
    QString title;
    QString message;
    bool offeredDownload = false;
};

enum class Press { Ok, Download, Skip, Cancel };

}

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void requestCarriesTheQuery();
    void busySlotDropsTheSecondRequest();
    void manualCheck_data();
    void manualCheck();
    void failureFreesTheSlot_data();
    void failureFreesTheSlot();
    void cancelStoresNothing();
    void noServiceConfigured_data();
    void noServiceConfigured();
    void backgroundCheck_data();
    void backgroundCheck();
    void backgroundReplyWaitsForTheLoad();
    void startUpCheck();
    void periodicCheck();

private:
    std::unique_ptr<Tessivane> makeWindow();
    // Runs the manual check, presses `press` once the dialog has a result.
    Shown runManualCheck(Press press);

    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<FakeUpdateService> service;
    std::unique_ptr<Tessivane> window;
    QList<QUrl> opened;
};

void TestUpdateCheck::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
    // The local service is reached directly, whatever the machine's proxy.
    QNetworkProxyFactory::setUseSystemConfiguration(false);
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

std::unique_ptr<Tessivane> TestUpdateCheck::makeWindow()
{
    auto w = std::make_unique<Tessivane>();
    w->updates.proxyDone = true;
    w->updates.transferTimeout = 400;
    w->updateChecker.openUrl = [this](const QUrl &url) {
        opened << url;
        return true;
    };
    return w;
}

void TestUpdateCheck::init()
{
    opened.clear();
    service = std::make_unique<FakeUpdateService>();
    QVERIFY(service->isListening());
    setStoredPreference(QStringLiteral("lastUpdatesCheck"), QVariant());
    setStoredPreference(QStringLiteral("updatesCheckFreq"), 3);
    setStoredPreference(QStringLiteral("updatesCheckUrl"), service->address());
    window = makeWindow();
}

void TestUpdateCheck::cleanup()
{
    window.reset();
    service.reset();
}

Shown TestUpdateCheck::runManualCheck(Press press)
{
    Shown shown;
    const bool inTime = ModalDriver::run([this]() { window->manualUpdateCheck(); },
                                         [&](QWidget *w) {
                                             auto *d = qobject_cast<TW_UpdateDialog *>(w);
                                             if (!d)
                                                 return;
                                             const bool waiting = d->cancelButton->isVisible();
                                             if (press == Press::Cancel) {
                                                 if (service->connections > 0)
                                                     d->cancelButton->click();
                                                 return;
                                             }
                                             if (waiting)
                                                 return;
                                             shown.title = d->windowTitle();
                                             shown.message = d->messageLabel->text();
                                             shown.offeredDownload = d->downloadButton->isVisible();
                                             QPushButton *b = press == Press::Download ? d->downloadButton
                                                              : press == Press::Skip   ? d->skipButton
                                                                                       : d->okButton;
                                             if (b->isVisible())
                                                 b->click();
                                         });
    if (!inTime)
        shown.title = QStringLiteral("(no result in time)");
    return shown;
}

void TestUpdateCheck::requestCarriesTheQuery()
{
    TW_updates updates;
    updates.proxyDone = true;
    service->body = "UPDATES NO";
    const QString os = QStringLiteral("Debian GNU/Linux 12 (bookworm) & #1+x 100%");
    QSignalSpy done(&updates, &TW_updates::ev_downloaded);
    updates.request(updateRequestUrl(service->address(), os), 0);
    QVERIFY(updates.isBusy(0));
    QVERIFY(done.wait(5000));
    QCOMPARE(done.first().at(0).toByteArray(), QByteArray("UPDATES NO"));
    QCOMPARE(done.first().at(1).toInt(), 0);
    QCOMPARE(done.first().at(2).toString(), QString());
    QVERIFY(!updates.isBusy(0));

    QCOMPARE(service->lastPath, QStringLiteral("/service/checkupdates.php"));
    const QMap<QString, QString> expected{{"version", "1064978"},
                                          {"lang", "EN"},
                                          {"platform", "linux"},
                                          {"arch", QSysInfo::buildCpuArchitecture()},
                                          {"ver", os}};
    QCOMPARE(service->lastQuery, expected);
}

void TestUpdateCheck::busySlotDropsTheSecondRequest()
{
    TW_updates updates;
    updates.proxyDone = true;
    service->body = "UPDATES NO";
    const QUrl url = updateRequestUrl(service->address(), QStringLiteral("os"));
    QSignalSpy done(&updates, &TW_updates::ev_downloaded);
    updates.request(url, 1);
    updates.request(url, 1);
    QVERIFY(done.wait(5000));
    QTest::qWait(100);
    QCOMPARE(done.size(), 1);
    QCOMPARE(service->connections, 1);
    // Free again: the next one goes out.
    updates.request(url, 1);
    QVERIFY(done.wait(5000));
    QCOMPARE(service->connections, 2);
}

void TestUpdateCheck::manualCheck_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("press");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("openedUrl");

    const QString newVersion = QStringLiteral("Tessivane: new version available");
    const QString upToDate = QStringLiteral("Tessivane: up to date");
    const QString upToDateText = QStringLiteral("Your Tessivane is up to date");
    const QString failed = QStringLiteral("Tessivane: update check failed");
    const QByteArray update = "UPDATES YES VERSION 1.5 URL http://h/p";

    QTest::newRow("new version, open") << 200 << update << int(Press::Download) << newVersion
                                       << "Tessivane update (<b>1.5</b>) available." << "http://h/p";
    QTest::newRow("new version, skip") << 200 << update << int(Press::Skip) << newVersion
                                       << "Tessivane update (<b>1.5</b>) available." << "";
    QTest::newRow("NO") << 200 << QByteArray("UPDATES NO VERSION 1.5 URL http://h/p") << int(Press::Ok)
                        << upToDate << upToDateText << "";
    QTest::newRow("empty 2xx") << 204 << QByteArray() << int(Press::Ok) << upToDate << upToDateText << "";
    QTest::newRow("404") << 404 << update << int(Press::Ok) << failed << "Update check failed: " << "";
    QTest::newRow("500") << 500 << update << int(Press::Ok) << failed << "Update check failed: " << "";
    // Addresses that are not http or https: the news without a button.
    QTest::newRow("file URL not opened") << 200 << QByteArray("UPDATES YES VERSION 2 URL file:///etc/passwd")
                                         << int(Press::Ok) << newVersion
                                         << "Tessivane update (<b>2</b>) available." << "";
    QTest::newRow("one-character URL not opened") << 200 << QByteArray("UPDATES YES VERSION 2 URL x")
                                                  << int(Press::Ok) << newVersion
                                                  << "Tessivane update (<b>2</b>) available." << "";
    QTest::newRow("version shown literally")
        << 200 << QByteArray("UPDATES YES VERSION <i>x</i> URL http://h/p") << int(Press::Skip) << newVersion
        << "Tessivane update (<b>&lt;i&gt;x&lt;/i&gt;</b>) available." << "";
}

void TestUpdateCheck::manualCheck()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, press);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, openedUrl);
    const QString newVersion = QStringLiteral("Tessivane: new version available");

    service->status = status;
    service->body = body;
    const quint64 before = now();
    const Shown shown = runManualCheck(Press(press));
    QCOMPARE(shown.title, title);
    QCOMPARE(shown.offeredDownload, title == newVersion && isWebAddress(QString::fromLatin1(body.split(' ').last())));
    if (message.endsWith(QLatin1String(": ")))
        QVERIFY2(shown.message.startsWith(message) && shown.message.size() > message.size(), qPrintable(shown.message));
    else
        QCOMPARE(shown.message, message);
    QCOMPARE(service->connections, 1);
    QCOMPARE(service->lastQuery.value(QStringLiteral("ver")), osVersionText());
    QCOMPARE(service->lastQuery.value(QStringLiteral("version")), QStringLiteral("1064978"));
    QCOMPARE(opened, openedUrl.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(openedUrl)});
    QVERIFY(!window->updates.isBusy(1));
    const QVariant stored = storedCheckTime();
    QVERIFY(stored.isValid());
    QVERIFY(stored.toULongLong() >= before && stored.toULongLong() <= now());
}

void TestUpdateCheck::failureFreesTheSlot_data()
{
    QTest::addColumn<bool>("closedPort");
    QTest::addColumn<bool>("silent");
    QTest::newRow("closed port") << true << false;
    QTest::newRow("silent server") << false << true;
}

void TestUpdateCheck::failureFreesTheSlot()
{
    QFETCH(bool, closedPort);
    QFETCH(bool, silent);

    if (closedPort) {
        FakeUpdateService gone;
        setStoredPreference(QStringLiteral("updatesCheckUrl"), gone.address());
    }
    service->silent = silent;
    const Shown shown = runManualCheck(Press::Ok);
    QCOMPARE(shown.title, QStringLiteral("Tessivane: update check failed"));
    QVERIFY2(shown.message.startsWith(QStringLiteral("Update check failed: ")), qPrintable(shown.message));
    QVERIFY(!window->updates.isBusy(1));

    setStoredPreference(QStringLiteral("updatesCheckUrl"), service->address());
    service->silent = false;
    service->body = "UPDATES NO";
    const int before = service->connections;
    QCOMPARE(runManualCheck(Press::Ok).title, QStringLiteral("Tessivane: up to date"));
    QCOMPARE(service->connections, before + 1);
}

void TestUpdateCheck::cancelStoresNothing()
{
    service->silent = true;
    window->updates.transferTimeout = TW_updates::DefaultTransferTimeout;
    runManualCheck(Press::Cancel);
    QCOMPARE(service->connections, 1);
    QVERIFY(!window->updates.isBusy(1));
    QVERIFY(!storedCheckTime().isValid());
    QVERIFY(opened.isEmpty());
}

void TestUpdateCheck::noServiceConfigured_data()
{
    QTest::addColumn<QVariant>("address");
    QTest::newRow("absent") << QVariant();
    QTest::newRow("empty") << QVariant(QString());
    QTest::newRow("not a URL") << QVariant(QStringLiteral("checkupdates.php"));
    QTest::newRow("ftp") << QVariant(QStringLiteral("ftp://127.0.0.1/checkupdates.php"));
}

void TestUpdateCheck::noServiceConfigured()
{
    QFETCH(QVariant, address);
    setStoredPreference(QStringLiteral("updatesCheckUrl"), address);

    const Shown shown = runManualCheck(Press::Ok);
    QCOMPARE(shown.title, QStringLiteral("Tessivane: update check"));
    QCOMPARE(shown.message, QStringLiteral("No update service is configured."));
    QVERIFY(!shown.offeredDownload);

    window->backgroundCheckUpdates();
    QVERIFY(!window->updates.isBusy(0));
    QTest::qWait(50);
    QCOMPARE(service->connections, 0);
    QVERIFY(!storedCheckTime().isValid());
}

void TestUpdateCheck::backgroundCheck_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("pressOpen");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("openedUrl");

    const QByteArray update = "UPDATES YES VERSION 1.5 URL https://h/p";
    const QString text = QStringLiteral("Tessivane update (<b>1.5</b>) available.");
    QTest::newRow("update, open") << 200 << update << true << text << "https://h/p";
    QTest::newRow("update, skip") << 200 << update << false << text << "";
    QTest::newRow("escaped version") << 200 << QByteArray("UPDATES YES VERSION <i>x</i> URL https://h/p") << false
                                     << "Tessivane update (<b>&lt;i&gt;x&lt;/i&gt;</b>) available." << "";
    QTest::newRow("file URL") << 200 << QByteArray("UPDATES YES VERSION 2 URL file:///etc/passwd") << true
                              << "Tessivane update (<b>2</b>) available." << "";
    QTest::newRow("up to date") << 200 << QByteArray("UPDATES NO") << false << "" << "";
    QTest::newRow("failure") << 500 << update << false << "" << "";
}

void TestUpdateCheck::backgroundCheck()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(bool, pressOpen);
    QFETCH(QString, notice);
    QFETCH(QString, openedUrl);
    const QString newVersion = QStringLiteral("Tessivane: new version available");

    service->status = status;
    service->body = body;
    QString shownText;
    QString shownTitle;
    const quint64 before = now();
    ModalDriver::run(
        [&]() {
            window->backgroundCheckUpdates();
            QTRY_VERIFY_WITH_TIMEOUT(storedCheckTime().isValid(), 5000);
        },
        [&](QWidget *w) {
            auto *n = qobject_cast<TW_UpdateNotification *>(w);
            if (!n)
                return;
            shownTitle = n->windowTitle();
            shownText = n->messageLabel->text();
            (pressOpen ? n->downloadButton : n->skipButton)->click();
        });
    QCOMPARE(shownText, notice);
    QCOMPARE(service->lastQuery.value(QStringLiteral("ver")), osVersionText());
    if (!notice.isEmpty())
        QCOMPARE(shownTitle, QStringLiteral("Tessivane: new version available"));
    QCOMPARE(opened, openedUrl.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(openedUrl)});
    QVERIFY(storedCheckTime().toULongLong() >= before);
    QVERIFY(!window->updates.isBusy(0));
}

namespace {

// Hands the background check's reply over while a file loads.
class LoadingWindow : public Tessivane
{
public:
    QByteArray reply;
    void showStatus(const QString &text) override
    {
        Tessivane::showStatus(text);
        if (!reply.isEmpty()) {
            const QByteArray data = reply;
            reply.clear();
            someDownloaded(data, 0);
        }
    }
};

}

void TestUpdateCheck::backgroundReplyWaitsForTheLoad()
{
    const QString file = fixture->writeDng(QStringLiteral("update-during-load.dng"), {{64, 48, 300}});
    QVERIFY(!file.isEmpty());
    auto *w = new LoadingWindow;
    window.reset(w);
    w->updateChecker.openUrl = [this](const QUrl &url) {
        opened << url;
        return true;
    };
    w->reply = "UPDATES YES VERSION 1.5 URL http://h/p";
    int notices = 0;
    bool shownWhileLoading = false;
    ModalDriver::run(
        [&]() {
            QVERIFY(w->openFile(file));
            QVERIFY(!storedCheckTime().isValid());
            QTRY_VERIFY_WITH_TIMEOUT(storedCheckTime().isValid(), 5000);
        },
        [&](QWidget *dialog) {
            if (auto *n = qobject_cast<TW_UpdateNotification *>(dialog)) {
                ++notices;
                shownWhileLoading = shownWhileLoading || w->isLoading();
                n->downloadButton->click();
            }
        });
    QCOMPARE(notices, 1);
    QVERIFY(!shownWhileLoading);
    QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("http://h/p"))});
}

void TestUpdateCheck::startUpCheck()
{
    window.reset();
    service->body = "UPDATES NO";
    setStoredPreference(QStringLiteral("updatesCheckFreq"), 0);
    setStoredPreference(QStringLiteral("lastUpdatesCheck"), now() - 21700);
    window = makeWindow();
    QTest::qWait(4000);
    QCOMPARE(service->connections, 0);
    QTRY_COMPARE_WITH_TIMEOUT(service->connections, 1, 4000);
    QTRY_VERIFY_WITH_TIMEOUT(storedCheckTime().toULongLong() + 60 > now(), 3000);
}

void TestUpdateCheck::periodicCheck()
{
    service->body = "UPDATES NO";
    const quint64 day = 86400;
    const quint64 clock = 2000000000;
    window->updateChecker.clock = [clock]() { return clock; };
    window->prefPane->setPrefValue(QStringLiteral("updatesCheckFreq"), 3);
    setStoredPreference(QStringLiteral("lastUpdatesCheck"), clock - 7 * day);
    window->runBgUpdateCheck();
    QVERIFY(!window->updates.isBusy(0));

    setStoredPreference(QStringLiteral("lastUpdatesCheck"), clock - 7 * day - 1);
    window->runBgUpdateCheck();
    QVERIFY(window->updates.isBusy(0));
    QTRY_COMPARE_WITH_TIMEOUT(storedCheckTime().toULongLong(), clock, 5000);
    QCOMPARE(service->connections, 1);

    // "On program start" never checks periodically.
    window->prefPane->setPrefValue(QStringLiteral("updatesCheckFreq"), 0);
    setStoredPreference(QStringLiteral("lastUpdatesCheck"), 0);
    window->runBgUpdateCheck();
    QVERIFY(!window->updates.isBusy(0));
}

TW_REGISTER_TEST(TestUpdateCheck)
#include "TestUpdateCheck.moc"
