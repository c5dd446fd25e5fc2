#include "MainWindowFixture.h"
#include "RawImage.h"
#include "TW_PrefPane.h"
#include "TW_SelectionScene.h"
#include "TestRegistry.h"
#include "Tessivane.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDir>
#include <QFile>
#include <QGraphicsItem>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QTest>

#include <memory>

// What the panels and status-bar controls tell after failures, closing and
// changes of file, and that they stay in place while their numbers change.
class TestPanelTexts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void failedOpenLeavesTheShownFilesStatus();
    void failedOpenAfterUnloadLeavesNoStatus();
    void closeFileResetsTheStatusBar();
    void rawCurveButtonWithoutCurveAsBeforeAnyFile();
    void pointerTitleResetByAnotherFile();
    void exposurePercentTruncatedToOneDecimal();
    void panelsStayInPlace();
    void zoomComboHoldsItsLongestEntry();

private:
    QString brokenFile();
    std::unique_ptr<MainWindowFixture> fixture;
    std::unique_ptr<Tessivane> window;
};

void TestPanelTexts::initTestCase()
{
    fixture = std::make_unique<MainWindowFixture>();
    QVERIFY(fixture->isValid());
}

void TestPanelTexts::init()
{
    window = std::make_unique<Tessivane>();
}

void TestPanelTexts::cleanup()
{
    window.reset();
}

QString TestPanelTexts::brokenFile()
{
    const QString broken = fixture->path(QStringLiteral("broken.dng"));
    QFile f(broken);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    f.write("II*\0garbage that is no raw file", 31);
    return broken;
}

void TestPanelTexts::failedOpenLeavesTheShownFilesStatus()
{
    const QString good = fixture->writeDng(QStringLiteral("good.dng"), {{300, 200, 500}});
    QVERIFY(window->openFile(good));
    const QString shown = window->statusLabel->text();
    const QString broken = brokenFile();
    QVERIFY(!broken.isEmpty());
    MainWindowFixture::closingMessageBoxes([&]() { QVERIFY(!window->openFile(broken)); });
    QVERIFY(window->image);
    QCOMPARE(window->statusLabel->text(), shown);
}

void TestPanelTexts::failedOpenAfterUnloadLeavesNoStatus()
{
    const QString good = fixture->writeDng(QStringLiteral("good-unload.dng"), {{300, 200, 500}});
    QVERIFY(window->openFile(good));
    window->prefPane->setPrefValue(QStringLiteral("unloadBeforeLoad"), 1);
    const QString broken = brokenFile();
    MainWindowFixture::closingMessageBoxes([&]() { QVERIFY(!window->openFile(broken)); });
    QVERIFY(!window->image);
    QCOMPARE(window->statusLabel->text(), QString());
}

void TestPanelTexts::closeFileResetsTheStatusBar()
{
    const Tessivane fresh;
    QVERIFY(QDir().mkpath(fixture->path(QStringLiteral("alone"))));
    const QString good = fixture->writeDngOf(QStringLiteral("alone/black.dng"), 64, 48,
                                             [](int x, int y) { return (unsigned short)(200 + x + y); });
    QVERIFY(!good.isEmpty());
    window->prefPane->setPrefValue(QStringLiteral("subtractBlack"), 1);
    window->prefPane->setPrefValue(QStringLiteral("subtractBlackMethod"), 0);
    QVERIFY(window->openFile(good));
    QVERIFY(window->blackLevelButton->text() != fresh.blackLevelButton->text());
    QVERIFY(window->brightenGroup->isEnabled());
    // The only file of its folder: stepping leaves the red "No next file."
    window->nextFile();
    QVERIFY(window->statusLabel->text().contains(QStringLiteral("color=red")));

    window->closeCurrentFile();
    QCOMPARE(window->blackLevelButton->text(), fresh.blackLevelButton->text());
    QCOMPARE(window->statusLabel->text(), QString());
    QVERIFY(!window->brightenGroup->isEnabled());
    QCOMPARE(window->rawCurveButton->text(), fresh.rawCurveButton->text());
    QCOMPARE(window->rawCurveButton->isEnabled(), fresh.rawCurveButton->isEnabled());
}

void TestPanelTexts::rawCurveButtonWithoutCurveAsBeforeAnyFile()
{
    const QString before = window->rawCurveButton->text();
    const bool enabledBefore = window->rawCurveButton->isEnabled();
    const QString file = fixture->writeDng(QStringLiteral("nocurve.dng"), {{64, 48, 500}});
    QVERIFY(window->openFile(file));
    QVERIFY(!window->image->curveSaved);
    QCOMPARE(window->rawCurveButton->text(), before);
    QCOMPARE(window->rawCurveButton->isEnabled(), enabledBefore);
}

void TestPanelTexts::pointerTitleResetByAnotherFile()
{
    const QString first = fixture->writeDng(QStringLiteral("pointer-a.dng"), {{64, 48, 500}});
    const QString second = fixture->writeDng(QStringLiteral("pointer-b.dng"), {{80, 40, 700}});
    QVERIFY(window->openFile(first));
    window->mouseMoved(window->scene->frameItem()->mapToScene(QPointF(19.5, 45.5)));
    QCOMPARE(window->pointerPanel.box->title(), QStringLiteral("19:45"));
    QVERIFY(window->openFile(second));
    QCOMPARE(window->pointerPanel.box->title(), QStringLiteral("Mouse Pointer"));
    QCOMPARE(window->pointerPanel.label->text(), QString());
}

// 84 of the 2500 red pixels clipped: 3.36 %, which shows as 3.3 %.
void TestPanelTexts::exposurePercentTruncatedToOneDecimal()
{
    window->prefPane->setPrefValue(QStringLiteral("subtractBlack"), 0);
    window->prefPane->setPrefValue(QStringLiteral("oeDetectMethod"), 1);
    window->prefPane->setPrefValue(QStringLiteral("manualOELevel"), 4000);
    window->prefPane->setPrefValue(QStringLiteral("ueDetectMethod"), 1);
    window->prefPane->setPrefValue(QStringLiteral("manualUELevel"), 0);
    const QString file = fixture->writeDngOf(QStringLiteral("clipped.dng"), 100, 100, [](int x, int y) {
        const bool red = x % 2 == 0 && y % 2 == 0;
        return (unsigned short)(red && (y / 2) * 50 + x / 2 < 84 ? 4000 : 100);
    });
    QVERIFY(window->openFile(file));
    QCOMPARE(window->channelNames.names.value(0), QStringLiteral("R"));
    const QString table = window->exposureStatsPanel.label->text();
    const QString redRow = table.section(QStringLiteral("<tr><td>R</td>"), 1).section(QStringLiteral("</tr>"), 0, 0);
    QVERIFY2(redRow.contains(QStringLiteral("<i> 3.3%&nbsp;</i>")), qPrintable(table));
    QVERIFY2(redRow.contains(QStringLiteral("<i> 0.0%</i>")), qPrintable(table));
}

void TestPanelTexts::panelsStayInPlace()
{
    // Small numbers at the left, five-digit ones elsewhere.
    const QString file = fixture->writeDngOf(QStringLiteral("wide.dng"), 400, 300, [](int x, int y) {
        return (unsigned short)(x < 50 ? 1 : 40000 + (x * 7919 + y * 104729) % 25000);
    });
    const QString flat = fixture->writeDngOf(QStringLiteral("flat.dng"), 400, 300, [](int, int) { return 1; });
    window->resize(1400, 900);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(window->openFile(flat));

    QGroupBox *boxes[] = {window->metadataPanel.box, window->imagePanel.box, window->selectionPanel.box,
                          window->pointerPanel.box, window->displayPanel.box, window->exposureStatsPanel.box};
    auto positions = [&]() {
        QCoreApplication::processEvents();
        window->centralWidget->layout()->activate();
        QList<int> xs;
        for (QGroupBox *b : boxes)
            xs << b->x() << b->width();
        return xs;
    };
    auto select = [&](int left, int top, int width, int height) {
        window->selectionPlaced(areaAt(left, top, width, height));
    };
    select(0, 0, 1, 1);
    const QList<int> start = positions();
    select(100, 100, 250, 180);
    QCOMPARE(positions(), start);
    select(10, 20, 2, 3);
    QCOMPARE(positions(), start);
    // Another file with other magnitudes in the image and exposure panels.
    QVERIFY(window->openFile(file));
    select(120, 110, 230, 170);
    QCOMPARE(positions(), start);
}

void TestPanelTexts::zoomComboHoldsItsLongestEntry()
{
    QComboBox *combo = window->zoomCombo;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.rect = QRect(QPoint(0, 0), combo->size());
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    int longest = 0;
    for (int i = 0; i < combo->count(); ++i)
        longest = std::max(longest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
    QVERIFY2(field.width() >= longest, qPrintable(QStringLiteral("%1 < %2").arg(field.width()).arg(longest)));
    // The style's own measure of what shows every entry, arrow and frame included.
    QComboBox probe;
    probe.setFont(combo->font());
    for (int i = 0; i < combo->count(); ++i)
        probe.addItem(combo->itemText(i));
    probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
    QVERIFY2(combo->width() >= probe.sizeHint().width(),
             qPrintable(QStringLiteral("%1 < %2").arg(combo->width()).arg(probe.sizeHint().width())));
}

TW_REGISTER_TEST(TestPanelTexts)
#include "TestPanelTexts.moc"
