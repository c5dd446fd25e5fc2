#include "FolderStepper.h"
#include "RecentFiles.h"
#include "SettingsSandbox.h"
#include "TestRegistry.h"
#include "WorkingFolder.h"

#include <QDateTime>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestFileOpening : public QObject
{
    Q_OBJECT

    std::unique_ptr<SettingsSandbox> sandbox;
    std::unique_ptr<QTemporaryDir> folder;

    // Writes size bytes and dates the file minutesAgo before now.
    void makeFile(const QString &name, int size, int minutesAgo)
    {
        QFile f(folder->filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
        QVERIFY(f.flush());   // a write at close would date the file anew
        const QDateTime when = QDateTime::currentDateTime().addSecs(-60 * minutesAgo);
        QVERIFY(f.setFileTime(when, QFileDevice::FileModificationTime));
        f.close();
    }
    QString path(const QString &name) const { return folder->filePath(name); }
    static QStringList names(const QFileInfoList &list)
    {
        QStringList out;
        for (const QFileInfo &fi : list)
            out << fi.fileName();
        return out;
    }

private slots:
    void initTestCase()
    {
        sandbox = std::make_unique<SettingsSandbox>();
        QVERIFY(sandbox->isValid());
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
        // Names, sizes and ages chosen so that the three orders differ.
        makeFile(QStringLiteral("a.cr2"), 300, 10);
        makeFile(QStringLiteral("B.CR2"), 100, 30);
        makeFile(QStringLiteral("c.dng"), 200, 20);
        makeFile(QStringLiteral("d.NEF"), 400, 40);
        makeFile(QStringLiteral("notes.txt"), 50, 5);
        makeFile(QStringLiteral("e.foo"), 60, 50);
        QVERIFY(QDir(folder->path()).mkdir(QStringLiteral("sub.dng")));
    }

    void recentList_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("removeOnly");
        QTest::addColumn<QStringList>("after");
        QStringList full;
        for (int i = 25; i >= 1; --i)
            full << QStringLiteral("/p/f%1.cr2").arg(i);
        QStringList shifted = full.mid(0, 24);
        shifted.prepend(QStringLiteral("/p/f26.cr2"));
        QTest::newRow("26th file drops the oldest") << full << QStringLiteral("/p/f26.cr2") << false << shifted;
        QStringList moved = full;
        moved.move(moved.indexOf(QStringLiteral("/p/f3.cr2")), 0);
        QTest::newRow("known file moves to the top") << full << QStringLiteral("/p/f3.cr2") << false << moved;
        QTest::newRow("duplicates collapse") << QStringList{"/a", "/b", "/a"} << QStringLiteral("/a") << false
                                             << QStringList{"/a", "/b"};
        QTest::newRow("remove only") << QStringList{"/a", "/b", "/a"} << QStringLiteral("/a") << true
                                     << QStringList{"/b"};
        QTest::newRow("paths differing in case are two files")
            << QStringList{"/p/IMG.CR2"} << QStringLiteral("/p/img.cr2") << false
            << QStringList{"/p/img.cr2", "/p/IMG.CR2"};
    }
    void recentList()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, path);
        QFETCH(bool, removeOnly);
        QFETCH(QStringList, after);
        QCOMPARE(RecentFiles::updated(before, path, removeOnly), after);
    }

    void recentListPersists()
    {
        RecentFiles::write({});
        for (int i = 1; i <= 26; ++i)
            RecentFiles::add(QStringLiteral("/p/f%1.cr2").arg(i));
        RecentFiles::add(QStringLiteral("/p/f10.cr2"));
        const QStringList stored = QSettings(QStringLiteral("Kaldris LLC"), QStringLiteral("Tessivane"))
                                       .value(QStringLiteral("recentFileList"))
                                       .toStringList();
        QCOMPARE(stored.size(), 25);
        QCOMPARE(stored.first(), QStringLiteral("/p/f10.cr2"));
        QCOMPARE(stored[1], QStringLiteral("/p/f26.cr2"));
        QCOMPARE(stored.last(), QStringLiteral("/p/f2.cr2"));
        QCOMPARE(stored.count(QStringLiteral("/p/f10.cr2")), 1);
        QCOMPARE(RecentFiles::read(), stored);
        RecentFiles::add(QStringLiteral("/p/f10.cr2"), true);
        QVERIFY(!RecentFiles::read().contains(QStringLiteral("/p/f10.cr2")));
    }

    void recentActionText()
    {
        QCOMPARE(RecentFiles::actionText(0, QStringLiteral("/photos/2024/name.cr2")), QStringLiteral("&1 name.cr2"));
        QCOMPARE(RecentFiles::actionText(11, QStringLiteral("/x/R&D.dng")), QStringLiteral("&12 R&&D.dng"));
    }

    void filters()
    {
        const QStringList builtIn = FolderStepper::rawFileExtensions().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(builtIn.size(), 47);
        QVERIFY(FolderStepper::rawFileExtensions().endsWith(QLatin1Char(' ')));
        QCOMPARE(FolderStepper::openFilter(QStringLiteral("*.foo")),
                 QStringLiteral("*.foo ") + FolderStepper::rawFileExtensions());
        // A one-character value joins stepping only.
        QCOMPARE(FolderStepper::openFilter(QStringLiteral("x")), FolderStepper::rawFileExtensions());
        QCOMPARE(FolderStepper::stepPatterns(QStringLiteral("x")).first(), QStringLiteral("x"));
        QCOMPARE(FolderStepper::stepPatterns(QString()), builtIn);

        const QString text = FolderStepper::dialogFilterText(FolderStepper::openFilter(QStringLiteral("*.foo")));
        QVERIFY(text.startsWith(QStringLiteral("Raw files(*.foo *.arw ")));
        QVERIFY(text.endsWith(QStringLiteral(");;All files (*.*)")));
        QVERIFY(text.contains(QStringLiteral(" *.CR2")));
        QVERIFY(text.contains(QStringLiteral(" *.FOO")));
        QCOMPARE(text.count(QStringLiteral("*.dng")), 1);
    }

    void listingOrders_data()
    {
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("listing");
        QTest::newRow("name, case ignored") << 0 << QStringList{"a.cr2", "B.CR2", "c.dng", "d.NEF"};
        // QDir's time and size orders put the newest and the largest first.
        QTest::newRow("modify time") << 1 << QStringList{"a.cr2", "c.dng", "B.CR2", "d.NEF"};
        QTest::newRow("size") << 2 << QStringList{"d.NEF", "a.cr2", "c.dng", "B.CR2"};
    }
    void listingOrders()
    {
        QFETCH(int, order);
        QFETCH(QStringList, listing);
        const QStringList patterns = FolderStepper::stepPatterns(QString());
        QCOMPARE(names(FolderStepper::folderEntries(folder->path(), patterns, order)), listing);
        for (int i = 0; i < listing.size(); ++i) {
            const QString next = FolderStepper::stepTarget(path(listing[i]), +1, patterns, order);
            const QString prev = FolderStepper::stepTarget(path(listing[i]), -1, patterns, order);
            QCOMPARE(next, i + 1 < listing.size() ? path(listing[i + 1]) : QString());
            QCOMPARE(prev, i > 0 ? path(listing[i - 1]) : QString());
        }
    }

    void unsortedListing()
    {
        const QStringList patterns = FolderStepper::stepPatterns(QString());
        const QStringList listing = names(FolderStepper::folderEntries(folder->path(), patterns, 3));
        QCOMPARE(QSet<QString>(listing.begin(), listing.end()),
                 (QSet<QString>{"a.cr2", "B.CR2", "c.dng", "d.NEF"}));
        for (int i = 0; i + 1 < listing.size(); ++i)
            QCOMPARE(FolderStepper::stepTarget(path(listing[i]), +1, patterns, 3), path(listing[i + 1]));
    }

    void additionalExtensionsStep()
    {
        const QStringList patterns = FolderStepper::stepPatterns(QStringLiteral("*.foo"));
        QCOMPARE(FolderStepper::stepTarget(path(QStringLiteral("d.NEF")), +1, patterns, 0), path(QStringLiteral("e.foo")));
        QCOMPARE(FolderStepper::stepTarget(path(QStringLiteral("e.foo")), +1, patterns, 0), QString());
    }

    void baseNotListed()
    {
        const QStringList patterns = FolderStepper::stepPatterns(QString());
        QCOMPARE(FolderStepper::stepTarget(path(QStringLiteral("gone.cr2")), +1, patterns, 0), QString());
        QCOMPARE(FolderStepper::stepTarget(path(QStringLiteral("notes.txt")), +1, patterns, 0), QString());
        QCOMPARE(FolderStepper::stepTarget(QString(), +1, patterns, 0), QString());
        // A spelling that differs in case names another file on Linux.
        QCOMPARE(FolderStepper::stepTarget(path(QStringLiteral("A.CR2")), +1, patterns, 0), QString());
    }

    void namesDifferingInCase()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const char *name : {"IMG.CR2", "img.cr2", "z.cr2"}) {
            QFile f(dir.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QStringList patterns = FolderStepper::stepPatterns(QString());
        const QStringList listing = names(FolderStepper::folderEntries(dir.path(), patterns, 0));
        QCOMPARE(listing.size(), 3);
        QCOMPARE(listing.last(), QStringLiteral("z.cr2"));
        // Each of the twins steps from its own place.
        QCOMPARE(FolderStepper::stepTarget(dir.filePath(listing[0]), +1, patterns, 0), dir.filePath(listing[1]));
        QCOMPARE(FolderStepper::stepTarget(dir.filePath(listing[1]), +1, patterns, 0), dir.filePath(QStringLiteral("z.cr2")));
    }

    // Repeated "Next file" the way the main window runs it, with c.dng
    // failing to load.
    void movesOverFailedLoad_data()
    {
        QTest::addColumn<bool>("moveOnFailedLoad");
        QTest::addColumn<QStringList>("opened");
        QTest::newRow("on: passes over the failed file") << true << QStringList{"B.CR2", "d.NEF"};
        QTest::newRow("off: stuck before it") << false << QStringList{"B.CR2"};
    }
    void movesOverFailedLoad()
    {
        QFETCH(bool, moveOnFailedLoad);
        QFETCH(QStringList, opened);
        const QStringList patterns = FolderStepper::stepPatterns(QString());
        QString loaded = path(QStringLiteral("a.cr2"));
        QString failed;
        QStringList got, statuses;
        for (int i = 0; i < 4; ++i) {
            const QString base = FolderStepper::stepBase(loaded, failed, moveOnFailedLoad);
            const QString target = FolderStepper::stepTarget(base, +1, patterns, 0);
            if (target.isEmpty()) {
                statuses << FolderStepper::noFileText(QStringLiteral("next"));
                continue;
            }
            if (target.endsWith(QLatin1String("c.dng"))) {
                if (moveOnFailedLoad) {
                    failed = target;
                    statuses << FolderStepper::failedToLoadText(target);
                }
                continue;
            }
            loaded = target;
            failed.clear();
            got << QFileInfo(target).fileName();
        }
        QCOMPARE(got, opened);
        if (moveOnFailedLoad) {
            QVERIFY(statuses.contains(path(QStringLiteral("c.dng")) + QStringLiteral(": failed to load")));
            QVERIFY(statuses.contains(QStringLiteral("<font color=red>No next file.</font>")));
        }
        QCOMPARE(FolderStepper::stepBase(QString(), QString(), true), QString());
    }

    void workingFolder()
    {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        const QString expected = QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
        QCOMPARE(WorkingFolder::defaultFolder(), expected);
        QVERIFY(QFileInfo(WorkingFolder::defaultFolder()).isDir());

        const QString before = QDir::currentPath();
        WorkingFolder::rememberFolderOf(path(QStringLiteral("a.cr2")));
        QCOMPARE(WorkingFolder::saved(), QFileInfo(path(QStringLiteral("a.cr2"))).absolutePath());
        QVERIFY(WorkingFolder::enterSaved());
        QCOMPARE(QDir::currentPath(), QDir(folder->path()).absolutePath());
        QDir::setCurrent(before);
    }
};

TW_REGISTER_TEST(TestFileOpening)
#include "TestFileOpening.moc"
