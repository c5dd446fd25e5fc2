// The library's worker loop: every item once, done when the call returns,
// the first failure rethrown, a call that ends before its threads start, and
// callers on several threads sharing the pool.
#include "TestRegistry.h"

#include "io/ParallelFor.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

class TestParallelFor : public QObject {
    Q_OBJECT

private slots:
    void everyItemOnceAndDone_data();
    void everyItemOnceAndDone();
    void failureRethrownAfterTheOthers();
    void nested();
    void shortCallsOneAfterAnother();
    void callersOnSeveralThreads();
    void callWhileThePoolIsBusy();
};

void TestParallelFor::everyItemOnceAndDone_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("threads");
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("one") << 1 << 0;
    QTest::newRow("fewer items than cores") << 3 << 0;
    QTest::newRow("many items, every core") << 5000 << 0;
    QTest::newRow("many items, two threads") << 5000 << 2;
}

void TestParallelFor::everyItemOnceAndDone()
{
    QFETCH(int, count);
    QFETCH(int, threads);
    // Plain ints, each written by one item: a call returning before an item
    // finished shows as a missing write.
    std::vector<int> seen(size_t(count), 0);
    std::atomic<int> calls{0};
    kaldris::parallelFor(size_t(count), threads, [&](size_t i) {
        if (i % 97 == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        seen[i] += 1;
        calls.fetch_add(1, std::memory_order_relaxed);
    });
    QCOMPARE(calls.load(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(seen[size_t(i)], 1);
}

void TestParallelFor::failureRethrownAfterTheOthers()
{
    std::atomic<int> running{0};
    bool sawRunning = false;
    try {
        kaldris::parallelFor(64, 0, [&](size_t i) {
            running.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            running.fetch_sub(1);
            if (i == 5)
                throw std::runtime_error("item 5");
        });
        QFAIL("no exception");
    } catch (const std::runtime_error &e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("item 5"));
        sawRunning = running.load() != 0;
    }
    // No item taken before the failure is still running once the call returns.
    QVERIFY(!sawRunning);
}

void TestParallelFor::nested()
{
    std::vector<std::atomic<int>> cells(40 * 40);
    kaldris::parallelFor(40, 0, [&](size_t y) {
        kaldris::parallelFor(40, 0, [&](size_t x) { cells[y * 40 + x].fetch_add(1); });
    });
    for (const auto &c : cells)
        QCOMPARE(c.load(), 1);
}

void TestParallelFor::shortCallsOneAfterAnother()
{
    // Calls far shorter than a thread's start: each returns with its own
    // items done, whatever the late threads of the calls before it do.
    for (int call = 0; call < 300; ++call) {
        int sum = 0;
        std::vector<int> v(16, 0);
        kaldris::parallelFor(v.size(), 0, [&](size_t i) { v[i] = int(i) + call; });
        for (int x : v)
            sum += x;
        QCOMPARE(sum, 120 + 16 * call);
    }
}

void TestParallelFor::callersOnSeveralThreads()
{
    // The threads share one pool: every caller's items are its own, done
    // once each, nested calls included.
    constexpr int Callers = 6, Calls = 150;
    std::vector<int> wrong(Callers, 0);
    std::vector<std::thread> callers;
    for (int t = 0; t < Callers; ++t)
        callers.emplace_back([t, &wrong] {
            for (int call = 0; call < Calls; ++call) {
                std::vector<std::atomic<int>> cells(12 * 12);
                kaldris::parallelFor(12, 0, [&](size_t y) {
                    kaldris::parallelFor(12, 0, [&](size_t x) { cells[y * 12 + x].fetch_add(int(y * 12 + x) + t); });
                });
                for (size_t i = 0; i < cells.size(); ++i)
                    wrong[size_t(t)] += cells[i].load() != int(i) + t;
            }
        });
    for (std::thread &c : callers)
        c.join();
    for (int t = 0; t < Callers; ++t)
        QCOMPARE(wrong[size_t(t)], 0);
}

void TestParallelFor::callWhileThePoolIsBusy()
{
    // Every pool thread is held by another caller's slow items: a new call
    // is done by its own thread meanwhile, not after them.
    std::atomic<bool> release{false};
    std::atomic<int> held{0};
    std::thread slow([&] {
        kaldris::parallelFor(64, 0, [&](size_t) {
            held.fetch_add(1);
            while (!release.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (held.load() < int(kaldris::workerCount(0, 64)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<int> v(100, 0);
    kaldris::parallelFor(v.size(), 0, [&](size_t i) { v[i] = int(i); });
    release.store(true);
    slow.join();
    for (size_t i = 0; i < v.size(); ++i)
        QCOMPARE(v[i], int(i));
}

TW_REGISTER_TEST(TestParallelFor)

#include "TestParallelFor.moc"
