#include "FileHandOver.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <memory>

#include <unistd.h>

FileHandOver::FileHandOver(QObject *parent)
    : QObject(parent), server(new QLocalServer(this))
{
    // Only the user's own later starts may hand over files.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &FileHandOver::acceptConnections);
}

FileHandOver::~FileHandOver() = default;

QString FileHandOver::channelName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir() && QFileInfo(runtime).isWritable())
        return QDir(runtime).filePath(QStringLiteral("Kaldris_Tessivane"));
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("Kaldris_Tessivane-%1").arg(qulonglong(::getuid())));
}

QString FileHandOver::lockPath(const QString &channel)
{
    return channel + QStringLiteral(".lock");
}

bool FileHandOver::isServerReachable(const QString &channel, int connectMs)
{
    QLocalSocket socket;
    socket.connectToServer(channel, QIODevice::WriteOnly);
    if (!socket.waitForConnected(connectMs))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(connectMs);
    return true;
}

bool FileHandOver::sendText(const QString &channel, const QString &text, int connectMs, int writeMs)
{
    QLocalSocket socket;
    socket.connectToServer(channel, QIODevice::WriteOnly);
    if (!socket.waitForConnected(connectMs)) {
        qDebug() << socket.errorString();
        return false;
    }
    const QByteArray bytes = text.toUtf8();
    if (socket.write(bytes) != bytes.size()) {
        qDebug() << socket.errorString();
        return false;
    }
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(writeMs)) {
            qDebug() << socket.errorString();
            return false;
        }
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState && !socket.waitForDisconnected(writeMs)) {
        qDebug() << socket.errorString();
        return false;
    }
    return true;
}

bool FileHandOver::listen(const QString &channel)
{
    QLocalServer::removeServer(channel);
    return server->listen(channel);
}

QString FileHandOver::errorString() const
{
    return server->errorString();
}

bool FileHandOver::isListening() const
{
    return server->isListening();
}

void FileHandOver::acceptConnections()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        socket->setParent(this);
        auto received = std::make_shared<QByteArray>();
        auto done = std::make_shared<bool>(false);
        auto finish = [this, socket, received, done]() {
            if (*done)
                return;
            *done = true;
            received->append(socket->readAll());
            socket->deleteLater();
            const QString text = QString::fromUtf8(*received);
            if (!text.isEmpty())
                emit textReceived(text);
        };
        connect(socket, &QLocalSocket::readyRead, this, [socket, received]() { received->append(socket->readAll()); });
        connect(socket, &QLocalSocket::disconnected, this, finish);
        // A sender that never closes still gets what it wrote delivered.
        QTimer::singleShot(readTimeoutMs, socket, [socket, finish]() {
            qDebug() << socket->errorString();
            finish();
            socket->abort();
        });
        // The sender may have written and gone before we got here.
        if (socket->bytesAvailable() > 0)
            received->append(socket->readAll());
        if (socket->state() == QLocalSocket::UnconnectedState)
            finish();
    }
}
