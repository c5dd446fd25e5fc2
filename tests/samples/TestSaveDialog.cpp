#include "TW_FileDialog.h"
#include "TW_SaveDialog.h"
#include "TW_SimpleSaveOptions.h"
#include "TestRegistry.h"
#include "defaultSidebarUrls.h"

#include <QComboBox>
#include <QFile>
#include <QFileSystemModel>
#include <QListView>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

class RefusingOptions : public TW_GenericSaveOptions
{
public:
    bool validateOptions() override
    {
        ++asked;
        return false;
    }
    int asked = 0;
};

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

QStringList listedNames(QFileDialog *dialog)
{
    auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
    QStringList names;
    if (!view)
        return names;
    for (int i = 0; i < view->model()->rowCount(view->rootIndex()); ++i)
        names << view->model()->index(i, 0, view->rootIndex()).data().toString();
    names.sort();
    return names;
}

}

class TestSaveDialog : public QObject
{
    Q_OBJECT

private slots:
    void acceptingGivesTheFile()
    {
        QTemporaryDir dir;
        TW_SaveDialog dialog(0, QStringLiteral("Save"), dir.path(), QStringLiteral("Text Files (*.txt)"));
        QStringList order;
        connect(dialog.fileDialog, &TW_FileDialog::ev_hided, this, [&] { order << QStringLiteral("hidden"); });
        connect(dialog.fileDialog, &QFileDialog::accepted, this, [&] { order << QStringLiteral("accepted"); });
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        QTimer::singleShot(0, &dialog, [&] {
            dialog.fileDialog->selectFile(path);
            dialog.fileDialog->accept();
        });
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(dialog.selectedFiles, QStringList{path});
        QCOMPARE(dialog.selectedFilter, QStringLiteral("Text Files (*.txt)"));
        // The abort on hiding comes first; the acceptance still wins.
        QCOMPARE(order, (QStringList{"hidden", "accepted"}));

        // A second run shows the file dialog again and starts afresh.
        QTimer::singleShot(0, &dialog, [&] {
            QVERIFY(dialog.fileDialog->isVisible());
            dialog.fileDialog->reject();
        });
        QCOMPARE(dialog.exec(), 0);
        QVERIFY(dialog.selectedFiles.isEmpty());
    }

    void rejectingGivesNothing()
    {
        QTemporaryDir dir;
        TW_SaveDialog dialog(0, QStringLiteral("Save"), dir.path(), QStringLiteral("Text Files (*.txt)"));
        QTimer::singleShot(0, &dialog, [&] {
            dialog.fileDialog->selectFile(dir.filePath(QStringLiteral("out.txt")));
            dialog.fileDialog->reject();
        });
        QCOMPARE(dialog.exec(), 0);
        QVERIFY(dialog.selectedFiles.isEmpty());
    }

    void failingValidationKeepsItOpen()
    {
        QTemporaryDir dir;
        TW_SaveDialog dialog(0, QStringLiteral("Save"), dir.path(), QStringLiteral("Text Files (*.txt)"));
        auto *options = new RefusingOptions;
        dialog.setOptionsGroup(options);
        QCOMPARE(dialog.fileDialog->optionsGroup(), options);
        bool stillOpen = false;
        QTimer::singleShot(0, &dialog, [&] {
            dialog.fileDialog->selectFile(dir.filePath(QStringLiteral("out.txt")));
            dialog.fileDialog->accept();
            QCoreApplication::processEvents();
            stillOpen = dialog.isVisible() && dialog.fileDialog->isVisible();
            dialog.fileDialog->reject();
        });
        QCOMPARE(dialog.exec(), 0);
        QVERIFY(stillOpen);
        QCOMPARE(options->asked, 1);
    }

    void simpleOptionsAcceptAndLoadMode()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("coords.tws"));
        touch(path);
        TW_SaveDialog dialog(2, QStringLiteral("Load"), dir.path(), QStringLiteral("Tessivane samples (*.tws)"));
        dialog.fileDialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog.fileDialog->setFileMode(QFileDialog::ExistingFile);
        dialog.setOptionsGroup(new TW_SimpleSaveOptions);
        QTimer::singleShot(0, &dialog, [&] {
            dialog.fileDialog->selectFile(path);
            dialog.fileDialog->accept();
        });
        QCOMPARE(dialog.exec(), 1);
        QCOMPARE(dialog.selectedFiles, QStringList{path});
    }

    void sidebar()
    {
        const QString home = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
        QCOMPARE(defaultSidebarUrls(2), QList<QUrl>{QUrl::fromLocalFile(home)});
        const QList<QUrl> standard = defaultSidebarUrls(1);
        QCOMPARE(standard.size(), 5);
        QCOMPARE(standard.at(2), QUrl::fromLocalFile(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)));
        QCOMPARE(standard.at(4), QUrl::fromLocalFile(home));
        QVERIFY(defaultSidebarUrls(0).isEmpty());
        QVERIFY(defaultSidebarUrls(3).isEmpty());

        QTemporaryDir dir;
        TW_SaveDialog dialog(2, QStringLiteral("Save"), dir.path(), QStringLiteral("Text Files (*.txt)"));
        dialog.addSidebarFolder(QString());
        dialog.addSidebarFolder(dir.path());
        QCOMPARE(dialog.fileDialog->sidebarUrls(),
                 (QList<QUrl>{QUrl::fromLocalFile(dir.path()), QUrl::fromLocalFile(home)}));
    }

    void allFilesFilterMatchesNamesWithoutDot()
    {
        QTemporaryDir dir;
        touch(dir.filePath(QStringLiteral("noext")));
        touch(dir.filePath(QStringLiteral("a.txt")));
        touch(dir.filePath(QStringLiteral("b.tws")));
        TW_SaveDialog dialog(0, QStringLiteral("Load"), dir.path(),
                             QStringLiteral("Text Files (*.txt);; All files (*.*)"));
        dialog.show();
        QTRY_COMPARE(listedNames(dialog.fileDialog), QStringList{"a.txt"});
        // The user picks the last filter; its text stays as written.
        auto *combo = dialog.fileDialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QVERIFY(combo);
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        emit combo->textActivated(combo->itemText(1));
        QCOMPARE(combo->itemText(1), QStringLiteral("All files (*.*)"));
        QTRY_COMPARE(listedNames(dialog.fileDialog), (QStringList{"a.txt", "b.tws", "noext"}));

        // Chosen before the dialog shows, too.
        TW_SaveDialog second(0, QStringLiteral("Load"), dir.path(), QStringLiteral("All files (*.*)"));
        second.show();
        QTRY_COMPARE(listedNames(second.fileDialog), (QStringList{"a.txt", "b.tws", "noext"}));
    }
};

TW_REGISTER_TEST(TestSaveDialog)
#include "TestSaveDialog.moc"
