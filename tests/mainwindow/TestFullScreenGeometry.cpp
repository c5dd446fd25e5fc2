#include "FullScreenGeometry.h"
#include "TestRegistry.h"

#include <QTest>

// Under a window manager the window reports the whole screen as its normal
// geometry for a while after full screen is cleared; these are the states it
// goes through.
class TestFullScreenGeometry : public QObject
{
    Q_OBJECT
private slots:
    void storedGeometry_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QRect>("stored");
        // e: entering with the window's rect; w: the window manager's own
        // full-screen key (state change only); l: leaving full screen;
        // c: closing while full screen; n: closing in a normal state.
        QTest::newRow("F11 then quit") << "ec" << QRect(40, 50, 1200, 720);
        QTest::newRow("F11 twice is one entry") << "eec" << QRect(40, 50, 1200, 720);
        QTest::newRow("window manager key") << "wc" << QRect(40, 50, 1200, 720);
        QTest::newRow("F11 then the state change") << "ewc" << QRect(40, 50, 1200, 720);
        QTest::newRow("left, then moved and quit normal") << "eln" << QRect(300, 200, 800, 600);
        QTest::newRow("left, moved, full again") << "elEc" << QRect(300, 200, 800, 600);
        QTest::newRow("never full screen") << "n" << QRect(40, 50, 1200, 720);
    }

    void storedGeometry()
    {
        QFETCH(QString, steps);
        QFETCH(QRect, stored);
        const QRect before(40, 50, 1200, 720);
        const QRect moved(300, 200, 800, 600);
        const QRect screen(0, 0, 1920, 1080);
        FullScreenGeometry g;
        bool full = false;
        QRect normal = before;
        QRect result;
        for (QChar step : steps) {
            switch (step.toLatin1()) {
            case 'E':
                normal = moved;
                [[fallthrough]];
            case 'e':
                g.entering(normal);
                g.stateChanged(full, true, screen);
                full = true;
                break;
            case 'w':
                g.stateChanged(full, true, normal);
                full = true;
                break;
            case 'l':
                g.stateChanged(true, false, screen);
                full = false;
                normal = moved;
                break;
            case 'c':
                result = g.normalGeometry(true, screen);
                break;
            case 'n':
                result = g.normalGeometry(false, normal);
                break;
            }
        }
        QCOMPARE(result, stored);
    }
};

TW_REGISTER_TEST(TestFullScreenGeometry)
#include "TestFullScreenGeometry.moc"
