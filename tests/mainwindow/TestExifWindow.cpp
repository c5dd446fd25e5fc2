// The EXIF window on its own: filter, reset, copy buttons, colours and the
// hide that a minimise sends.
#include "ExifTagTable.h"
#include "TW_ExifWindow.h"
#include "TestRegistry.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTextEdit>
#include <QTest>

namespace {

const QStringList tagLines{"---- EXIF ----", "Make\tKaldris", "Camera Model Name\tTest Camera", "ISO\t100",
                           "F Number\t8.0", "---- Composite ----", "Lens ID\tFixed"};

}

class TestExifWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layout();
    void filter_data();
    void filter();
    void resetShowsEverything();
    void filterOverNoLines();
    void copyTakesTheRightList_data();
    void copyTakesTheRightList();
    void colourTableRefilters();
    void minimisedWindowComesBack();
    void closeHides();
    void enterInTheFilterFilters();

private:
    void setFilter(const QString &text);
    TW_ExifWindow *window = nullptr;
};

void TestExifWindow::init()
{
    window = new TW_ExifWindow;
    window->setTagLines(tagLines);
}

void TestExifWindow::cleanup()
{
    delete window;
    window = nullptr;
}

void TestExifWindow::setFilter(const QString &text)
{
    window->filterEdit->setText(text);
    window->filterPressed();
}

void TestExifWindow::layout()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("EXIF"));
    QVERIFY(!window->isModal());
    QVERIFY(!(window->windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(window->textView->isReadOnly());
    QCOMPARE(window->textView->styleSheet(), QStringLiteral("QTextEdit{ background: #f0f0f0;}"));
    QVERIFY(!window->fullTableCheck->isEnabled());
    // The colour map starts as the light table over black and #f0f0f0.
    QCOMPARE(window->html(), exifTagsHtml(channelColorTable(Qt::black, QColor(0xf0, 0xf0, 0xf0)), tagLines, true));
}

void TestExifWindow::filter_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QString>("message");   // when nothing matches

    QTest::newRow("case-insensitive") << "kALDRIS" << QStringList{"Make\tKaldris"} << QString();
    QTest::newRow("regular expression") << "^(iso|f )" << QStringList{"ISO\t100", "F Number\t8.0"} << QString();
    QTest::newRow("heading lines too") << "composite" << QStringList{"---- Composite ----"} << QString();
    QTest::newRow("no match, escaped") << "<b>&x"
                                       << QStringList{} << "<p>No match for <b>&lt;b&gt;&amp;x</b>";
    QTest::newRow("invalid pattern") << "(Make" << QStringList{} << "<p>No match for <b>(Make</b>";
}

void TestExifWindow::filter()
{
    QFETCH(QString, pattern);
    QFETCH(QStringList, shown);
    QFETCH(QString, message);
    setFilter(pattern);
    QVERIFY(window->fullTableCheck->isEnabled());
    QCOMPARE(window->filteredTagLines(), shown);
    QCOMPARE(window->tagLines(), tagLines);
    if (message.isEmpty())
        QCOMPARE(window->html(), exifTagsHtml(channelColorTable(Qt::black, QColor(0xf0, 0xf0, 0xf0)), shown, true));
    else
        QCOMPARE(window->html(), message);
}

void TestExifWindow::resetShowsEverything()
{
    setFilter(QStringLiteral("nothing matches this"));
    window->fullTableCheck->setChecked(true);
    window->filterResetPressed();
    QVERIFY(!window->fullTableCheck->isEnabled());
    QVERIFY(window->filterEdit->text().isEmpty());
    QCOMPARE(window->filteredTagLines(), tagLines);
    QVERIFY(window->html().contains(QStringLiteral("Test Camera")));

    // Pressing Filter over an empty text shows all, and the box stays off.
    window->filterPressed();
    QVERIFY(!window->fullTableCheck->isEnabled());
    QCOMPARE(window->filteredTagLines(), tagLines);
}

void TestExifWindow::filterOverNoLines()
{
    window->setTagLines({});
    QCOMPARE(window->html(), QStringLiteral("Empty EXIF data"));
    setFilter(QStringLiteral("Make"));
    QCOMPARE(window->html(), QStringLiteral("Empty EXIF data"));
}


void TestExifWindow::copyTakesTheRightList_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QStringList>("copied");
    QTest::newRow("no filter") << QString() << false << tagLines;
    QTest::newRow("filtered") << "Make" << false << QStringList{"Make\tKaldris"};
    QTest::newRow("filtered, full table ticked") << "Make" << true << tagLines;
    QTest::newRow("nothing matches") << "zzz" << false << QStringList{};
}

void TestExifWindow::copyTakesTheRightList()
{
    QFETCH(QString, pattern);
    QFETCH(bool, ticked);
    QFETCH(QStringList, copied);
    setFilter(pattern);
    window->fullTableCheck->setChecked(ticked);
    QSignalSpy spy(window, &TW_ExifWindow::copy2CSignal);
    window->copyTextPressed();
    window->copyHTMLPressed();
    // Nothing to copy: the clipboard is not touched.
    if (copied.isEmpty()) {
        QCOMPARE(spy.count(), 0);
        return;
    }
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toString(), exifTagsText(copied));
    QCOMPARE(spy.at(0).at(1).toBool(), false);
    QCOMPARE(spy.at(1).at(0).toString(),
             exifTagsHtml(channelColorTable(Qt::black, QColor(0xf0, 0xf0, 0xf0)), copied, false));
    QCOMPARE(spy.at(1).at(1).toBool(), true);
}

void TestExifWindow::colourTableRefilters()
{
    setFilter(QStringLiteral("Make"));
    const ColorTable dark = channelColorTableAlt(Qt::white, QColor(0x30, 0x30, 0x30));
    window->setColorTable(dark);
    QCOMPARE(window->html(), exifTagsHtml(dark, {"Make\tKaldris"}, true));

    // A waiting message stays until the tags come.
    window->showHtml(QStringLiteral("Waiting for EXIF parsing"));
    QVERIFY(window->tagLines().isEmpty());
    window->setColorTable(channelColorTable(Qt::black, Qt::white));
    QCOMPARE(window->html(), QStringLiteral("Waiting for EXIF parsing"));
}

void TestExifWindow::minimisedWindowComesBack()
{
    QSignalSpy closed(window, &TW_ExifWindow::exifClosed);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    QCoreApplication::processEvents();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    QCoreApplication::processEvents();
    QVERIFY(window->isVisible());
    QCOMPARE(closed.count(), 0);

    window->hide();
    QCOMPARE(closed.count(), 1);
    QCOMPARE(closed.at(0).at(0).toRect(), window->geometry());
}

void TestExifWindow::closeHides()
{
    QSignalSpy closed(window, &TW_ExifWindow::exifClosed);
    window->show();
    window->closePressed();
    QVERIFY(!window->isVisible());
    QCOMPARE(closed.count(), 1);
}

void TestExifWindow::enterInTheFilterFilters()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->activateWindow();
    window->filterEdit->setFocus();
    QTest::keyClicks(window->filterEdit, QStringLiteral("lens"));
    QTest::keyClick(window->filterEdit, Qt::Key_Return);
    QTRY_COMPARE(window->filteredTagLines(), QStringList{"Lens ID\tFixed"});
    QVERIFY(window->isVisible());
}

TW_REGISTER_TEST(TestExifWindow)
#include "TestExifWindow.moc"
