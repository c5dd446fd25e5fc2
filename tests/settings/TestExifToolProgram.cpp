#include "ExifToolProgram.h"
#include "TestRegistry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestExifToolProgram : public QObject
{
    Q_OBJECT

private slots:
    void usableOnlyForExecutableRegularFiles()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString script = dir.filePath("tool with space");
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done\n");
        f.close();
        QVERIFY(!ExifToolProgram::isUsable(script));   // not executable yet
        QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
        QVERIFY(ExifToolProgram::isUsable(script));
        QVERIFY(!ExifToolProgram::isUsable(QString()));
        QVERIFY(!ExifToolProgram::isUsable(dir.path()));   // a folder
        QVERIFY(!ExifToolProgram::isUsable(dir.filePath("missing")));

        // Arguments arrive as given, with no shell in between.
        QProcess p;
        const QStringList args = ExifToolProgram::splitOptions("  -g  a;b \"q\" ") << "/x y/f.dng";
        QVERIFY(ExifToolProgram::start(p, script, args));
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
                 QStringLiteral("[-g]\n[a;b]\n[\"q\"]\n[/x y/f.dng]\n"));

        // A bare name is the file in the current folder, not one in PATH.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        QProcess local;
        const bool started = ExifToolProgram::start(local, QStringLiteral("tool with space"), {"bare"});
        QDir::setCurrent(previous);
        QVERIFY(started);
        QVERIFY(local.waitForFinished(5000));
        QCOMPARE(QString::fromUtf8(local.readAllStandardOutput()), QStringLiteral("[bare]\n"));

        QProcess idle;
        QVERIFY(!ExifToolProgram::start(idle, dir.filePath("missing"), {}));
        QCOMPARE(idle.state(), QProcess::NotRunning);
    }
};

TW_REGISTER_TEST(TestExifToolProgram)
#include "TestExifToolProgram.moc"
