#include "FileHandOver.h"
#include "TestRegistry.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class TestFileHandOver : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void delivers_data();
    void delivers();
    void noServer();
    void staleSocketIsReplaced();
    void senderThatStaysConnected();
    void probeDeliversNothing();

private:
    QString channel() const { return dir->filePath(QStringLiteral("channel")); }
    std::unique_ptr<QTemporaryDir> dir;
};

void TestFileHandOver::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestFileHandOver::delivers_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("ascii") << QStringLiteral("/home/user/Pictures/IMG_0001.CR2");
    QTest::newRow("non-ascii") << QStringLiteral("/home/jörg/Bilder/Überbelichtung ñ/日本の写真 ё.dng");
    QTest::newRow("long") << QStringLiteral("/data/") + QString(6000, QLatin1Char('x')) + QStringLiteral("/é.nef");
}

void TestFileHandOver::delivers()
{
    QFETCH(QString, path);
    FileHandOver receiver;
    QVERIFY(receiver.listen(channel()));
    QSignalSpy spy(&receiver, &FileHandOver::textReceived);
    QVERIFY(FileHandOver::sendText(channel(), path));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), path);
}

void TestFileHandOver::noServer()
{
    QElapsedTimer t;
    t.start();
    QVERIFY(!FileHandOver::isServerReachable(channel()));
    QVERIFY(!FileHandOver::sendText(channel(), QStringLiteral("/x.dng")));
    QVERIFY(t.elapsed() < 3000);
}

// A crashed instance leaves its socket file behind: nobody answers there, and
// the next first instance must still be able to serve under the name.
void TestFileHandOver::staleSocketIsReplaced()
{
    const QByteArray name = QFile::encodeName(channel());
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    QVERIFY(size_t(name.size()) < sizeof(addr.sun_path));
    std::memcpy(addr.sun_path, name.constData(), size_t(name.size()));
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
    ::close(fd);
    QVERIFY(QFile::exists(channel()));

    QVERIFY(!FileHandOver::isServerReachable(channel()));
    FileHandOver receiver;
    QVERIFY(receiver.listen(channel()));
    QVERIFY(FileHandOver::isServerReachable(channel()));
}

void TestFileHandOver::senderThatStaysConnected()
{
    FileHandOver receiver;
    receiver.setReadTimeout(200);
    QVERIFY(receiver.listen(channel()));
    QSignalSpy spy(&receiver, &FileHandOver::textReceived);
    QLocalSocket socket;
    socket.connectToServer(channel(), QIODevice::WriteOnly);
    QVERIFY(socket.waitForConnected(1000));
    socket.write(QStringLiteral("/a/b.dng").toUtf8());
    QVERIFY(socket.waitForBytesWritten(1000));
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("/a/b.dng"));
}

void TestFileHandOver::probeDeliversNothing()
{
    FileHandOver receiver;
    QVERIFY(receiver.listen(channel()));
    QSignalSpy spy(&receiver, &FileHandOver::textReceived);
    QVERIFY(FileHandOver::isServerReachable(channel()));
    QTest::qWait(100);
    QCOMPARE(spy.count(), 0);
}

TW_REGISTER_TEST(TestFileHandOver)
#include "TestFileHandOver.moc"
