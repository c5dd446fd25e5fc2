#include "SampleTexts.h"
#include "SamplesTable.h"
#include "SamplesTableData.h"
#include "TestRegistry.h"

#include <QSignalSpy>
#include <QTest>

namespace {

SampleRecord *record(int left, int top, int width, int height, const QString &name = QString(), int id = -1)
{
    auto *r = new SampleRecord;
    r->area = areaAt(left, top, width, height);
    r->name = name;
    r->id = id;
    return r;
}

QStringList rowTexts(const SamplesTable &model, int row)
{
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c)
        texts << model.data(model.index(row, c)).toString();
    return texts;
}

}

class TestSamplesTable : public QObject
{
    Q_OBJECT

private slots:
    void appendingNumbersRows_data()
    {
        QTest::addColumn<int>("existing");
        QTest::addColumn<int>("givenId");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("id");
        QTest::newRow("empty") << 0 << -1 << 0 << 1;
        QTest::newRow("three rows") << 3 << -1 << 3 << 4;
        QTest::newRow("given id kept") << 3 << 17 << 3 << 17;
    }
    void appendingNumbersRows()
    {
        QFETCH(int, existing);
        QFETCH(int, givenId);
        QFETCH(int, row);
        QFETCH(int, id);
        SamplesTableData data;
        SamplesTable model(&data);
        // Earlier ids do not matter: only the row count does.
        for (int i = 0; i < existing; ++i)
            model.appendSample(record(0, 0, 1, 1, QString(), 100 + i));
        data.setDirty(false);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy dirty(&data, &SamplesTableData::ev_dirty);
        SampleRecord *r = record(1, 2, 3, 4, QString(), givenId);
        model.appendSample(r);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), row);
        QCOMPARE(inserted.at(0).at(2).toInt(), row);
        QCOMPARE(r->id, id);
        QCOMPARE(model.data(model.index(row, 0)).toInt(), id);
        QVERIFY(data.dirty);
        QCOMPARE(dirty.count(), 1);
    }

    void appendingNamesSamples()
    {
        SamplesTableData data;
        SamplesTable model(&data);
        SampleRecord *plain = record(10, 20, 30, 40);
        SampleRecord *named = record(10, 20, 30, 40, QStringLiteral("patch A"));
        model.appendSamples({plain, named});
        QCOMPARE(plain->name, QStringLiteral("10:20-30x40"));
        QVERIFY(plain->nameGenerated);
        QCOMPARE(named->name, QStringLiteral("patch A"));
        QVERIFY(!named->nameGenerated);
        QCOMPARE(plain->id, 1);
        QCOMPARE(named->id, 2);
        QCOMPARE(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("10:20-30x40"));
        QCOMPARE(model.headerData(1, Qt::Vertical).toString(), QStringLiteral("patch A"));
        QCOMPARE(model.headerData(2, Qt::Vertical).toString(), QStringLiteral("Row 2"));
        QVERIFY(!model.headerData(0, Qt::Vertical, Qt::ToolTipRole).isValid());
    }

    void headersFollowChannels()
    {
        SamplesTableData data;
        SamplesTable model(&data);
        QCOMPARE(model.columnCount(), 1);
        data.setChannelHeaders({QStringLiteral("R"), QStringLiteral("G")});
        QCOMPARE(model.columnCount(), 9);
        QStringList headers;
        for (int c = 0; c < 9; ++c)
            headers << model.headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, (QStringList{"ID", "Rmin", "Ravg", "Rmax", "Rdev", "Gmin", "Gavg", "Gmax", "Gdev"}));
        QVERIFY(!model.headerData(9, Qt::Horizontal).isValid());
        data.setChannelHeaders({});
        QCOMPARE(model.columnCount(), 1);
    }

    void cells_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("avg");
        QTest::addColumn<double>("dev");
        QTest::addColumn<QStringList>("texts");   // min, avg, max, dev
        QTest::newRow("no pixel") << 0 << 5.0 << 1.0 << QStringList{"-", "-", "-", "-"};
        QTest::newRow("one pixel") << 1 << 7.0 << 0.0 << QStringList{"7", "7.00", "9", "-"};
        QTest::newRow("tiny") << 5 << 0.000001 << 0.5 << QStringList{"7", "0.0", "9", "0.500"};
        QTest::newRow("half") << 5 << 0.5 << 5.25 << QStringList{"7", "0.500", "9", "5.25"};
        QTest::newRow("units") << 5 << 5.25 << 50.25 << QStringList{"7", "5.25", "9", "50.3"};
        QTest::newRow("tens") << 5 << 50.25 << 0.000001 << QStringList{"7", "50.3", "9", "0.0"};
        QTest::newRow("negative keeps magnitude") << 5 << -0.5 << 2.0 << QStringList{"7", "-0.500", "9", "2.00"};
    }
    void cells()
    {
        QFETCH(int, count);
        QFETCH(double, avg);
        QFETCH(double, dev);
        QFETCH(QStringList, texts);
        SamplesTableData data;
        data.setChannelHeaders({QStringLiteral("R"), QStringLiteral("G")});
        SamplesTable model(&data);
        SampleRecord *r = record(0, 0, 1, 1);
        r->min[1] = 7;
        r->max[1] = 9;
        r->count[1] = count;
        r->avg[1] = avg;
        r->dev[1] = dev;
        model.appendSample(r);
        QCOMPARE(rowTexts(model, 0).mid(5, 4), texts);
        QCOMPARE(model.data(model.index(0, 5), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
        QVERIFY(!model.data(model.index(0, 0), Qt::TextAlignmentRole).isValid());
        QVERIFY(!model.data(model.index(0, 9)).isValid());
        QVERIFY(!model.data(model.index(1, 0)).isValid());
    }

    void valueDecimalsByMagnitude_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("decimals");
        QTest::newRow("0.000001") << 0.000001 << 1;
        QTest::newRow("0.5") << 0.5 << 3;
        QTest::newRow("5.25") << 5.25 << 2;
        QTest::newRow("50.25") << 50.25 << 1;
        QTest::newRow("just under 1 as a float") << 0.99999999 << 2;
    }
    void valueDecimalsByMagnitude()
    {
        QFETCH(double, x);
        QFETCH(int, decimals);
        QCOMPARE(valueDecimals(float(x)), decimals);
    }

    void colours()
    {
        SamplesTableData data;
        data.setChannelHeaders({QStringLiteral("R"), QStringLiteral("G"), QStringLiteral("B"), QStringLiteral("G2")});
        SamplesTable model(&data);
        model.appendSample(record(0, 0, 1, 1));
        QHash<int, QColor> colors{{1, Qt::black}, {2, QColor("#f0f0f0")}, {6, Qt::red}, {7, Qt::blue},
                                  {8, QColor("#ffe0e0")}, {9, QColor("#e0ffe0")}, {10, QColor("#e0e0ff")}};
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setRoleColors(colors);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(0, 16));
        auto fg = [&](int c) { return model.data(model.index(0, c), Qt::ForegroundRole).value<QColor>(); };
        auto bg = [&](int c) { return model.data(model.index(0, c), Qt::BackgroundRole).value<QColor>(); };
        QCOMPARE(fg(0), QColor(Qt::black));
        QCOMPARE(fg(1), QColor(Qt::blue));
        QCOMPARE(fg(2), QColor(Qt::black));
        QCOMPARE(fg(3), QColor(Qt::red));
        QCOMPARE(fg(4), QColor(Qt::black));
        QCOMPARE(bg(0), QColor("#f0f0f0"));
        QCOMPARE(bg(1), QColor("#ffe0e0"));
        QCOMPARE(bg(8), QColor("#e0ffe0"));
        QCOMPARE(bg(12), QColor("#e0e0ff"));
        // G2 takes its first letter's colour.
        QCOMPARE(bg(16), QColor("#e0ffe0"));
    }

    void ycbcrShading_data()
    {
        QTest::addColumn<QColor>("base");
        QTest::addColumn<int>("step");
        QTest::newRow("light") << QColor(240, 240, 240) << -16;
        QTest::newRow("dark") << QColor(48, 48, 48) << 16;
    }
    void ycbcrShading()
    {
        QFETCH(QColor, base);
        QFETCH(int, step);
        SamplesTableData data;
        data.setChannelHeaders({QStringLiteral("Y"), QStringLiteral("Cb"), QStringLiteral("Cr")});
        SamplesTable model(&data);
        model.appendSample(record(0, 0, 1, 1));
        // A Y letter colour must not be used for YCbCr data.
        model.setRoleColors({{2, base}, {14, Qt::yellow}});
        for (int k = 0; k < 3; ++k) {
            const QColor c = model.data(model.index(0, 1 + 4 * k + 2), Qt::BackgroundRole).value<QColor>();
            const int v = base.red() + k * step;
            QCOMPARE(c, QColor(v, v, v, 255));
        }
    }

    void removingRowsKeepsSetsInStep()
    {
        SamplesTableData data;
        SamplesTable model(&data);
        for (int i = 0; i < 6; ++i)
            model.appendSample(record(i, 0, 1, 1));
        data.selectedRows = {{1, true}, {3, true}, {5, true}};
        data.unhighlightRows = {{2, true}, {4, true}};
        QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
        QStringList released;
        // Duplicates and rows past the end are ignored; 2 and 3 are one run.
        const int n = model.removeSampleRows({3, 0, 2, 3, 9, -1},
                                             [&](SampleRecord *r) { released << r->name; });
        QCOMPARE(n, 3);
        QCOMPARE(removed.count(), 2);
        QCOMPARE(released, (QStringList{"3:0-1x1", "2:0-1x1", "0:0-1x1"}));
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(data.samples.at(0)->name, QStringLiteral("1:0-1x1"));
        QCOMPARE(data.selectedRows.keys(), (QList<int>{0, 2}));
        QCOMPARE(data.unhighlightRows.keys(), (QList<int>{1}));
        // Removal leaves the dirty flag to its callers.
        QVERIFY(data.dirty);
    }

    void clipboardHtml_data()
    {
        QTest::addColumn<bool>("header");
        QTest::addColumn<QString>("html");
        const QString rows = QStringLiteral(
            "<tr><td>&lt;a&amp;b&gt;</td><td>3</td><td>10</td><td>12.5</td><td>15</td><td>1.23457</td>"
            "<td>4</td><td>4</td><td>4</td><td>-</td></tr>");
        QTest::newRow("without header") << false << QStringLiteral("<html><table>") + rows
                                                        + QStringLiteral("</table></html>");
        QTest::newRow("with header")
            << true
            << QStringLiteral("<html><table><tr><th>ID</th><th>No</th>"
                              "<th>Rmin</th><th>Ravg</th><th>Rmax</th><th>Rdev</th>"
                              "<th>Gmin</th><th>Gavg</th><th>Gmax</th><th>Gdev</th></tr>\n")
                   + rows + QStringLiteral("</table></html>");
    }
    void clipboardHtml()
    {
        QFETCH(bool, header);
        QFETCH(QString, html);
        SampleRecord r;
        r.name = QStringLiteral("<a&b>");
        r.id = 3;
        r.min[0] = 10;
        r.max[0] = 15;
        r.count[0] = 20;
        r.avg[0] = 12.5;
        r.dev[0] = 1.234567;
        r.min[1] = r.max[1] = 4;
        r.count[1] = 1;
        r.avg[1] = 4;
        QCOMPARE(SampleTexts::clipboardHtml({&r}, {QStringLiteral("R"), QStringLiteral("G")}, 2, header), html);
    }
};

TW_REGISTER_TEST(TestSamplesTable)
#include "TestSamplesTable.moc"
