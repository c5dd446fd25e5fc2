// The update downloader: one GET at a time in each of five request slots
// (0 the background check, 1 the manual one). Each finished request is
// reported once through ev_downloaded, its data empty on failure.
#ifndef TW_UPDATES_H
#define TW_UPDATES_H

#include <QByteArray>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVector>

class QNetworkReply;

class TW_updates : public QObject
{
    Q_OBJECT
public:
    static constexpr int SlotCount = 5;
    static constexpr int DefaultTransferTimeout = 30000;

    explicit TW_updates(QObject *parent = nullptr);
    ~TW_updates() override;

    QNetworkAccessManager manager;
    QVector<QNetworkReply *> replies;
    QMutex proxyMutex;
    bool proxyDone = false;
    // Milliseconds without progress after which a request ends as a failure.
    int transferTimeout = DefaultTransferTimeout;

    // Dropped while the slot's previous request still runs.
    void request(const QUrl &url, int slot);
    void setupProxy(const QUrl &url);
    bool isBusy(int slot) const;
    // Ends the slot's request as cancelled; it is reported at once.
    void abortRequest(int slot);

public slots:
    void downloadFinished(QNetworkReply *reply);

signals:
    // `error` is empty when the service answered with a 2xx status.
    void ev_downloaded(QByteArray data, int slot, QString error);

private:
    bool aborting[SlotCount] = {};
};

#endif
