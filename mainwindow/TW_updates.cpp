#include "TW_updates.h"

#include "UpdateProtocol.h"

#include <QMutexLocker>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QNetworkReply>
#include <QNetworkRequest>

TW_updates::TW_updates(QObject *parent)
    : QObject(parent), replies(SlotCount, nullptr)
{
    connect(&manager, &QNetworkAccessManager::finished, this, &TW_updates::downloadFinished);
}

TW_updates::~TW_updates()
{
    // Replies are children of the manager; it goes after this body, but a
    // finished signal from one of them must not reach a half-destroyed object.
    disconnect(&manager, nullptr, this, nullptr);
}

void TW_updates::setupProxy(const QUrl &url)
{
    if (!proxyMutex.tryLock())
        return;
    QUrl queryUrl = url.adjusted(QUrl::RemoveQuery);
    queryUrl.setQuery(QStringLiteral("version=%1").arg(UpdateVersionCode));
    const QNetworkProxyQuery query(queryUrl, QNetworkProxyQuery::UrlRequest);
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(query);
    if (!proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy)
        QNetworkProxy::setApplicationProxy(proxies.first());
    proxyDone = true;
    proxyMutex.unlock();
}

void TW_updates::request(const QUrl &url, int slot)
{
    if (slot < 0 || slot >= SlotCount || replies[slot])
        return;
    if (!proxyDone)
        setupProxy(url);
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeout);
    aborting[slot] = false;
    replies[slot] = manager.get(request);
}

bool TW_updates::isBusy(int slot) const
{
    return slot >= 0 && slot < SlotCount && replies[slot];
}

void TW_updates::abortRequest(int slot)
{
    if (!isBusy(slot))
        return;
    aborting[slot] = true;
    replies[slot]->abort();
}

void TW_updates::downloadFinished(QNetworkReply *reply)
{
    const int slot = int(replies.indexOf(reply));
    QByteArray data;
    QString error;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() == QNetworkReply::OperationCanceledError && slot >= 0 && !aborting[slot]) {
        // Only the transfer timeout cancels a request that nobody aborted.
        error = tr("the update service did not answer in time");
    } else if (reply->error() != QNetworkReply::NoError) {
        error = reply->errorString();
    } else if (!status.isValid() || status.toInt() < 200 || status.toInt() > 299) {
        error = tr("HTTP status %1").arg(status.isValid() ? status.toString() : tr("missing"));
    } else {
        data = reply->readAll();
    }
    if (slot >= 0) {
        replies[slot] = nullptr;
        aborting[slot] = false;
    }
    reply->deleteLater();
    emit ev_downloaded(data, slot, error);
}
