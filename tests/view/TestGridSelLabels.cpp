#include "GridSelLabels.h"
#include "TestRegistry.h"

#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <memory>

namespace {

// The box of the pixels that differ from white; null when there are none.
QRect inkBox(const QImage &image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                box |= QRect(x, y, 1, 1);
    return box;
}

QImage render(QGraphicsScene &scene, const QRectF &area, double zoom)
{
    QImage image(int(area.width() * zoom), int(area.height() * zoom), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    scene.render(&p, QRectF(image.rect()), area);
    return image;
}

QFont arial(int points)
{
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(points);
    return f;
}

}

// The labels a grid draws from one item look and sit as a text item with
// the same HTML ("number<br/>name") in the same font would.
class TestGridSelLabels : public QObject
{
    Q_OBJECT

private slots:
    void drawnWhereATextItemDrawsThem_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("name");
        QTest::newRow("30 pt") << 30 << 1.0 << QStringLiteral("A1");
        QTest::newRow("12 pt") << 12 << 1.0 << QStringLiteral("CU99");
        QTest::newRow("75 pt at 0.2") << 75 << 0.2 << QStringLiteral("1Z");
        QTest::newRow("3 pt at 4") << 3 << 4.0 << QStringLiteral("0101");
    }
    void drawnWhereATextItemDrawsThem()
    {
        QFETCH(int, points);
        QFETCH(double, zoom);
        QFETCH(QString, name);
        const QRectF area(0, 0, 400, 300);
        const QPointF at(37.5, 41.25);

        QGraphicsScene ours;
        auto *labels = new GridSelLabels(1, arial(points), Qt::red, nullptr);
        ours.addItem(labels);
        labels->setTexts({128}, {name});
        labels->setLabelPos(0, at);
        labels->positionsChanged();

        QGraphicsScene theirs;
        auto *text = new QGraphicsTextItem;
        theirs.addItem(text);
        text->setDefaultTextColor(Qt::red);
        text->setFont(arial(points));
        text->setHtml(QStringLiteral("%1<br/>%2").arg(128).arg(name));
        text->setPos(at);

        QCOMPARE(labels->labels().at(0)->toPlainText(), text->toPlainText());
        QCOMPARE(labels->labels().at(0)->pos(), text->pos());
        QCOMPARE(labels->labels().at(0)->font(), text->font());
        const QRectF box = labels->boundingRect(), textBox = text->mapRectToScene(text->boundingRect());
        QVERIFY2(std::abs(box.left() - textBox.left()) < 0.5 && std::abs(box.top() - textBox.top()) < 0.5
                     && std::abs(box.width() - textBox.width()) < 1.5 && std::abs(box.height() - textBox.height()) < 1.5,
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));

        const QRect ink = inkBox(render(ours, area, zoom)), textInk = inkBox(render(theirs, area, zoom));
        QVERIFY(!textInk.isNull());
        QVERIFY2(!ink.isNull(), "nothing drawn");
        const int slack = 2;
        QVERIFY2(std::abs(ink.left() - textInk.left()) <= slack && std::abs(ink.top() - textInk.top()) <= slack
                     && std::abs(ink.right() - textInk.right()) <= slack
                     && std::abs(ink.bottom() - textInk.bottom()) <= slack,
                 qPrintable(QStringLiteral("ink %1,%2-%3,%4, a text item's %5,%6-%7,%8")
                                .arg(ink.left()).arg(ink.top()).arg(ink.right()).arg(ink.bottom())
                                .arg(textInk.left()).arg(textInk.top()).arg(textInk.right()).arg(textInk.bottom())));
    }

    // Labels follow their moves, fonts and visibility; clicks between them
    // are not theirs.
    void movesFontsAndHits()
    {
        QGraphicsScene scene;
        auto *labels = new GridSelLabels(2, arial(20), Qt::red, nullptr);
        scene.addItem(labels);
        labels->setTexts({1, 2}, {QStringLiteral("A1"), QStringLiteral("A2")});
        labels->setLabelPos(0, QPointF(10, 10));
        labels->setLabelPos(1, QPointF(300, 10));
        labels->positionsChanged();
        QCOMPARE(labels->labels().at(1)->toPlainText(), QStringLiteral("2\nA2"));
        const QRectF before = labels->boundingRect();
        QVERIFY(before.contains(QPointF(310, 20)));
        QVERIFY(labels->contains(QPointF(15, 15)));
        QVERIFY(labels->contains(QPointF(305, 15)));
        QVERIFY(!labels->contains(QPointF(200, 15)));
        QVERIFY(scene.items(QPointF(200, 15)).isEmpty());
        QCOMPARE(scene.items(QPointF(15, 15)).size(), 1);

        labels->setLabelPos(1, QPointF(500, 200));
        labels->positionsChanged();
        QVERIFY(labels->boundingRect().contains(QPointF(510, 210)));
        QVERIFY(!labels->contains(QPointF(305, 15)));
        QCOMPARE(scene.items(QPointF(510, 210)).size(), 1);
        QVERIFY(!inkBox(render(scene, QRectF(480, 180, 100, 100), 1)).isNull());

        labels->setLabelFont(arial(40));
        QCOMPARE(labels->labels().at(0)->font().pointSize(), 40);
        QVERIFY(labels->boundingRect().height() > before.height() * 1.5);

        labels->setVisible(false);
        QVERIFY(!labels->labels().at(0)->isVisible());
        QVERIFY(inkBox(render(scene, QRectF(0, 0, 600, 400), 1)).isNull());
    }
};

TW_REGISTER_TEST(TestGridSelLabels)
#include "TestGridSelLabels.moc"
