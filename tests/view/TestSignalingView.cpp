#include "TW_SignalingView.h"
#include "TestRegistry.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <memory>

class TestSignalingView : public QObject
{
    Q_OBJECT

    std::unique_ptr<QGraphicsScene> scene;
    std::unique_ptr<TW_SignalingView> view;

    void sendMove(Qt::KeyboardModifiers modifiers, QPoint at)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(at), view->viewport()->mapToGlobal(QPointF(at)), Qt::NoButton,
                         Qt::NoButton, modifiers);
        QApplication::sendEvent(view->viewport(), &move);
    }
    void sendKey(QEvent::Type type, int key, bool autoRepeat)
    {
        QKeyEvent event(type, key, Qt::NoModifier, QString(), autoRepeat);
        QApplication::sendEvent(view.get(), &event);
    }

private slots:
    void init()
    {
        scene = std::make_unique<QGraphicsScene>(0, 0, 100, 80);
        view = std::make_unique<TW_SignalingView>();
        view->setScene(scene.get());
        view->resize(200, 200);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }
    void cleanup()
    {
        view.reset();
        scene.reset();
    }

    void clicks_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("starts");
        QTest::addColumn<int>("samplers");
        QTest::newRow("Shift starts a selection") << int(Qt::ShiftModifier) << 1 << 0;
        QTest::newRow("Alt places a sampler") << int(Qt::AltModifier) << 0 << 1;
        QTest::newRow("plain click scrolls") << int(Qt::NoModifier) << 0 << 0;
    }
    void clicks()
    {
        QFETCH(int, modifiers);
        QFETCH(int, starts);
        QFETCH(int, samplers);
        QSignalSpy start(view.get(), &TW_SignalingView::ev_startSelection);
        QSignalSpy end(view.get(), &TW_SignalingView::ev_endSelection);
        QSignalSpy sampler(view.get(), &TW_SignalingView::ev_placeSampler);
        const QPoint at(60, 70);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::KeyboardModifiers(modifiers), at);
        QCOMPARE(start.count(), starts);
        QCOMPARE(end.count(), starts);
        QCOMPARE(sampler.count(), samplers);
        if (starts)
            QCOMPARE(start.first().at(0).toPointF(), view->mapToScene(at));
        if (samplers)
            QCOMPARE(sampler.first().at(0).toPointF(), view->mapToScene(at));
    }

    void movesCarryControlState()
    {
        QSignalSpy pressed(view.get(), &TW_SignalingView::ev_ControlPressed);
        QSignalSpy released(view.get(), &TW_SignalingView::ev_ControlReleased);
        QSignalSpy moved(view.get(), &TW_SignalingView::ev_updateMouseMove);
        QVERIFY(view->viewport()->hasMouseTracking());
        sendMove(Qt::ControlModifier, QPoint(10, 10));
        sendMove(Qt::ControlModifier, QPoint(11, 10));
        sendMove(Qt::NoModifier, QPoint(12, 10));
        QCOMPARE(pressed.count(), 2);
        QCOMPARE(released.count(), 1);
        QCOMPARE(moved.count(), 3);
        QCOMPARE(moved.last().at(0).toPointF(), view->mapToScene(QPoint(12, 10)));
    }

    void keyRepeatsDropped()
    {
        QSignalSpy altShift(view.get(), &TW_SignalingView::ev_AltShiftPressed);
        QSignalSpy altShiftUp(view.get(), &TW_SignalingView::ev_AltShiftReleased);
        QSignalSpy control(view.get(), &TW_SignalingView::ev_ControlPressed);
        QSignalSpy controlUp(view.get(), &TW_SignalingView::ev_ControlReleased);
        sendKey(QEvent::KeyPress, Qt::Key_Shift, false);
        sendKey(QEvent::KeyPress, Qt::Key_Shift, true);
        sendKey(QEvent::KeyPress, Qt::Key_Shift, true);
        sendKey(QEvent::KeyRelease, Qt::Key_Shift, true);
        sendKey(QEvent::KeyRelease, Qt::Key_Shift, false);
        sendKey(QEvent::KeyPress, Qt::Key_Alt, false);
        sendKey(QEvent::KeyRelease, Qt::Key_Alt, false);
        sendKey(QEvent::KeyPress, Qt::Key_Control, false);
        sendKey(QEvent::KeyPress, Qt::Key_Control, true);
        sendKey(QEvent::KeyRelease, Qt::Key_Control, false);
        QCOMPARE(altShift.count(), 2);
        QCOMPARE(altShiftUp.count(), 3);
        QCOMPARE(control.count(), 1);
        QCOMPARE(controlUp.count(), 1);
    }

    void drops_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("dropped");
        QTest::newRow("local file") << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/photos/a b.CR2")),
                                                   QUrl::fromLocalFile(QStringLiteral("/photos/c.dng"))}
                                    << QStringLiteral("/photos/a b.CR2");
        QTest::newRow("web address") << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.cr2"))} << QString();
    }
    void drops()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, dropped);
        QSignalSpy spy(view.get(), &TW_SignalingView::ev_fileDropped);
        QMimeData data;
        data.setUrls(urls);
        const QPointF at(20, 20);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(spy.count(), dropped.isEmpty() ? 0 : 1);
        if (!dropped.isEmpty())
            QCOMPARE(spy.first().at(0).toString(), dropped);
    }

    void resizeSignals()
    {
        QSignalSpy resized(view.get(), &TW_SignalingView::ev_Resized);
        view->resize(260, 240);
        QTRY_VERIFY(resized.count() >= 1);
    }
};

TW_REGISTER_TEST(TestSignalingView)
#include "TestSignalingView.moc"
