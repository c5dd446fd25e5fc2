#include "StartDecision.h"
#include "TestRegistry.h"

#include <QTest>

class TestStartDecision : public QObject
{
    Q_OBJECT
private slots:
    void decide_data();
    void decide();
    void failedHandOverKeepsTheFile();
};

Q_DECLARE_METATYPE(StartDecision::Kind)

void TestStartDecision::decide_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("otherRunning");
    QTest::addColumn<bool>("single");
    QTest::addColumn<StartDecision::Kind>("kind");
    QTest::addColumn<int>("fileIndex");
    QTest::addColumn<QString>("handOver");

    const QString p = QStringLiteral("tessivane");
    const QString file = QStringLiteral("/photos/existing.dng");
    const QString missing = QStringLiteral("/photos/missing.dng");
    using K = StartDecision;

    QTest::newRow("alone, no file") << QStringList{p} << false << true << K::FirstInstance << 1 << QString();
    QTest::newRow("alone, file") << QStringList{p, file} << false << true << K::FirstInstance << 1 << QString();
    QTest::newRow("alone, -NewInstance file")
        << QStringList{p, QStringLiteral("-NewInstance"), file} << false << true << K::FirstInstance << 2 << QString();
    QTest::newRow("alone, -newinstance only")
        << QStringList{p, QStringLiteral("-newinstance")} << false << true << K::FirstInstance << 1 << QString();
    QTest::newRow("other, no argument") << QStringList{p} << true << true << K::ExitNow << 1 << QString();
    QTest::newRow("other, file") << QStringList{p, file} << true << true << K::HandOver << 1 << file;
    QTest::newRow("other, missing file") << QStringList{p, missing} << true << true << K::ExitNow << 1 << QString();
    QTest::newRow("other, file and more") << QStringList{p, file, missing} << true << true << K::HandOver << 1 << file;
    QTest::newRow("other, -NEWINSTANCE file")
        << QStringList{p, QStringLiteral("-NEWINSTANCE"), file} << true << true << K::SeparateInstance << 2 << QString();
    QTest::newRow("other, -newinstance missing")
        << QStringList{p, QStringLiteral("-newinstance"), missing} << true << true << K::SeparateInstance << 2
        << QString();
    QTest::newRow("other, -newinstance only")
        << QStringList{p, QStringLiteral("-newinstance")} << true << true << K::ExitNow << 1 << QString();
    QTest::newRow("other, single off, file")
        << QStringList{p, file} << true << false << K::SeparateInstance << 1 << QString();
    QTest::newRow("other, single off, -newinstance file")
        << QStringList{p, QStringLiteral("-newinstance"), file} << true << false << K::SeparateInstance << 1
        << QString();
    QTest::newRow("other, single off, no file")
        << QStringList{p} << true << false << K::SeparateInstance << 1 << QString();
}

void TestStartDecision::decide()
{
    QFETCH(QStringList, args);
    QFETCH(bool, otherRunning);
    QFETCH(bool, single);
    QFETCH(StartDecision::Kind, kind);
    QFETCH(int, fileIndex);
    QFETCH(QString, handOver);

    const auto exists = [](const QString &path) { return path == QLatin1String("/photos/existing.dng"); };
    const StartDecision d = StartDecision::decide(args, otherRunning, single, exists);
    QCOMPARE(d.kind, kind);
    QCOMPARE(d.fileIndex, fileIndex);
    QCOMPARE(d.handOverPath, handOver);
    QCOMPARE(d.exits(), kind == StartDecision::HandOver || kind == StartDecision::ExitNow);
}

void TestStartDecision::failedHandOverKeepsTheFile()
{
    const QStringList args{QStringLiteral("tessivane"), QStringLiteral("/photos/existing.dng")};
    const StartDecision d = StartDecision::decide(args, true, true, [](const QString &) { return true; });
    QCOMPARE(d.kind, StartDecision::HandOver);
    const StartDecision after = StartDecision::afterFailedHandOver(d);
    QCOMPARE(after.kind, StartDecision::SeparateInstance);
    QVERIFY(!after.exits());
    QCOMPARE(after.fileIndex, 1);

    const StartDecision none = StartDecision::decide({QStringLiteral("tessivane")}, true, true, {});
    QCOMPARE(StartDecision::afterFailedHandOver(none).kind, StartDecision::ExitNow);
}

TW_REGISTER_TEST(TestStartDecision)
#include "TestStartDecision.moc"
