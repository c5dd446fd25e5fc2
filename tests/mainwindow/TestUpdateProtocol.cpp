#include "TestRegistry.h"
#include "UpdateProtocol.h"

#include <QTest>

using Pairs = QMap<QString, QString>;

class TestUpdateProtocol : public QObject
{
    Q_OBJECT
private slots:
    void parseReply_data();
    void parseReply();
    void rules_data();
    void rules();
    void webAddress_data();
    void webAddress();
    void requestUrlNeedsAnAddress();
    void versionIsEscaped();
};

void TestUpdateProtocol::parseReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Pairs>("pairs");

    const Pairs both{{"VERSION", "1.5"}, {"URL", "http://h/p"}};
    QTest::newRow("update") << QByteArray("UPDATES YES VERSION 1.5 URL http://h/p") << both;
    QTest::newRow("NO for YES") << QByteArray("UPDATES NO VERSION 1.5 URL http://h/p") << Pairs();
    QTest::newRow("no UPDATES line") << QByteArray("VERSION 1.5 URL http://h/p\nHELLO") << Pairs();
    QTest::newRow("empty") << QByteArray() << Pairs();
    QTest::newRow("key without value") << QByteArray("UPDATES YES VERSION") << Pairs();
    QTest::newRow("only UPDATES") << QByteArray("UPDATES") << Pairs();
    QTest::newRow("spaces and empty lines")
        << QByteArray("\n\n   UPDATES   YES  VERSION    1.5     URL   http://h/p  \n\n") << both;
    QTest::newRow("trailing single word")
        << QByteArray("UPDATES YES VERSION 1.5 URL http://h/p EXTRA") << both;
    QTest::newRow("repeated key keeps the last")
        << QByteArray("UPDATES YES VERSION 1.4 URL http://h/p VERSION 1.5") << both;
    QTest::newRow("later line overrides")
        << QByteArray("UPDATES YES VERSION 1.4\nUPDATES NO URL http://x/\nUPDATES YES VERSION 1.5 URL http://h/p")
        << both;
    QTest::newRow("case matters") << QByteArray("updates yes URL http://h/p") << Pairs();
}

void TestUpdateProtocol::parseReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(Pairs, pairs);
    QCOMPARE(parseUpdateReply(reply), pairs);
}

void TestUpdateProtocol::rules_data()
{
    QTest::addColumn<int>("frequency");
    QTest::addColumn<qint64>("secondsAgo");
    QTest::addColumn<bool>("atStart");
    QTest::addColumn<bool>("periodic");

    const qint64 day = 86400;
    QTest::newRow("start, 21599 s ago") << 0 << qint64(21599) << false << false;
    QTest::newRow("start, 21600 s ago") << 0 << qint64(21600) << false << false;
    QTest::newRow("start, 21601 s ago") << 0 << qint64(21601) << true << false;
    QTest::newRow("start, a year ago") << 0 << 365 * day << true << false;
    QTest::newRow("-1 reads as start") << -1 << qint64(21601) << true << false;
    QTest::newRow("1 day, 1 day + 1 s") << 1 << day + 1 << false << true;
    QTest::newRow("7 days minus 1 s") << 3 << 7 * day - 1 << false << false;
    QTest::newRow("7 days plus 1 s") << 3 << 7 * day + 1 << false << true;
    QTest::newRow("30 days, 29 days") << 5 << 29 * day << false << false;
    QTest::newRow("9 reads as 30 days, 29 days") << 9 << 29 * day << false << false;
    QTest::newRow("9 reads as 30 days, 31 days") << 9 << 31 * day << false << true;
    QTest::newRow("never checked") << 3 << qint64(-1) << false << true;
}

void TestUpdateProtocol::rules()
{
    QFETCH(int, frequency);
    QFETCH(qint64, secondsAgo);
    QFETCH(bool, atStart);
    QFETCH(bool, periodic);

    const quint64 now = 1700000000;
    const quint64 last = secondsAgo < 0 ? 0 : now - quint64(secondsAgo);
    QCOMPARE(startUpCheckDue(frequency, last, now), atStart);
    QCOMPARE(periodicCheckDue(frequency, last, now), periodic);
}

void TestUpdateProtocol::webAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("web");

    QTest::newRow("http") << "http://h/p" << true;
    QTest::newRow("https with port") << "https://example.com:8443/x?y=1" << true;
    QTest::newRow("upper-case scheme") << "HTTP://h/" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("one character") << "x" << false;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
    QTest::newRow("no host") << "http:///p" << false;
    QTest::newRow("relative") << "/checkupdates.php" << false;
    QTest::newRow("ftp") << "ftp://h/p" << false;
}

void TestUpdateProtocol::webAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, web);
    QCOMPARE(isWebAddress(text), web);
}

void TestUpdateProtocol::requestUrlNeedsAnAddress()
{
    QVERIFY(updateRequestUrl(QString(), QStringLiteral("os")).isEmpty());
    QVERIFY(updateRequestUrl(QStringLiteral("file:///tmp/checkupdates.php"), QStringLiteral("os")).isEmpty());
    const QUrl url = updateRequestUrl(QStringLiteral("https://h/checkupdates.php"), QStringLiteral("os"));
    QCOMPARE(url.path(), QStringLiteral("/checkupdates.php"));
    QVERIFY(url.query().startsWith(QStringLiteral("version=1064978&lang=EN&platform=linux&arch=")));
    QVERIFY(url.query().endsWith(QStringLiteral("&ver=os")));
    QVERIFY(!osVersionText().isEmpty());
}

void TestUpdateProtocol::versionIsEscaped()
{
    QCOMPARE(updateAvailableText(QStringLiteral("1.5")), QStringLiteral("Tessivane update (<b>1.5</b>) available."));
    QCOMPARE(updateAvailableText(QStringLiteral("<i>x</i>")),
             QStringLiteral("Tessivane update (<b>&lt;i&gt;x&lt;/i&gt;</b>) available."));
}

TW_REGISTER_TEST(TestUpdateProtocol)
#include "TestUpdateProtocol.moc"
