// The update check's flow around the downloader: when the background checks
// run, what a reply shows, the manual check's dialog, the stored time of the
// last check. It also opens the Help menu's web pages: the clock and the
// desktop's URL opener are replaceable, so tests open no browser.
#ifndef UPDATECHECKER_H
#define UPDATECHECKER_H

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class Tessivane;
class TW_updates;
class QWidget;

class UpdateChecker
{
public:
    explicit UpdateChecker(TW_updates *downloader);

    TW_updates *downloader;
    std::function<quint64()> clock;
    std::function<bool(const QUrl &)> openUrl;

    // From "updatesCheckUrl"; empty when it is not a web address.
    QUrl requestUrl() const;
    // "lastUpdatesCheck", 0 when absent.
    quint64 lastCheck() const;
    void storeCheckTime();
    bool startUpCheckDue(int frequencyIndex) const;
    bool periodicCheckDue(int frequencyIndex) const;

    void backgroundCheck();
    // A background reply: the notice when it names a download page, then
    // the time is stored, also after a failure.
    void handleReply(const QByteArray &data, QWidget *parent);
    // A background reply held while a file loads.
    void deferReply(const QByteArray &data) { deferred = data; }
    bool hasDeferredReply() const { return deferred.has_value(); }
    QByteArray takeDeferredReply();

    void manualCheck(Tessivane *window);

    // A page address kept in "Preferences" under `key`; empty unless it is
    // a web address.
    static QUrl webPage(const char *key);

private:
    // The service's download address, used only when it is a web address.
    void openDownloadPage(const QString &address);

    std::optional<QByteArray> deferred;
};

#endif
