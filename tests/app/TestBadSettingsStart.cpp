#include "DngWriter.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Settings files that once ended every start, through the real program: it
// must show its window, open the file it was given and keep the user's
// other settings.
class TestBadSettingsStart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void start_data();
    void start();

private:
    QString configFile() const { return dir.filePath(QStringLiteral("config/Kaldris LLC/Tessivane.conf")); }
    QTemporaryDir dir;
    QString dngPath;
};

void TestBadSettingsStart::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("run"))));
    QFile::setPermissions(dir.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config/Kaldris LLC"))));
    DngDescription dng;
    DngFrame frame;
    frame.width = 64;
    frame.height = 48;
    frame.whiteLevel = {4095};
    frame.samples.assign(64 * 48, 1000);
    dng.frames.push_back(frame);
    dngPath = dir.filePath(QStringLiteral("start.dng"));
    QVERIFY(DngWriter::writeFile(dng, QFile::encodeName(dngPath).toStdString()));
}

void TestBadSettingsStart::start_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("two billion histogram windows") << QByteArray("histogramWinGeometry_count=2000000000");
    QTest::newRow("window over the whole int range")
        << QByteArray("mainWindowGeometry=@Rect(-2147483648 -2147483648 2147483647 2147483647)");
}

void TestBadSettingsStart::start()
{
    QFETCH(QByteArray, line);
    {
        QFile conf(configFile());
        QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
        conf.write("[Preferences]\nsaveWinPos=1\nmaxRGBMegapixels=77\n" + line + "\n");
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(TESSIVANE_EXE), {dngPath});
    QVERIFY(p.waitForStarted(5000));
    // The file is opened once the window has been up and painted a while.
    auto recent = [this]() {
        QSettings s(configFile(), QSettings::IniFormat);
        return s.value(QStringLiteral("recentFileList")).toStringList().value(0);
    };
    QTRY_VERIFY_WITH_TIMEOUT(recent() == dngPath || p.state() != QProcess::Running, 15000);
    QCOMPARE(p.state(), QProcess::Running);
    QCOMPARE(recent(), dngPath);
    p.kill();
    p.waitForFinished(5000);
    QSettings s(configFile(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("Preferences/maxRGBMegapixels")).toInt(), 77);
}

TW_REGISTER_TEST(TestBadSettingsStart)
#include "TestBadSettingsStart.moc"
