#include "AtomicFileWriter.h"
#include "FullDisk.h"
#include "PrefStore.h"
#include "TestRegistry.h"
#include "TW_Settings.h"

#include <QImage>
#include <QScopeGuard>
#include <QSettings>
#include <QTest>
#include <QTextStream>

#include <functional>

using Save = std::function<bool(const QString &path, QString *error)>;
Q_DECLARE_METATYPE(Save)

// Each save kind on a file system with no room: the save says it failed,
// gives a reason, and leaves the old file byte for byte with nothing beside it.
class TestFullDiskSaves : public QObject
{
    Q_OBJECT

private slots:
    void failedWriteKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Save>("save");
        const QByteArray text(20000, 't');
        QTest::newRow("bytes") << QStringLiteral("grid.tgs") << Save([text](const QString &p, QString *e) {
            return AtomicFileWriter::writeBytes(p, text, e);
        });
        QTest::newRow("small bytes, all in the buffer")
            << QStringLiteral("curve.csv")
            << Save([](const QString &p, QString *e) { return AtomicFileWriter::writeBytes(p, "\"In\",\"Out\"\n", e); });
        QTest::newRow("text stream") << QStringLiteral("samples.txt") << Save([](const QString &p, QString *e) {
            return AtomicFileWriter::write(p, [](QIODevice &d) {
                QTextStream out(&d);
                for (int i = 0; i < 3000; ++i)
                    out << i << ",\"sample\"\n";
                out.flush();
                return out.status() == QTextStream::Ok;
            }, e);
        });
        QTest::newRow("picture") << QStringLiteral("plot.png") << Save([](const QString &p, QString *e) {
            QImage noise(300, 200, QImage::Format_RGB32);
            for (int y = 0; y < noise.height(); ++y)
                for (int x = 0; x < noise.width(); ++x)
                    noise.setPixel(x, y, qRgb((x * 37) ^ y, (y * 11) ^ x, x * y));
            return AtomicFileWriter::writeImage(p, noise, e);
        });
    }
    void failedWriteKeepsTheOldFile()
    {
        QFETCH(QString, name);
        QFETCH(Save, save);
        for (const bool existing : {true, false}) {
            FullDisk disk;
            if (!disk.isMounted())
                QSKIP(qPrintable(disk.reason()));
            const QByteArray old = "an older file of 151 bytes, or so, that the user keeps\n";
            if (existing)
                QVERIFY(disk.write(name, old));
            QVERIFY(disk.fill());
            QString error;
            QVERIFY(!save(disk.filePath(name), &error));
            QVERIFY2(error.contains(QStringLiteral("No space left on device")), qPrintable(error));
            QCOMPARE(disk.files(), existing ? QStringList{name} : QStringList());
            if (existing)
                QCOMPARE(disk.read(name), old);
        }
    }

    void writeWithRoomSucceeds()
    {
        FullDisk disk;
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.reason()));
        QVERIFY(disk.write(QStringLiteral("a.csv"), "old"));
        QString error;
        QVERIFY2(AtomicFileWriter::writeBytes(disk.filePath(QStringLiteral("a.csv")), "new", &error), qPrintable(error));
        QCOMPARE(disk.read(QStringLiteral("a.csv")), QByteArray("new"));
        QCOMPARE(disk.files(), QStringList{QStringLiteral("a.csv")});
    }

    void preferencesOnAFullDiskReportFailure()
    {
        FullDisk disk;
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.reason()));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, disk.path());
        const auto restore = qScopeGuard([]() {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, qEnvironmentVariable("XDG_CONFIG_HOME"));
        });
        const QString file = TW_Settings().fileName();
        PrefStore prefs(false, false);
        prefs.setPrefValue(QStringLiteral("d_maxRAWMegabytes"), 512);
        QVERIFY(prefs.saveSettings());
        QFile stored(file);
        QVERIFY(stored.open(QIODevice::ReadOnly));
        const QByteArray old = stored.readAll();
        stored.close();
        QVERIFY(old.contains("512"));

        QVERIFY(disk.fill());
        prefs.setPrefValue(QStringLiteral("d_maxRAWMegabytes"), 768);
        for (int i = 0; i < 200; ++i)
            prefs.setPrefString(QStringLiteral("k%1").arg(i), QString(100, QLatin1Char('v')));
        QVERIFY(!prefs.saveSettings());
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), old);
        QCOMPARE(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(file).fileName()});
    }
};

TW_REGISTER_TEST(TestFullDiskSaves)
#include "TestFullDiskSaves.moc"
