#include "FakeUpdateService.h"

#include <QTcpSocket>
#include <QUrl>

FakeUpdateService::FakeUpdateService()
{
    server.listen(QHostAddress::LocalHost, 0);
    connect(&server, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            ++connections;
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { readRequest(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString FakeUpdateService::address() const
{
    return QStringLiteral("http://127.0.0.1:%1/service/checkupdates.php").arg(server.serverPort());
}

void FakeUpdateService::readRequest(QTcpSocket *socket)
{
    QByteArray &request = pending[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n"))
        return;
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    pending.remove(socket);
    if (requestLine.size() >= 2) {
        const QByteArray target = requestLine[1];
        const int q = int(target.indexOf('?'));
        lastPath = QString::fromLatin1(q < 0 ? target : target.left(q));
        lastQuery.clear();
        for (const QByteArray &pair : (q < 0 ? QByteArray() : target.mid(q + 1)).split('&')) {
            const int eq = int(pair.indexOf('='));
            if (eq < 0)
                continue;
            QByteArray value = pair.mid(eq + 1);
            value.replace('+', ' ');
            lastQuery[QString::fromLatin1(pair.left(eq))] = QUrl::fromPercentEncoding(value);
        }
    }
    if (silent)
        return;
    socket->write(QByteArrayLiteral("HTTP/1.1 ") + QByteArray::number(status) + " Test\r\nContent-Type: text/plain\r\n" +
                  "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}
