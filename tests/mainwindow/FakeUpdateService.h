// An HTTP service on 127.0.0.1 that answers every GET with one fixed
// status and body, or never answers. It records what it was asked.
#ifndef FAKEUPDATESERVICE_H
#define FAKEUPDATESERVICE_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

class FakeUpdateService : public QObject
{
    Q_OBJECT
public:
    FakeUpdateService();
    bool isListening() const { return server.isListening(); }
    // The check address, ending in "checkupdates.php".
    QString address() const;

    int status = 200;
    QByteArray body;
    bool silent = false;

    int connections = 0;
    QString lastPath;
    // The last query, decoded as a PHP service would ("+" is a space).
    QMap<QString, QString> lastQuery;

private:
    void readRequest(QTcpSocket *socket);

    QTcpServer server;
    QMap<QTcpSocket *, QByteArray> pending;
};

#endif
