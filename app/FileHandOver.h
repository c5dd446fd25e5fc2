// The local channel through which a later start hands its file to the
// running instance: the sender writes the path as UTF-8 and disconnects; the
// receiver collects the bytes without blocking until the sender is gone.
#ifndef FILEHANDOVER_H
#define FILEHANDOVER_H

#include <QObject>
#include <QString>

class QLocalServer;

class FileHandOver : public QObject
{
    Q_OBJECT
public:
    explicit FileHandOver(QObject *parent = nullptr);
    ~FileHandOver() override;

    // The user's own channel: inside XDG_RUNTIME_DIR when there is one, else
    // in the temporary folder with the user id in the name.
    static QString channelName();
    // The lock that marks the instance serving the channel.
    static QString lockPath(const QString &channel);

    // What a start with no file sends instead of a path: the running
    // instance brings its window forward. No absolute path reads like it.
    static QString raiseRequest() { return QStringLiteral("?raise"); }

    // A server answers under the name within the time.
    static bool isServerReachable(const QString &channel, int connectMs = 1000);
    // True once the text is written and the connection closed.
    static bool sendText(const QString &channel, const QString &text, int connectMs = 1000,
                         int writeMs = 10000);

    // Removes what a crashed instance left under the name, then listens;
    // only the holder of the channel's lock may call this.
    bool listen(const QString &channel);
    QString errorString() const;
    bool isListening() const;

    // How long a connection may stay open before what arrived is taken.
    void setReadTimeout(int ms) { readTimeoutMs = ms; }

signals:
    void textReceived(const QString &text);

private slots:
    void acceptConnections();

private:
    QLocalServer *server;
    int readTimeoutMs = 10000;
};

#endif
