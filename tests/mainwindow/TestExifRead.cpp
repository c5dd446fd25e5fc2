// ExifTool runs over opened files: with stand-in programs written here (a
// shell script printing fixed lines, slow when asked) and with the real
// ExifTool on a generated DNG when it is installed.
#include "ExifTagTable.h"
#include "MainWindowFixture.h"
#include "RawImage.h"
#include "TW_ExifProcess.h"
#include "TW_ExifWindow.h"
#include "TW_PrefPane.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPalette>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

const QString exiftool = QStringLiteral("/usr/bin/exiftool");

// The lines a stand-in prints, UTF-8 as ExifTool writes them.
const QString standInOutput = QString::fromUtf8("---- EXIF ----\n"
                                                "Make\tKaldris\n"
                                                "Camera Model Name\tStand-in \xc3\x98 Mark II\n"
                                                "Exposure Time\t1/250\n"
                                                "F Number\t5.6\n"
                                                "ISO\t400\n"
                                                "---- Composite ----\n"
                                                "Lens ID\t<b>& \xc3\x98 50mm\n");

bool processGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) != 0;
}

}

class TestExifRead : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void arguments();
    void normalAnswerIsReportedOnce();
    void slowAnswerGivesItsPartialOutputOnce();
    void failedStartIsReportedOnce();
    void destroyedProcessEndsItsChild();
    void answerFillsWindowAndPanel();
    void exifButtonAndActionShowTheWindow();
    void paletteChangeRecoloursTheTable();
    void copyButtonsFillTheClipboard();
    void emptyAnswerLeavesTheButtonOff();
    void answerWithoutNamesKeepsDecoderSummary();
    void unusablePathStartsNothing_data();
    void unusablePathStartsNothing();
    void laterFileKeepsItsOwnTags();
    void frameChangeReadsTheTagsAgain();
    void closingWindowEndsRunningReads();
    void realExifTool();

private:
    QString writeTool(const QString &name, const QByteArray &body, bool executable = true);
    QString writeOutputTool(const QString &name, const QString &output, const QByteArray &after = {});
    void useTool(const QString &path, const QString &options = QStringLiteral("-g"));
    bool waitForReads(int ms = 10000);
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
    QString dng;
};

void TestExifRead::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
    dng = fixture->writeDng(QStringLiteral("exif.dng"), {{64, 48, 500}});
    QVERIFY(!dng.isEmpty());
}

void TestExifRead::init()
{
    window = std::make_unique<Tessivane>();
}

void TestExifRead::cleanup()
{
    window.reset();
}

QString TestExifRead::writeTool(const QString &name, const QByteArray &body, bool executable)
{
    const QString path = fixture->path(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    f.write(body);
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    return path;
}

// A stand-in that prints `output` exactly, then runs `after` (a sleep).
QString TestExifRead::writeOutputTool(const QString &name, const QString &output, const QByteArray &after)
{
    const QString lines = writeTool(name + QStringLiteral(".txt"), output.toUtf8(), false);
    return writeTool(name, "#!/bin/sh\ncat '" + QFile::encodeName(lines) + "'\n" + after + "\n");
}

void TestExifRead::useTool(const QString &path, const QString &options)
{
    window->prefPane->setPrefString(QStringLiteral("exifToolPath"), path);
    window->prefPane->setPrefString(QStringLiteral("exifToolOptions"), options);
}

bool TestExifRead::waitForReads(int ms)
{
    // Each run deletes itself after it has reported.
    return QTest::qWaitFor([this]() { return window->findChildren<TW_ExifProcess *>().isEmpty(); }, ms);
}

void TestExifRead::arguments()
{
    TW_ExifProcess p(QStringLiteral("/x/exif tool"), QStringLiteral(" -g  -lang de \"a b\";"),
                     QStringLiteral("/raw files/a.dng"));
    QCOMPARE(p.argumentList(), (QStringList{"-g", "-lang", "de", "\"a", "b\";", "-t", "/raw files/a.dng"}));
    QCOMPARE(p.filePath(), QStringLiteral("/raw files/a.dng"));
    QVERIFY(!p.startRead());   // no such program
    QCOMPARE(p.state(), QProcess::NotRunning);
}

void TestExifRead::normalAnswerIsReportedOnce()
{
    const QString tool = writeOutputTool(QStringLiteral("normal.sh"), standInOutput);
    QPointer<TW_ExifProcess> p = new TW_ExifProcess(tool, QStringLiteral("-g"), dng, 5000);
    QSignalSpy read(p.data(), &TW_ExifProcess::ev_exifread);
    connect(p.data(), &TW_ExifProcess::killme, p.data(), &QObject::deleteLater);
    QVERIFY(p->startRead());
    QTRY_VERIFY(p.isNull());
    QCOMPARE(read.count(), 1);
    QCOMPARE(read.at(0).at(0).toString(), standInOutput);
    QCOMPARE(read.at(0).at(1).toString(), dng);
}

void TestExifRead::slowAnswerGivesItsPartialOutputOnce()
{
    const QString tool = writeOutputTool(QStringLiteral("slow.sh"), standInOutput, "exec sleep 30");
    QPointer<TW_ExifProcess> p = new TW_ExifProcess(tool, QString(), dng, 300);
    QSignalSpy read(p.data(), &TW_ExifProcess::ev_exifread);
    QSignalSpy killme(p.data(), &TW_ExifProcess::killme);
    connect(p.data(), &TW_ExifProcess::killme, p.data(), &QObject::deleteLater);
    QVERIFY(p->startRead());
    const qint64 pid = p->processId();
    QTRY_COMPARE_WITH_TIMEOUT(read.count(), 1, 5000);
    QCOMPARE(read.at(0).at(0).toString(), standInOutput);
    QTRY_VERIFY_WITH_TIMEOUT(p.isNull(), 5000);
    QVERIFY(processGone(pid));
    QTest::qWait(500);
    QCOMPARE(read.count(), 1);
    QCOMPARE(killme.count(), 1);
}

void TestExifRead::failedStartIsReportedOnce()
{
    // Executable, but not a program the system can start.
    const QString tool = writeTool(QStringLiteral("garbage"), QByteArray("\x01\x02 not a program\n"));
    QPointer<TW_ExifProcess> p = new TW_ExifProcess(tool, QString(), dng, 300);
    QSignalSpy read(p.data(), &TW_ExifProcess::ev_exifread);
    connect(p.data(), &TW_ExifProcess::killme, p.data(), &QObject::deleteLater);
    QVERIFY(p->startRead());
    QCOMPARE(read.count(), 0);   // not from inside the start
    QTRY_VERIFY_WITH_TIMEOUT(p.isNull(), 5000);
    QCOMPARE(read.count(), 1);
    QVERIFY(read.at(0).at(0).toString().isEmpty());
}

void TestExifRead::destroyedProcessEndsItsChild()
{
    const QString tool = writeTool(QStringLiteral("sleeper.sh"), "#!/bin/sh\nexec sleep 30\n");
    auto *p = new TW_ExifProcess(tool, QString(), dng, 300);
    QSignalSpy read(p, &TW_ExifProcess::ev_exifread);
    QVERIFY(p->startRead());
    QVERIFY(p->waitForStarted());
    const qint64 pid = p->processId();
    delete p;
    QVERIFY(processGone(pid));
    QCOMPARE(read.count(), 0);
}

void TestExifRead::answerFillsWindowAndPanel()
{
    useTool(writeOutputTool(QStringLiteral("answer.sh"), standInOutput + QStringLiteral("\n")));
    QVERIFY(window->openFile(dng));
    QVERIFY(waitForReads());
    QCOMPARE(window->exifWindow->tagLines(), standInOutput.split('\n', Qt::SkipEmptyParts));
    QVERIFY(window->exifButton->isEnabled());
    QVERIFY(!window->exifButton->isHidden());
    QVERIFY(window->exifAction->isEnabled());
    QCOMPARE(window->exifModel, QString::fromUtf8("Stand-in \xc3\x98 Mark II"));
    QCOMPARE(window->exifMake, QStringLiteral("Kaldris"));
    QCOMPARE(window->exifExposure, QStringLiteral("1/250s"));
    QCOMPARE(window->exifFNumber, QStringLiteral("f/5.6"));
    QCOMPARE(window->exifIso, QStringLiteral("400"));
    // The decoder knows the ISO (100): it wins over ExifTool's.
    const QString panel = window->metadataPanel.label->text();
    QVERIFY2(panel.contains(QStringLiteral("<b>1/250s f/5.6 @ISO 100</b>")), qPrintable(panel));
    QVERIFY2(panel.contains(QString::fromUtf8("&lt;b&gt;&amp; \xc3\x98 50mm")), qPrintable(panel));
}

void TestExifRead::exifButtonAndActionShowTheWindow()
{
    useTool(writeOutputTool(QStringLiteral("show.sh"), standInOutput));
    window->show();
    QVERIFY(window->openFile(dng));
    QVERIFY(waitForReads());
    QTest::mouseClick(window->exifButton, Qt::LeftButton);
    QVERIFY(window->exifWindow->isVisible());
    QVERIFY(window->exifAction->isChecked());
    QTest::mouseClick(window->exifButton, Qt::LeftButton);   // the button only shows
    QVERIFY(window->exifWindow->isVisible());
    window->exifAction->trigger();                           // the action toggles
    QVERIFY(!window->exifWindow->isVisible());
    QVERIFY(!window->exifAction->isChecked());
    window->exifAction->trigger();
    QVERIFY(window->exifWindow->isVisible());
    QVERIFY(window->exifAction->isChecked());
    window->exifWindow->closePressed();
    QVERIFY(!window->exifAction->isChecked());
}

void TestExifRead::paletteChangeRecoloursTheTable()
{
    useTool(writeOutputTool(QStringLiteral("palette.sh"), standInOutput));
    QVERIFY(window->openFile(dng));
    QVERIFY(waitForReads());
    window->exifWindow->filterEdit->setText(QStringLiteral("lens"));
    window->exifWindow->filterPressed();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::WindowText, Qt::white);
    window->systemPaletteChanged(dark, true);
    QCOMPARE(window->exifWindow->html(),
             exifTagsHtml(window->colorTable, {QString::fromUtf8("Lens ID\t<b>& \xc3\x98 50mm")}, true));
    QCOMPARE(window->colorTable.value(2), QColor(0x30, 0x30, 0x30));   // not the window's first colours
}

void TestExifRead::copyButtonsFillTheClipboard()
{
    useTool(writeOutputTool(QStringLiteral("copy.sh"), standInOutput));
    QVERIFY(window->openFile(dng));
    QVERIFY(waitForReads());
    QTest::mouseClick(window->exifWindow->copyTextButton, Qt::LeftButton);
    const QMimeData *copied = QApplication::clipboard()->mimeData();
    QVERIFY(copied && !copied->hasHtml());
    QCOMPARE(copied->text(), exifTagsText(window->exifWindow->tagLines()));
    QTest::mouseClick(window->exifWindow->copyHtmlButton, Qt::LeftButton);
    copied = QApplication::clipboard()->mimeData();
    QVERIFY(copied && copied->hasHtml());
    QVERIFY(copied->html().contains(QString::fromUtf8("Stand-in \xc3\x98 Mark II")));
    QVERIFY(copied->html().contains(QStringLiteral("<table >")));   // not full width
}

void TestExifRead::emptyAnswerLeavesTheButtonOff()
{
    useTool(writeTool(QStringLiteral("silent.sh"), "#!/bin/sh\necho 'Error: unknown file' >&2\nexit 1\n"));
    QVERIFY(window->openFile(dng));
    QVERIFY(waitForReads());
    QCOMPARE(window->exifWindow->html(), QStringLiteral("Empty EXIF data"));
    QVERIFY(!window->exifButton->isEnabled());
    QVERIFY(window->exifButton->isHidden());
    QVERIFY(!window->exifAction->isEnabled());
    QCOMPARE(window->metadataPanel.label->text(), window->image->infoHtml);
}

void TestExifRead::answerWithoutNamesKeepsDecoderSummary()
{
    useTool(writeOutputTool(QStringLiteral("nameless.sh"), QStringLiteral("---- File ----\nFile Name\texif.dng\n")));
    QVERIFY(window->openFile(dng));
    QVERIFY(waitForReads());
    QCOMPARE(window->exifWindow->tagLines().size(), 2);
    QVERIFY(window->exifButton->isEnabled());
    QCOMPARE(window->metadataPanel.label->text(), window->image->infoHtml);
    QVERIFY(window->exifMake.isEmpty());
}

void TestExifRead::unusablePathStartsNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty") << "empty";
    QTest::newRow("not executable") << "plain";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("missing") << "missing";
}

void TestExifRead::unusablePathStartsNothing()
{
    QFETCH(QString, kind);
    QString path;
    if (kind == QLatin1String("plain"))
        path = writeTool(QStringLiteral("plain.sh"), "#!/bin/sh\necho 'Make\tX'\n", false);
    else if (kind == QLatin1String("folder"))
        path = QFileInfo(dng).absolutePath();
    else if (kind == QLatin1String("missing"))
        path = fixture->path(QStringLiteral("no-exiftool"));
    useTool(path);
    QVERIFY(window->openFile(dng));
    QVERIFY(window->findChildren<TW_ExifProcess *>().isEmpty());
    QCOMPARE(window->exifWindow->html(), QStringLiteral("Waiting for file load"));
    QCOMPARE(window->metadataPanel.label->text(), window->image->infoHtml);
    QVERIFY(window->exifButton->isHidden());
    QVERIFY(!window->exifAction->isEnabled());
}

void TestExifRead::laterFileKeepsItsOwnTags()
{
    // The first file's answer comes last.
    const QString first = fixture->writeDng(QStringLiteral("first.dng"), {{64, 48, 300}});
    const QString second = fixture->writeDng(QStringLiteral("second.dng"), {{64, 48, 400}});
    useTool(writeTool(QStringLiteral("named.sh"), "#!/bin/sh\n"
                                                  "for last; do :; done\n"
                                                  "case \"$last\" in *first*) sleep 1;; esac\n"
                                                  "printf 'File Name\\t%s\\n' \"${last##*/}\"\n"));
    QVERIFY(window->openFile(first));
    QVERIFY(window->openFile(second));
    QVERIFY(waitForReads());
    QCOMPARE(window->exifWindow->tagLines(), QStringList{"File Name\tsecond.dng"});

    // Stepping back to the first file while the second's answer is out.
    QVERIFY(window->openFile(first));
    QVERIFY(window->openFile(second));
    QVERIFY(window->openFile(first));
    QVERIFY(waitForReads());
    QCOMPARE(window->exifWindow->tagLines(), QStringList{"File Name\tfirst.dng"});
}

void TestExifRead::frameChangeReadsTheTagsAgain()
{
    const QString frames = fixture->writeDng(QStringLiteral("frames.dng"), {{64, 48, 300}, {64, 48, 700}});
    useTool(writeOutputTool(QStringLiteral("frames.sh"), standInOutput));
    QVERIFY(window->openFile(frames));
    QVERIFY(waitForReads());
    window->frameCombo->setCurrentIndex(1);
    QCOMPARE(window->image->frameNumber, 2);
    QVERIFY(waitForReads());
    QCOMPARE(window->exifWindow->tagLines(), standInOutput.split('\n', Qt::SkipEmptyParts));
    QCOMPARE(window->exifMake, QStringLiteral("Kaldris"));
    QVERIFY(window->exifButton->isEnabled());
}

void TestExifRead::closingWindowEndsRunningReads()
{
    useTool(writeTool(QStringLiteral("stuck.sh"), "#!/bin/sh\nexec sleep 30\n"));
    QVERIFY(window->openFile(dng));
    const QList<TW_ExifProcess *> running = window->findChildren<TW_ExifProcess *>();
    QCOMPARE(running.size(), 1);
    QCOMPARE(window->exifWindow->html(), QStringLiteral("Waiting for EXIF parsing"));
    QVERIFY(running.first()->waitForStarted());
    const qint64 pid = running.first()->processId();
    window.reset();
    QVERIFY(processGone(pid));
}

void TestExifRead::realExifTool()
{
    if (!QFileInfo(exiftool).isExecutable())
        QSKIP("exiftool is not installed");
    // The access time may move between the two runs.
    const QString options = QStringLiteral("-g --FileAccessDate");
    useTool(exiftool, options);
    QVERIFY(window->openFile(dng));
    QVERIFY(waitForReads(30000));
    QCOMPARE(window->exifMake, QStringLiteral("Kaldris"));
    QCOMPARE(window->exifModel, QStringLiteral("Test Camera"));
    QCOMPARE(window->exifExposure, QStringLiteral("1/125s"));
    QCOMPARE(window->exifFNumber, QStringLiteral("f/8.0"));
    QVERIFY(window->metadataPanel.label->text().contains(QStringLiteral("<b>1/125s f/8.0 @ISO 100</b>")));

    QProcess p;
    p.start(exiftool, options.split(' ') << QStringLiteral("-t") << dng);
    QVERIFY(p.waitForFinished(30000));
    const QStringList expected = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QVERIFY(expected.size() > 10);
    QCOMPARE(window->exifWindow->tagLines(), expected);
}

TW_REGISTER_TEST(TestExifRead)
#include "TestExifRead.moc"
