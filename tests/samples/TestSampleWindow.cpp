#include "StandInHost.h"
#include "TessivaneTableView.h"
#include "TestRegistry.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

// Enabled states of Save, Histogram, Remove Sel., Remove All, Sel. to
// Clipboard, Load and the "Header to Clipboard" box.
QList<bool> enabledStates(const TessivaneSampleWindow &w)
{
    return {w.saveButton->isEnabled(),       w.histogramButton->isEnabled(), w.removeSelectedButton->isEnabled(),
            w.removeAllButton->isEnabled(),  w.clipboardButton->isEnabled(), w.loadButton->isEnabled(),
            w.headerToClipboard->isEnabled()};
}

}

class TestSampleWindow : public QObject
{
    Q_OBJECT

private slots:
    void layoutAndFlags()
    {
        StandInHost h;
        TessivaneSampleWindow &w = *h.window;
        QVERIFY(!w.parent());
        QCOMPARE(w.windowTitle(), QStringLiteral("Samples"));
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(w.windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(!(w.windowFlags() & Qt::WindowContextHelpButtonHint));
        for (QPushButton *b : {w.saveButton, w.histogramButton, w.removeSelectedButton, w.removeAllButton,
                               w.clipboardButton, w.loadButton})
            QVERIFY(!b->autoDefault());
        QVERIFY(w.headerToClipboard->isChecked());
        QVERIFY(!w.appendFile->isEnabled());
        QCOMPARE(w.view->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(w.view->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(w.view->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QCOMPARE(w.model->columnCount(), 17);
    }

    // In the default 840-pixel window a five-digit value needs more than a
    // seventeenth of the width: each column keeps its text whole and the
    // table scrolls sideways instead.
    void numbersAreNeverCut()
    {
        StandInHost h(40000, 40000);
        TessivaneSampleWindow &w = *h.window;
        w.resize(840, 550);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        h.controller->addSample(h.area(29752, 30307, 29752, 30307), QStringLiteral("a sample name far longer than "
                                                                                     "any column should ever grow"));
        SampleRecord *r = h.data.samples.at(0);
        for (int k = 0; k < 4; ++k) {
            r->count[k] = 1000;
            r->min[k] = 29752;
            r->max[k] = 30307;
            r->avg[k] = 29752.8;
            r->dev[k] = 3030.7;
        }
        w.model->rowsChanged(0, 0);
        w.fitColumns();
        QCoreApplication::processEvents();
        const QFontMetrics fm(w.view->font());
        int total = 0;
        for (int c = 0; c < w.model->columnCount(); ++c) {
            const QString text = w.model->index(0, c).data().toString();
            const QString header = w.model->headerData(c, Qt::Horizontal).toString();
            QVERIFY2(w.view->columnWidth(c) > fm.horizontalAdvance(text), qPrintable(text));
            QVERIFY2(w.view->columnWidth(c) >= fm.horizontalAdvance(header), qPrintable(header));
            total += w.view->columnWidth(c);
        }
        QCOMPARE(w.model->index(0, 2).data().toString(), QStringLiteral("29752.8"));
        QVERIFY(total > w.view->viewport()->width());
        QVERIFY(w.view->horizontalScrollBar()->maximum() > 0);
        // The long name is elided in the row header, not the numbers.
        QVERIFY(w.view->verticalHeader()->width() < fm.horizontalAdvance(r->name));
        QCOMPARE(w.view->textElideMode(), Qt::ElideRight);
    }

    void buttonStates()
    {
        StandInHost h;
        TessivaneSampleWindow &w = *h.window;
        QCOMPARE(enabledStates(w), (QList<bool>{false, false, false, false, false, true, false}));
        QCOMPARE(w.saveButton->text(), QStringLiteral("Save Samples"));
        h.controller->addSample(h.area(1, 1, 4, 4), QString());
        QCOMPARE(enabledStates(w), (QList<bool>{true, false, false, true, false, true, false}));
        QCOMPARE(w.saveButton->text(), QStringLiteral("Save Samples *"));
        w.view->selectRow(0);
        QCOMPARE(enabledStates(w), (QList<bool>{true, true, true, true, true, true, true}));
        w.view->clearSelection();
        QCOMPARE(enabledStates(w), (QList<bool>{true, false, false, true, false, true, false}));
        h.data.setDirty(false);
        QCOMPARE(w.saveButton->text(), QStringLiteral("Save Samples"));
        h.controller->clearSamplesAll();
        QCOMPARE(enabledStates(w), (QList<bool>{false, false, false, false, false, true, false}));
    }

    void appendFile()
    {
        StandInHost h;
        TessivaneSampleWindow &w = *h.window;
        h.controller->addSample(h.area(1, 1, 4, 4), QString());
        QSignalSpy status(&w, &TessivaneSampleWindow::appendStatusChanged);
        w.appendFile->setEnabled(true);
        w.appendFile->click();
        QCOMPARE(w.saveButton->text(), QStringLiteral("Append File *"));
        // Nothing to append to yet.
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toBool(), false);
        w.appendFileName = QStringLiteral("/tmp/table.csv");
        w.appendFile->click();
        w.appendFile->click();
        QCOMPARE(status.at(2).at(0).toBool(), true);
        QCOMPARE(w.saveButton->text(), QStringLiteral("Append File *"));
    }

    void keys()
    {
        StandInHost h;
        TessivaneSampleWindow &w = *h.window;
        h.controller->addSample(h.area(1, 1, 4, 4), QString());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy removes(w.removeSelectedButton, &QPushButton::clicked);
        QSignalSpy copies(w.clipboardButton, &QPushButton::clicked);
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(w.isVisible());
        w.view->selectRow(0);
        w.view->setFocus();
        QTest::keyClick(w.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(copies.count(), 1);
        QTest::keyClick(w.view, Qt::Key_Delete);
        QCOMPARE(removes.count(), 1);
        QTest::keyClick(w.view, Qt::Key_Escape);
        QVERIFY(w.isVisible());
    }

    void closingTellsTheMainWindow()
    {
        StandInHost h;
        QSignalSpy closed(h.window.get(), &TessivaneSampleWindow::samplesClosed);
        h.window->show();
        h.window->close();
        QCOMPARE(closed.count(), 1);
        QVERIFY(!h.window->isVisible());
    }

    void tableColors()
    {
        StandInHost h;
        h.window->setTableColors({{1, Qt::white}, {2, QColor("#303030")}});
        QVERIFY(h.window->view->styleSheet().contains(QLatin1String("background-color: #303030;")));
        QCOMPARE(h.window->view->horizontalHeader()->styleSheet(),
                 QStringLiteral("QHeaderView::section {background-color: #303030;}"));
        QCOMPARE(h.window->model->colors().value(1), QColor(Qt::white));
    }

    void channelNamesKeepTheSelection()
    {
        StandInHost h;
        h.controller->addSample(h.area(1, 1, 4, 4), QString());
        h.window->view->selectRow(0);
        // The same names keep the table and its selection.
        h.window->setChannelNames(h.window->channelNames);
        QCOMPARE(h.data.selectedRows.keys(), QList<int>{0});
        ChannelNames names;
        names.count = 3;
        names.names = QStringList{"Y", "Cb", "Cr"};
        h.window->setChannelNames(names);
        QCOMPARE(h.window->model->columnCount(), 13);
        QCOMPARE(h.window->channelNames.count, 3);
        QCOMPARE(h.data.headers.at(5), QStringLiteral("Cbmin"));
        // The table was reset; its row is still selected, in the view too.
        QCOMPARE(h.data.selectedRows.keys(), QList<int>{0});
        QCOMPARE(h.window->view->selectionModel()->selectedRows().size(), 1);
        QVERIFY(h.window->removeSelectedButton->isEnabled());
    }

    // Each column is as wide as the widest of all its cells laid out, and
    // at least as its header, whichever row holds that cell: here the
    // widest values sit in rows past the thousandth, where a layout of the
    // first thousand rows stops looking.
    void columnsFitTheWidestCellOfAllRows_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("wideRow");
        QTest::newRow("one row") << 1 << 0;
        QTest::newRow("first of many") << 1300 << 0;
        QTest::newRow("last of many") << 1300 << 1299;
        QTest::newRow("past the thousandth") << 1300 << 1137;
    }
    void columnsFitTheWidestCellOfAllRows()
    {
        QFETCH(int, rows);
        QFETCH(int, wideRow);
        StandInHost h;
        TessivaneSampleWindow &w = *h.window;
        QVector<SampleRecord *> records;
        for (int i = 0; i < rows; ++i) {
            auto *r = new SampleRecord;
            r->area = h.area(1, 1, 4, 4);
            r->name = QStringLiteral("s%1").arg(i);
            // Channel 0 narrow, 1 with one pixel (its deviation a dash),
            // 2 empty (all dashes), 3 with fractions below 1 and 10.
            r->count[0] = 16;
            r->min[0] = 7;
            r->max[0] = 9;
            r->avg[0] = 8.25;
            r->dev[0] = 0.5;
            r->count[1] = 1;
            r->min[1] = r->max[1] = 11;
            r->avg[1] = 11;
            r->count[3] = 4;
            r->min[3] = 0;
            r->max[3] = 1;
            r->avg[3] = 0.25;
            r->dev[3] = 4.125;
            if (i == wideRow) {
                r->min[0] = 65535;
                r->max[0] = 65535;
                r->avg[0] = 54321.12;
                r->dev[0] = 12345.6;
                r->max[1] = 1000;
                r->avg[3] = 0.125;
            }
            records << r;
        }
        w.model->appendSamples(records);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.fitColumns();
        const int grid = w.view->showGrid() ? 1 : 0;
        for (int c = 0; c < w.model->columnCount(); ++c) {
            int widest = 0;
            for (int row = 0; row < rows; ++row)
                widest = std::max(widest, w.view->sizeHintForIndex(w.model->index(row, c)).width());
            const int expected = std::max(widest + grid, w.view->horizontalHeader()->sectionSizeHint(c));
            QVERIFY2(w.view->columnWidth(c) == expected,
                     qPrintable(QStringLiteral("column %1: %2, not %3").arg(c).arg(w.view->columnWidth(c)).arg(expected)));
        }
        QCOMPARE(w.model->index(wideRow, 2).data().toString(), QStringLiteral("54321.1"));
        QVERIFY(w.view->columnWidth(2) > QFontMetrics(w.view->font()).horizontalAdvance(QStringLiteral("54321.1")));
    }
};

TW_REGISTER_TEST(TestSampleWindow)
#include "TestSampleWindow.moc"
