#include "CountTables.h"
#include "TestRegistry.h"

#include <QTest>

#include <algorithm>
#include <vector>

class TestCountTables : public QObject
{
    Q_OBJECT

private slots:
    // Every set can be lent once at a time; the one past the last is refused,
    // and a returned set is lent again.
    void lendsEachSetOnce()
    {
        CountTables t;
        t.start(100);
        std::vector<int> got;
        for (int i = 0; i < CountTables::MaxSets; ++i) {
            const int s = t.acquire();
            QVERIFY(s >= 0);
            QVERIFY(std::find(got.begin(), got.end(), s) == got.end());
            got.push_back(s);
        }
        QCOMPARE(t.acquire(), -1);
        t.release(got[17]);
        QCOMPARE(t.acquire(), got[17]);
        QCOMPARE(t.usedSets(), CountTables::MaxSets);
    }

    // Counts of a set left from the last histogram do not leak into the
    // next, even when it is longer; rows are summed over the sets in use.
    void startsEmptyAndSums()
    {
        CountTables t;
        t.start(10);
        const int a = t.acquire();
        t.table(a, 2)[9] = 5;
        t.counted(a)[2] = 5;
        t.release(a);
        t.start(40);
        QCOMPARE(t.usedSets(), 0);
        const int b = t.acquire();
        const int c = t.acquire();
        t.table(b, 0)[3] = 2;
        t.table(c, 0)[3] = 7;
        t.table(c, 3)[39] = 1;
        t.counted(b)[0] = 2;
        t.counted(c)[0] = 7;
        t.counted(c)[3] = 1;
        t.release(b);
        t.release(c);
        std::vector<int> rows(40 * 4, -1);
        t.sumInto(rows.data(), 0, 40);
        for (int v = 0; v < 40; ++v)
            for (int k = 0; k < 4; ++k) {
                const int want = (v == 3 && k == 0) ? 9 : (v == 39 && k == 3) ? 1 : 0;
                QCOMPARE(rows[size_t(v) * 4 + size_t(k)], want);
            }
        int64_t totals[4];
        t.totals(totals);
        QCOMPARE(totals[0], int64_t(9));
        QCOMPARE(totals[2], int64_t(0));
        QCOMPARE(totals[3], int64_t(1));
    }

    // Without any set lent the rows come out zero.
    void noSetsGiveZeroRows()
    {
        CountTables t;
        t.start(8);
        std::vector<int> rows(8 * 4, 3);
        t.sumInto(rows.data(), 2, 8);
        for (int i = 0; i < 8 * 4; ++i)
            QCOMPARE(rows[size_t(i)], i < 8 ? 3 : 0);
    }
};

TW_REGISTER_TEST(TestCountTables)
#include "TestCountTables.moc"
