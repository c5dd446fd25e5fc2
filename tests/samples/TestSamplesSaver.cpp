#include "FullDisk.h"
#include "SampleFilesHost.h"
#include "SamplesSaver.h"
#include "SamplesTableData.h"
#include "TW_FileDialog.h"
#include "TW_SamplesSaveOptions.h"
#include "TW_SaveDialog.h"
#include "TW_Settings.h"
#include "TestRegistry.h"
#include "settings/SettingsSandbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

class StandInHost : public SampleFilesHost
{
public:
    SampleFileInfo sampleFileInfo() const override { return info; }
    QString lastFolder() const override { return folder; }
    void setLastFolder(const QString &path) override { folder = QFileInfo(path).absolutePath(); }
    SampleFileInfo info;
    QString folder;
};

// Passes writes on to the file until `limit` bytes, then fails them.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(QIODevice *target, qint64 limit) : target(target), limit(limit) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (written + size > limit) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        written += size;
        return target->write(data, size);
    }

private:
    QIODevice *target;
    qint64 limit;
    qint64 written = 0;
};

QByteArray contents(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

}

class TestSamplesSaver : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        sandbox = std::make_unique<SettingsSandbox>();
        dir = std::make_unique<QTemporaryDir>();
        data = std::make_unique<SamplesTableData>();
        channels = ChannelNames();
        channels.isRGB = true;
        channels.count = 3;
        channels.names = QStringList{"R", "G", "B"};
        data->setChannelHeaders(channels.names);
        for (int i = 0; i < 2; ++i) {
            auto *r = new SampleRecord;
            r->id = i + 1;
            r->name = QStringLiteral("S%1").arg(i + 1);
            r->area.left = 10 * i;
            r->area.width = r->area.height = 4;
            for (int k = 0; k < 3; ++k) {
                r->avg[k] = 100.0 * (i + 1) * (k + 1);
                r->count[k] = 16;
            }
            data->samples << r;
        }
        data->setDirty(true);
        host.info.fileName = QStringLiteral("IMG_0001.CR2");
        host.info.frameNumber = 1;
        host.folder.clear();
        messages.clear();
        dialogRuns = 0;
    }
    void cleanup()
    {
        data.reset();
        dir.reset();
        sandbox.reset();
    }

    void nothingToSave()
    {
        qDeleteAll(data->samples);
        data->samples.clear();
        SamplesSaver saver = makeSaver(QString());
        QVERIFY(!saver.save({-1, -1, -1}, QString()).written);
        QCOMPARE(messages, QStringList{"Nothing to Save: Nothing to save: data set is empty"});
        QCOMPARE(dialogRuns, 0);
    }

    void cancelWritesNothing()
    {
        SamplesSaver saver = makeSaver(QString());
        saver.runDialog = [this](TW_SaveDialog &, TW_SamplesSaveOptions &) {
            ++dialogRuns;
            return 0;
        };
        QVERIFY(!saver.save({-1, -1, -1}, QString()).written);
        QCOMPARE(dialogRuns, 1);
        QVERIFY(data->dirty);
        QVERIFY(QDir(dir->path()).entryList(QDir::Files).isEmpty());
        QVERIFY(!TW_Settings("Preferences").contains("samplesWriteCSV"));
    }

    void tableThenAppendWithoutDialog()
    {
        const QString path = dir->filePath("table.csv");
        SamplesSaver saver = makeSaver(path, [](TW_SamplesSaveOptions &o) {
            o.csvRadio->setChecked(true);
            o.filenameCheck->setChecked(true);
        });
        QSignalSpy dirty(data.get(), &SamplesTableData::ev_dirty);
        const SamplesSaver::Outcome first = saver.save({-1, -1, -1}, QString());
        QVERIFY(first.written);
        QVERIFY(first.tableWritten);
        QCOMPARE(first.path, path);
        QVERIFY(!data->dirty);
        QCOMPARE(dirty.count(), 1);
        QCOMPARE(host.folder, dir->path());
        QCOMPARE(contents(path), QByteArray("\"Filename\",\"Id\",\"Sample_Name\",\"Ravg\",\"Gavg\",\"Bavg\"\n"
                                            "\"IMG_0001.CR2\",1,\"S1\",100.00,200.00,300.00\n"
                                            "\"IMG_0001.CR2\",2,\"S2\",200.00,400.00,600.00\n"));
        QVERIFY(TW_Settings("Preferences").value("samplesAddFilename").toBool());

        data->samples[0]->avg[0] = 5.25;
        data->setDirty(true);
        const int runs = dialogRuns;
        const SamplesSaver::Outcome second = saver.save({-1, -1, -1}, path);
        QVERIFY(second.written && second.tableWritten);
        QCOMPARE(dialogRuns, runs);
        QVERIFY(!data->dirty);
        QCOMPARE(contents(path), QByteArray("\"Filename\",\"Id\",\"Sample_Name\",\"Ravg\",\"Gavg\",\"Bavg\"\n"
                                            "\"IMG_0001.CR2\",1,\"S1\",100.00,200.00,300.00\n"
                                            "\"IMG_0001.CR2\",2,\"S2\",200.00,400.00,600.00\n"
                                            "\"IMG_0001.CR2\",1,\"S1\",5.2500,200.00,300.00\n"
                                            "\"IMG_0001.CR2\",2,\"S2\",200.00,400.00,600.00\n"));
    }

    void appendingToAVanishedFileStartsAfresh()
    {
        const QString path = dir->filePath("gone.csv");
        SamplesSaver saver = makeSaver(QString());
        QVERIFY(saver.save({-1, -1, -1}, path).written);
        QVERIFY(contents(path).startsWith("\"Id\",\"Sample_Name\""));
    }

    void appendKeepsAnUnendedLastLine()
    {
        const QString path = dir->filePath("edited.csv");
        writeText(path, "by hand");
        SamplesSaver saver = makeSaver(QString());
        QVERIFY(saver.save({-1, -1, -1}, path).written);
        QVERIFY(contents(path).startsWith("by hand\n1,\"S1\","));
    }

    void cgatsIsNoTable()
    {
        const QString path = dir->filePath("out.txt");
        SamplesSaver saver = makeSaver(path, [](TW_SamplesSaveOptions &o) { o.cgatsRadio->setChecked(true); });
        const SamplesSaver::Outcome out = saver.save({0, 1, 2}, QString());
        QVERIFY(out.written);
        QVERIFY(!out.tableWritten);
        const QByteArray text = contents(path);
        QVERIFY(text.startsWith("CGATS.17\nCREATED\t\"03/07/2026\"  # Time: 09:05\n"));
        QVERIFY(text.contains("ORIGINATOR\t\"Tessivane v.1.4.1 (Linux, "));
        QVERIFY(text.contains("NAMING_ORDER \"1A_99Z\"\n"));
        QVERIFY(!TW_Settings("Preferences").value("samplesWriteCSV").toBool());
    }

    void coordinatesAndFlatFieldFormats()
    {
        const QString tws = dir->filePath("c.tws");
        SamplesSaver saver = makeSaver(tws, [](TW_SamplesSaveOptions &o) {
            o.coordinatesRadio->setChecked(true);
            // A group the format disables cannot refuse it.
            o.flatFieldGroup->setChecked(true);
        });
        const SamplesSaver::Outcome out = saver.save({-1, -1, -1}, QString());
        QVERIFY(out.written && !out.tableWritten);
        QVERIFY(contents(tws).startsWith("# Tessivane Sample Coordinate Data\nsamples:\t2\n"));

        const QString ffd = dir->filePath("f.ffd");
        SamplesSaver flat = makeSaver(ffd, [](TW_SamplesSaveOptions &o) { o.flatFieldRadio->setChecked(true); });
        QVERIFY(flat.save({-1, -1, -1}, QString()).written);
        QVERIFY(contents(ffd).contains("1\tS1\t0.500000\t0.500000\t0.500000\n"));
    }

    void validationKeepsTheDialogOpen()
    {
        const QString path = dir->filePath("never.csv");
        SamplesSaver saver = makeSaver(path, [](TW_SamplesSaveOptions &o) {
            o.whiteBalanceGroup->setChecked(true);
            o.whiteBalanceCombo->setCurrentIndex(0);
        });
        QVERIFY(!saver.save({-1, -1, -1}, QString()).written);
        QCOMPARE(messages.value(0).section(':', 0, 0), QStringLiteral("White Balance Cell not set"));
        QVERIFY(!QFile::exists(path));
        QVERIFY(data->dirty);
    }

    void storedFlatFieldOnTheAppendPath()
    {
        const QString path = dir->filePath("t.csv");
        writeText(path, "old\n");
        const QString ffd = dir->filePath("flat.ffd");
        writeText(ffd, "Tessivane FlatField Data\n4\t1\tchannels/samples\nx\nx\n1\tS1\t0.5\t0.5\t0.5\t0.5\n");
        {
            TW_Settings s("Preferences");
            s.setValue("dnDoFlatField", true);
            s.setValue("dnFlatFieldFile", ffd);
        }
        SamplesSaver saver = makeSaver(QString());
        // One record for two samples: refused before anything is written.
        QVERIFY(!saver.save({-1, -1, -1}, path).written);
        QCOMPARE(messages.value(0).section(':', 0, 0), QStringLiteral("Incorrect Flat Field File"));
        QCOMPARE(contents(path), QByteArray("old\n"));
        QVERIFY(data->dirty);

        writeText(ffd, "Tessivane FlatField Data\n4\t2\tchannels/samples\nx\nx\n1\tS1\t0.5\t0.5\t0.5\t0.5\n"
                       "2\tS2\t0.25\t0.25\t0.25\t0.25\n");
        QVERIFY(saver.save({-1, -1, -1}, path).written);
        QCOMPARE(contents(path), QByteArray("old\n1,\"S1\",200.00,400.00,600.00\n2,\"S2\",800.00,1600.00,2400.00\n"));
    }

    void failedWritesLoseNothing_data()
    {
        QTest::addColumn<bool>("append");
        QTest::addColumn<qint64>("limit");
        QTest::newRow("replace, fails at once") << false << qint64(0);
        QTest::newRow("replace, fails midway") << false << qint64(40);
        QTest::newRow("append, fails in the old content") << true << qint64(3);
        QTest::newRow("append, fails in the new rows") << true << qint64(100);
    }
    void failedWritesLoseNothing()
    {
        QFETCH(bool, append);
        QFETCH(qint64, limit);
        const QString path = dir->filePath("keep.csv");
        const QByteArray old = QByteArray("\"Id\",\"Sample_Name\",\"Ravg\"\n") + QByteArray(80, 'x') + "\n";
        writeText(path, old);
        SamplesSaver saver = makeSaver(append ? QString() : path);
        saver.wrapDevice = [limit](QIODevice *file) { return std::make_unique<FailingDevice>(file, limit); };
        QVERIFY(!saver.save({-1, -1, -1}, append ? path : QString()).written);
        QCOMPARE(contents(path), old);
        QVERIFY(data->dirty);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith("File open error: Cannot create file " + path + ": No space left on device"),
                 qPrintable(messages[0]));
        QVERIFY(!TW_Settings("Preferences").contains("samplesWriteCSV"));
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"keep.csv"});
    }

    void fullDiskLosesNothing_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("append");
        QTest::newRow("table") << 0 << false;
        QTest::newRow("CGATS") << 1 << false;
        QTest::newRow("flat field") << 2 << false;
        QTest::newRow("coordinates") << 3 << false;
        QTest::newRow("append") << 0 << true;
    }
    void fullDiskLosesNothing()
    {
        QFETCH(int, format);
        QFETCH(bool, append);
        FullDisk disk;
        if (!disk.isMounted())
            QSKIP(qPrintable(disk.reason()));
        const QByteArray old = QByteArray("\"Id\",\"Sample_Name\",\"Ravg\"\n\"1\",\"S\",\"3\"\n");
        QVERIFY(disk.write(QStringLiteral("keep.txt"), old));
        QVERIFY(disk.fill());
        const QString path = disk.filePath(QStringLiteral("keep.txt"));
        SamplesSaver saver = makeSaver(append ? QString() : path, [format](TW_SamplesSaveOptions &o) {
            QRadioButton *radios[] = {o.csvRadio, o.cgatsRadio, o.flatFieldRadio, o.coordinatesRadio};
            radios[format]->setChecked(true);
        });
        QVERIFY(!saver.save({-1, -1, -1}, append ? path : QString()).written);
        QCOMPARE(disk.read(QStringLiteral("keep.txt")), old);
        QCOMPARE(disk.files(), QStringList{QStringLiteral("keep.txt")});
        QVERIFY(data->dirty);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].endsWith(": No space left on device"), qPrintable(messages[0]));
    }

    void targetUnderARegularFile()
    {
        const QString blocker = dir->filePath("blocker");
        writeText(blocker, "data");
        const QString path = blocker + "/out.csv";
        SamplesSaver saver = makeSaver(QString());
        QVERIFY(!saver.save({-1, -1, -1}, path).written);
        QCOMPARE(contents(blocker), QByteArray("data"));
        QVERIFY(data->dirty);
        QVERIFY(messages.value(0).startsWith("File open error: Cannot create file " + path + ": "));
    }

    void proposedName()
    {
        QCOMPARE(SamplesSaver::proposedPath("IMG_0001.CR2"), QDir::currentPath() + "/IMG_0001_CR2");
        QCOMPARE(SamplesSaver::proposedPath("a.b.NEF"), QDir::currentPath() + "/a.b_NEF");
        QCOMPARE(SamplesSaver::proposedPath(QString()), QDir::currentPath() + "/_");
    }

    void choiceLists()
    {
        data->samples[1]->name.clear();
        QCOMPARE(SamplesSaver::whiteBalanceSampleNames(data->samples), (QStringList{"S1 #1", "# 2"}));
        QCOMPARE(SamplesSaver::sampleNames(data->samples), (QStringList{"S1", "--2"}));
    }

private:
    // A saver whose dialog, when run, lets `choose` set the options and
    // accepts `path` as a user would: through the file dialog, which asks
    // the options first. An empty path cancels.
    SamplesSaver makeSaver(const QString &path, std::function<void(TW_SamplesSaveOptions &)> choose = {})
    {
        SamplesSaver saver(data.get(), channels, &host, nullptr, nullptr);
        saver.inform = [this](const QString &title, const QString &text) { messages << title + ": " + text; };
        saver.warn = saver.inform;
        saver.clock = [] { return QDateTime(QDate(2026, 3, 7), QTime(9, 5)); };
        saver.runDialog = [this, path, choose](TW_SaveDialog &dialog, TW_SamplesSaveOptions &options) {
            ++dialogRuns;
            if (path.isEmpty())
                return 0;
            if (choose)
                choose(options);
            // The user has agreed to replace an existing file.
            dialog.fileDialog->setOption(QFileDialog::DontConfirmOverwrite);
            dialog.fileDialog->selectFile(path);
            dialog.fileDialog->accept();
            return dialog.result();
        };
        return saver;
    }

    std::unique_ptr<SettingsSandbox> sandbox;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SamplesTableData> data;
    ChannelNames channels;
    StandInHost host;
    QStringList messages;
    int dialogRuns = 0;
};

TW_REGISTER_TEST(TestSamplesSaver)
#include "TestSamplesSaver.moc"
