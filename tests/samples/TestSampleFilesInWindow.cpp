// Saving from the real samples window of the real main window over a
// generated DNG, the save dialog answered as a user would.
#include "MainWindowFixture.h"
#include "RawImage.h"
#include "SamplesController.h"
#include "SamplesTableData.h"
#include "TW_FileDialog.h"
#include "TW_SamplesSaveOptions.h"
#include "TW_SaveDialog.h"
#include "TessivaneSampleWindow.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

QByteArray contents(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

// Runs `work`; the save dialog it opens gets `choose` on its options and
// `path` accepted; message boxes are closed and their texts kept.
struct DialogAnswers {
    int dialogs = 0;
    QStringList boxes;
};

DialogAnswers answering(const QString &path, const std::function<void(TW_SamplesSaveOptions &)> &choose,
                        const std::function<void()> &work)
{
    DialogAnswers answers;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&]() {
        QWidget *w = QApplication::activeModalWidget();
        if (auto *box = qobject_cast<QMessageBox *>(w)) {
            answers.boxes << box->windowTitle() + ": " + box->text();
            box->close();
        } else if (auto *dialog = qobject_cast<TW_SaveDialog *>(w)) {
            ++answers.dialogs;
            if (auto *options = dialog->findChild<TW_SamplesSaveOptions *>(); options && choose)
                choose(*options);
            dialog->fileDialog->setOption(QFileDialog::DontConfirmOverwrite);
            dialog->fileDialog->selectFile(path);
            // Typed, as the shown dialog takes the name from its line edit.
            if (auto *edit = dialog->fileDialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(path);
            dialog->fileDialog->accept();
        }
    });
    timer.start();
    work();
    return answers;
}

}

class TestSampleFilesInWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        fixture = std::make_unique<MainWindowFixture>();
        QVERIFY(fixture->isValid());
        dngPath = fixture->writeDng(QStringLiteral("flat.dng"), {{40, 30, 500}});
        QVERIFY(!dngPath.isEmpty());
    }
    void init()
    {
        window = std::make_unique<Tessivane>();
        QVERIFY(window->openFile(dngPath));
        window->addSample(areaAt(0, 0, 4, 4), QStringLiteral("A1"));
        window->addSample(areaAt(10, 6, 8, 8), QStringLiteral("A2"));
        QVERIFY(window->samplesData->dirty);
    }
    void cleanup()
    {
        window->samplesController->askUnsaved = [](bool) { return SamplesController::UnsavedAnswer::Discard; };
        window.reset();
    }

    void tableThenAppend()
    {
        TessivaneSampleWindow *sw = window->samplesWindow;
        const QString path = fixture->path("table.csv");
        const DialogAnswers a = answering(path, [](TW_SamplesSaveOptions &o) {
            o.csvRadio->setChecked(true);
            o.filenameCheck->setChecked(true);
            o.frameNumberCheck->setChecked(true);
        }, [&] { sw->saveButton->click(); });
        QCOMPARE(a.dialogs, 1);
        QVERIFY(a.boxes.isEmpty());
        QVERIFY(!window->samplesData->dirty);
        QCOMPARE(sw->appendFileName, path);
        QVERIFY(sw->appendFile->isEnabled());
        QCOMPARE(sw->saveButton->text(), QStringLiteral("Save Samples"));
        const QByteArray first = contents(path);
        QVERIFY(first.startsWith("\"Filename\",\"Frame\",\"Id\",\"Sample_Name\",\"Ravg\",\"Gavg\",\"Bavg\",\"G2avg\"\n"
                                 "\"flat.dng\",1,1,\"A1\","));
        QCOMPARE(first.count('\n'), 3);
        QCOMPARE(QFileInfo(window->lastFolder()).canonicalFilePath(), QFileInfo(path).canonicalPath());

        sw->appendFile->click();
        QCOMPARE(sw->saveButton->text(), QStringLiteral("Append File"));
        window->addSample(areaAt(20, 20, 2, 2), QStringLiteral("A3"));
        QCOMPARE(sw->saveButton->text(), QStringLiteral("Append File *"));
        const DialogAnswers b = answering(QString(), {}, [&] { sw->saveButton->click(); });
        QCOMPARE(b.dialogs, 0);
        const QByteArray second = contents(path);
        QVERIFY(second.startsWith(first));
        QCOMPARE(second.count('\n'), 6);
        QVERIFY(!second.mid(first.size()).contains("Filename"));
        QVERIFY(!window->samplesData->dirty);
    }

    void cgatsDisablesAppending()
    {
        TessivaneSampleWindow *sw = window->samplesWindow;
        answering(fixture->path("t.csv"), [](TW_SamplesSaveOptions &o) { o.csvRadio->setChecked(true); },
                  [&] { sw->saveButton->click(); });
        sw->appendFile->click();
        window->addSample(areaAt(1, 1, 2, 2), QString());
        // With the box ticked no dialog would come; untick it to choose CGATS.
        sw->appendFile->click();
        const QString path = fixture->path("out.txt");
        const DialogAnswers a = answering(path, [](TW_SamplesSaveOptions &o) {
            o.cgatsRadio->setChecked(true);
            o.stdDevCheck->setChecked(true);
        }, [&] { window->saveSamplesProxy(); });
        QCOMPARE(a.dialogs, 1);
        QVERIFY(!sw->appendFile->isEnabled());
        QVERIFY(!sw->appendFile->isChecked());
        const QString text = QString::fromUtf8(contents(path));
        QVERIFY(text.startsWith("CGATS.17\n"));
        QVERIFY(text.contains(QStringLiteral("DESCRIPTOR\t\"Filename='%1' Frame=1\"\n")
                                  .arg(QFileInfo(dngPath).canonicalFilePath())));
        QVERIFY(text.contains(QStringLiteral("DESCRIPTOR\t\"%1\"\n").arg(window->cameraInfoText())));
        QVERIFY(text.contains("DESCRIPTOR\t\"DataRange="));
        QVERIFY(text.contains("NUMBER_OF_SETS\t3\n"));
    }

    void coordinatesReloadAndFlatFieldCorrects()
    {
        TessivaneSampleWindow *sw = window->samplesWindow;
        const QString tws = fixture->path("s.tws");
        answering(tws, [](TW_SamplesSaveOptions &o) { o.coordinatesRadio->setChecked(true); },
                  [&] { sw->saveButton->click(); });
        QVERIFY(!sw->appendFile->isEnabled());
        const QString ffd = fixture->path("s.ffd");
        answering(ffd, [](TW_SamplesSaveOptions &o) { o.flatFieldRadio->setChecked(true); },
                  [&] { sw->saveButton->click(); });

        window->clearSamplesAll();
        QCOMPARE(window->samplesController->loadSamplesFile(tws, false), 2);
        QCOMPARE(window->samplesData->samples[1]->name, QStringLiteral("A2"));
        QCOMPARE(window->samplesData->samples[1]->area.left, 10);
        QCOMPARE(window->samplesData->samples[1]->area.width, 8);

        // Divided by its own flat field, every sample reads the largest
        // average of its channel.
        const QString csv = fixture->path("flat.csv");
        const DialogAnswers a = answering(csv, [&](TW_SamplesSaveOptions &o) {
            o.csvRadio->setChecked(true);
            o.flatFieldGroup->setChecked(true);
            o.flatFieldEdit->setText(ffd);
            o.matchByNameCheck->setChecked(true);
            for (QCheckBox *c : {o.filenameCheck, o.frameNumberCheck, o.coordinatesCheck, o.extremesCheck, o.stdDevCheck})
                c->setChecked(false);
        }, [&] { sw->saveButton->click(); });
        QVERIFY2(a.boxes.isEmpty(), qPrintable(a.boxes.join("; ")));
        const QList<QByteArray> lines = contents(csv).split('\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QByteArray("\"Id\",\"Sample_Name\",\"Ravg\",\"Gavg\",\"Bavg\",\"G2avg\""));
        QCOMPARE(lines[1].mid(lines[1].indexOf("\",")), lines[2].mid(lines[2].indexOf("\",")));
    }

    void failedSaveSaysSoAndKeepsTheSamples()
    {
        TessivaneSampleWindow *sw = window->samplesWindow;
        const QString blocker = fixture->path("blocker");
        {
            QFile f(blocker);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QString path = blocker + "/x.csv";
        const DialogAnswers a = answering(path, [](TW_SamplesSaveOptions &o) { o.csvRadio->setChecked(true); },
                                          [&] { QVERIFY(!sw->saveSamples({-1, -1, -1})); });
        QCOMPARE(a.boxes.size(), 1);
        QVERIFY2(a.boxes[0].startsWith("File open error: Cannot create file " + path + ": "), qPrintable(a.boxes[0]));
        QVERIFY(window->samplesData->dirty);
        QVERIFY(sw->appendFileName.isEmpty());
        QVERIFY(!sw->appendFile->isEnabled());
    }

private:
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
    QString dngPath;
};

TW_REGISTER_TEST(TestSampleFilesInWindow)
#include "TestSampleFilesInWindow.moc"
