#include "TW_splash.h"
#include "TestRegistry.h"

#include <QPushButton>
#include <QTest>

class TestSplash : public QObject
{
    Q_OBJECT
private slots:
    void escapeOnlyClosesTheAboutBox();
    void handsOverOnce();
};

void TestSplash::escapeOnlyClosesTheAboutBox()
{
    TW_splash splash(nullptr, nullptr);
    QCOMPARE(splash.size(), QSize(550, 300));
    splash.show();
    QVERIFY(QTest::qWaitForWindowExposed(&splash));
    QTest::keyClick(&splash, Qt::Key_Escape);
    QVERIFY(splash.isVisible());

    splash.escapeBlocked = 0;
    QTest::keyClick(&splash, Qt::Key_Escape);
    QVERIFY(!splash.isVisible());
}

void TestSplash::handsOverOnce()
{
    TW_splash splash(nullptr, nullptr);
    splash.show();
    QVERIFY(splash.okButton->isHidden());
    splash.runMainWindow();
    QVERIFY(splash.started);
    QVERIFY(!splash.isVisible());
    QVERIFY(!splash.okButton->isHidden());
    splash.show();
    // The 2000 ms timer finds the hand-over done and leaves the box alone.
    splash.runMainWindow();
    QVERIFY(splash.isVisible());
}

TW_REGISTER_TEST(TestSplash)
#include "TestSplash.moc"
