// The one cache shape every process-wide store shares: the bound that empties
// it, freshness judged by the reader, and removal that spares a newer store.
#include "core/BoundedCache.h"

#include <QTest>
#include <chrono>

namespace {

// A clock the test moves by hand.
struct FakeClock {
    using duration = std::chrono::milliseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<FakeClock>;
    static constexpr bool is_steady = true;
    static time_point now() { return current; }
    static inline time_point current{};
};

using Cache = BoundedCache<QString, int, FakeClock>;

void setClock(int milliseconds) {
    FakeClock::current = FakeClock::time_point(std::chrono::milliseconds(milliseconds));
}

// The keys a cache holds, sorted, as one string ("a b c").
QString keysIn(const Cache& cache, const QStringList& candidates) {
    QStringList held;
    for (const QString& key : candidates)
        if (cache.contains(key) && !held.contains(key)) held.append(key);
    held.sort();
    return held.join(QLatin1Char(' '));
}

} // namespace

class TestBoundedCache : public QObject {
    Q_OBJECT
  private slots:
    void init() { setClock(0); }

    // A store that finds the cache holding its bound empties it first, also
    // when it overwrites a key the cache holds; below the bound nothing goes.
    void emptiedWhenAStoreFindsItFull_data() {
        QTest::addColumn<int>("bound");
        QTest::addColumn<QStringList>("stored"); // in this order
        QTest::addColumn<QString>("held");
        QTest::newRow("below the bound") << 3 << QStringList{"a", "b"} << "a b";
        QTest::newRow("reaching the bound") << 3 << QStringList{"a", "b", "c"} << "a b c";
        QTest::newRow("one past it empties first") << 3 << QStringList{"a", "b", "c", "d"} << "d";
        QTest::newRow("filling up again") << 3 << QStringList{"a", "b", "c", "d", "e", "f"} << "d e f";
        QTest::newRow("second emptying") << 3 << QStringList{"a", "b", "c", "d", "e", "f", "g"} << "g";
        QTest::newRow("overwriting at the bound empties too") << 3 << QStringList{"a", "b", "c", "a"} << "a";
        QTest::newRow("overwriting below it does not") << 3 << QStringList{"a", "b", "a", "b"} << "a b";
        QTest::newRow("a bound of one keeps the last") << 1 << QStringList{"a", "b", "c"} << "c";
    }
    void emptiedWhenAStoreFindsItFull() {
        QFETCH(int, bound);
        QFETCH(QStringList, stored);
        QFETCH(QString, held);
        Cache cache(bound);
        for (int i = 0; i < stored.size(); ++i)
            cache.store(stored.at(i), i);
        QCOMPARE(keysIn(cache, stored), held);
        QCOMPARE(cache.size(), held.split(QLatin1Char(' ')).size());
        QCOMPARE(cache.value(stored.last()), std::optional<int>(int(stored.size()) - 1)); // the newest value
    }

    // Fresh means younger than the reader's limit; a stale entry is not answered
    // but stays, still readable whatever its age.
    void freshnessIsTheReadersCall_data() {
        QTest::addColumn<int>("storedAt"); // milliseconds
        QTest::addColumn<int>("readAt");
        QTest::addColumn<double>("freshFor"); // seconds
        QTest::addColumn<bool>("fresh");
        QTest::newRow("just stored") << 1000 << 1000 << 2.0 << true;
        QTest::newRow("just younger than the limit") << 1000 << 2999 << 2.0 << true;
        QTest::newRow("exactly the limit is stale") << 1000 << 3000 << 2.0 << false;
        QTest::newRow("older") << 1000 << 9000 << 2.0 << false;
        QTest::newRow("a limit of zero trusts nothing") << 1000 << 1000 << 0.0 << false;
        QTest::newRow("another reader's longer limit") << 1000 << 3500 << 3.0 << true;
    }
    void freshnessIsTheReadersCall() {
        QFETCH(int, storedAt);
        QFETCH(int, readAt);
        QFETCH(double, freshFor);
        QFETCH(bool, fresh);
        Cache cache(4);
        setClock(storedAt);
        cache.store(QStringLiteral("k"), 7);
        setClock(readAt);
        QCOMPARE(cache.value(QStringLiteral("k"), freshFor), fresh ? std::optional<int>(7) : std::nullopt);
        QCOMPARE(cache.value(QStringLiteral("k")), std::optional<int>(7));
        QCOMPARE(cache.entry(QStringLiteral("k"))->age(), (readAt - storedAt) / 1000.0);
        QCOMPARE(cache.size(), 1);
        QVERIFY(!cache.value(QStringLiteral("absent"), 1e9));
    }

    // A reader that judged an entry unusable removes it only if nobody stored
    // under its key since it read it.
    void removalSparesNewerStores_data() {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<std::optional<int>>("after");
        QTest::newRow("nothing happened") << "" << std::optional<int>();
        QTest::newRow("stored again, same value") << "store same" << std::optional<int>(1);
        QTest::newRow("stored again, new value") << "store new" << std::optional<int>(2);
        QTest::newRow("emptied and stored again") << "clear and store" << std::optional<int>(2);
        QTest::newRow("emptied") << "clear" << std::optional<int>();
        QTest::newRow("another key stored") << "store other" << std::optional<int>();
    }
    void removalSparesNewerStores() {
        QFETCH(QString, meanwhile);
        QFETCH(std::optional<int>, after);
        Cache cache(8);
        const QString key = QStringLiteral("k");
        cache.store(key, 1);
        const std::optional<Cache::Entry> seen = cache.entry(key);
        QVERIFY(seen);
        if (meanwhile == "store same") cache.store(key, 1);
        if (meanwhile == "store new") cache.store(key, 2);
        if (meanwhile == "clear and store") {
            cache.clear();
            cache.store(key, 2);
        }
        if (meanwhile == "clear") cache.clear();
        if (meanwhile == "store other") cache.store(QStringLiteral("other"), 3);
        cache.removeIfUnchanged(key, *seen);
        QCOMPARE(cache.value(key), after);
        QCOMPARE(cache.contains(QStringLiteral("other")), meanwhile == "store other");
    }
};

QTEST_GUILESS_MAIN(TestBoundedCache)
#include "test_bounded_cache.moc"
