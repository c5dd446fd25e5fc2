#include "UpdateChecker.h"

#include "TW_Settings.h"
#include "TW_UpdateDialog.h"
#include "TW_UpdateNotification.h"
#include "TW_updates.h"
#include "Tessivane.h"
#include "UpdateProtocol.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QPushButton>

UpdateChecker::UpdateChecker(TW_updates *downloader)
    : downloader(downloader), clock([] { return quint64(QDateTime::currentSecsSinceEpoch()); }),
      openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

QUrl UpdateChecker::requestUrl() const
{
    const TW_Settings prefs("Preferences");
    return updateRequestUrl(prefs.value(QStringLiteral("updatesCheckUrl")).toString().trimmed(), osVersionText());
}

quint64 UpdateChecker::lastCheck() const
{
    const TW_Settings prefs("Preferences");
    return prefs.value(QStringLiteral("lastUpdatesCheck"), 0).toULongLong();
}

void UpdateChecker::storeCheckTime()
{
    TW_Settings prefs("Preferences");
    prefs.setValue(QStringLiteral("lastUpdatesCheck"), clock());
}

bool UpdateChecker::startUpCheckDue(int frequencyIndex) const
{
    return ::startUpCheckDue(frequencyIndex, lastCheck(), clock());
}

bool UpdateChecker::periodicCheckDue(int frequencyIndex) const
{
    return ::periodicCheckDue(frequencyIndex, lastCheck(), clock());
}

void UpdateChecker::backgroundCheck()
{
    const QUrl url = requestUrl();
    if (!url.isEmpty())
        downloader->request(url, 0);
}

void UpdateChecker::handleReply(const QByteArray &data, QWidget *parent)
{
    const QMap<QString, QString> reply = parseUpdateReply(data);
    if (reply.contains(QStringLiteral("URL"))) {
        TW_UpdateNotification notice(reply.value(QStringLiteral("VERSION")), parent);
        // A button that would open nothing is not offered.
        notice.downloadButton->setVisible(isWebAddress(reply.value(QStringLiteral("URL"))));
        if (notice.exec() == 1)
            openDownloadPage(reply.value(QStringLiteral("URL")));
    }
    storeCheckTime();
}

QByteArray UpdateChecker::takeDeferredReply()
{
    const QByteArray data = deferred.value_or(QByteArray());
    deferred.reset();
    return data;
}

void UpdateChecker::manualCheck(Tessivane *window)
{
    const QUrl url = requestUrl();
    if (url.isEmpty()) {
        TW_UpdateDialog dialog(nullptr, QString(), window);
        dialog.showNoService();
        dialog.exec();
        return;
    }
    TW_UpdateDialog dialog(downloader, url.toString(QUrl::FullyEncoded), window);
    QObject::connect(window, &Tessivane::ev_fgUpdatesDownloaded, &dialog, &TW_UpdateDialog::downloaded);
    if (dialog.downloader)
        dialog.downloader->request(QUrl(dialog.requestUrl, QUrl::StrictMode), 1);
    switch (dialog.exec()) {
    case TW_UpdateDialog::OpenDownloadPage:
        openDownloadPage(dialog.downloadUrl());
        storeCheckTime();
        break;
    case TW_UpdateDialog::Skipped:
    case TW_UpdateDialog::Confirmed:
        storeCheckTime();
        break;
    default:
        break;
    }
}

QUrl UpdateChecker::webPage(const char *key)
{
    const TW_Settings prefs("Preferences");
    const QString address = prefs.value(QString::fromLatin1(key)).toString().trimmed();
    return isWebAddress(address) ? QUrl(address, QUrl::StrictMode) : QUrl();
}

void UpdateChecker::openDownloadPage(const QString &address)
{
    if (isWebAddress(address))
        openUrl(QUrl(address, QUrl::StrictMode));
}
