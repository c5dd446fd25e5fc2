#include "DngWriter.h"
#include "FileHandOver.h"

#include "TestRegistry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Runs the program twice over one private settings and runtime folder, so
// the second start meets the first exactly as on a desktop.
class TestSecondStart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void secondStartWithoutFileEnds();
    void secondStartWithoutFileAsksToRaise();
    void secondStartWithMissingFileEnds();
    void secondStartHandsItsFileOver();
    void newInstanceRunsBeside();
    void crashedFirstInstanceIsReplaced();

private:
    std::unique_ptr<QProcess> start(const QStringList &args);
    bool startFirst();
    bool waitForChannel(int ms);
    QStringList recentFiles();
    QString channel() const { return dir.filePath(QStringLiteral("run/Kaldris_Tessivane")); }

    QTemporaryDir dir;
    QString dngPath;
    std::unique_ptr<QProcess> first;
};

void TestSecondStart::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("run"))));
    QFile::setPermissions(dir.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config/Kaldris LLC"))));
    QFile conf(dir.filePath(QStringLiteral("config/Kaldris LLC/Tessivane.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[Preferences]\nrunSingleInstance=1\n");
    conf.close();

    DngDescription dng;
    DngFrame frame;
    frame.width = 64;
    frame.height = 48;
    frame.whiteLevel = {4095};
    frame.samples.assign(64 * 48, 1000);
    dng.frames.push_back(frame);
    dngPath = dir.filePath(QStringLiteral("hand över.dng"));
    QVERIFY(DngWriter::writeFile(dng, QFile::encodeName(dngPath).toStdString()));
}

void TestSecondStart::cleanup()
{
    if (first) {
        first->kill();
        first->waitForFinished(5000);
        first.reset();
    }
}

std::unique_ptr<QProcess> TestSecondStart::start(const QStringList &args)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QStringLiteral(TESSIVANE_EXE), args);
    return p;
}

bool TestSecondStart::waitForChannel(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (FileHandOver::isServerReachable(channel(), 200))
            return true;
        QTest::qWait(50);
    }
    return false;
}

bool TestSecondStart::startFirst()
{
    first = start({});
    return first->waitForStarted(5000) && waitForChannel(10000);
}

QStringList TestSecondStart::recentFiles()
{
    QSettings s(dir.filePath(QStringLiteral("config/Kaldris LLC/Tessivane.conf")), QSettings::IniFormat);
    return s.value(QStringLiteral("recentFileList")).toStringList();
}

void TestSecondStart::secondStartWithoutFileEnds()
{
    QVERIFY(startFirst());
    auto second = start({});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 1);
    QCOMPARE(first->state(), QProcess::Running);
}

// Without a file the second start asks the running one to come forward.
void TestSecondStart::secondStartWithoutFileAsksToRaise()
{
    QLockFile lock(FileHandOver::lockPath(channel()));
    QVERIFY(lock.tryLock(0));
    FileHandOver server;
    QVERIFY(server.listen(channel()));
    QStringList received;
    connect(&server, &FileHandOver::textReceived, this, [&](const QString &text) { received << text; });
    auto second = start({});
    QVERIFY(second->waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, 10000);
    QCOMPARE(second->exitCode(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(received, QStringList{FileHandOver::raiseRequest()}, 5000);
}

void TestSecondStart::secondStartWithMissingFileEnds()
{
    QVERIFY(startFirst());
    auto second = start({dir.filePath(QStringLiteral("missing.dng"))});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 1);
}

void TestSecondStart::secondStartHandsItsFileOver()
{
    QVERIFY(startFirst());
    auto second = start({dngPath});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 1);
    // The first instance opened it: it heads the recent files.
    QTRY_VERIFY_WITH_TIMEOUT(recentFiles().value(0) == dngPath, 10000);
}

void TestSecondStart::newInstanceRunsBeside()
{
    QVERIFY(startFirst());
    auto second = start({QStringLiteral("-NewInstance"), dngPath});
    QVERIFY(second->waitForStarted(5000));
    QVERIFY(!second->waitForFinished(1500));
    second->kill();
    second->waitForFinished(5000);
    QCOMPARE(first->state(), QProcess::Running);
}

// A killed first instance leaves its socket and lock behind; the next start
// must serve the channel again rather than hand files to nobody.
void TestSecondStart::crashedFirstInstanceIsReplaced()
{
    QVERIFY(startFirst());
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    QVERIFY(QFileInfo::exists(channel()));

    first = start({});
    QVERIFY(first->waitForStarted(5000));
    QVERIFY(waitForChannel(10000));
    QSettings(dir.filePath(QStringLiteral("config/Kaldris LLC/Tessivane.conf")), QSettings::IniFormat)
        .remove(QStringLiteral("recentFileList"));
    auto second = start({dngPath});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(recentFiles().value(0) == dngPath, 10000);
}

TW_REGISTER_TEST(TestSecondStart)
#include "TestSecondStart.moc"
