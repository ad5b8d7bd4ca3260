// The poller on a fake bus and the fake clock: the schedule and the slots an
// overrun passes over, retries, a lost port reopened once a second, a missing
// address; and a stop from another thread while it runs in real time.

#include "connection/bus_poller.h"
#include "support/fake_bus.h"
#include "support/fake_clock.h"

#include <QTest>

#include <atomic>
#include <thread>

namespace {
// A fake bus, a session on it and what a program would be told.
struct Bench final : BusPoller::Observer {
    FakeClock clock;
    FakeSerialPort port{clock};
    FakeBus bus{port};
    BusSession session{port, clock, QStringLiteral("/dev/ttyUSB0")};
    QStringList log;
    QString firstPolled;       // the address of the first row
    QList<qint64> cycleStarts; // of the first one's results, from the first cycle's start
    qint64 startMs = -1;
    int cyclesDone = 0;
    std::function<void(const PollResult&)> afterResult;

    Bench() { port.open(); }

    static QString shown(const PolledValue& v) {
        static const char* const kNames[] = {"value",         "no reply",      "no data",
                                             "invalid reply", "other address", "not a reading",
                                             "port lost"};
        return v.ok() ? v.text : QString::fromLatin1(kNames[int(v.outcome)]);
    }

    void notReached(const QString& address) override { log.append("not reached " + address); }
    void unitNotRead(const QString& address, const Exchanged&) override {
        log.append("no unit " + address);
    }
    void unitRead(const PolledTransmitter& p) override { log.append("unit " + p.place.address); }
    void joined(const PolledTransmitter& p) override {
        log.append(QStringLiteral("joined %1 at %2").arg(p.place.address).arg(p.place.baudIndex));
    }
    void pollingStarts() override { startMs = clock.msecs(); }
    void polled(const PollResult& r) override {
        if (firstPolled.isEmpty())
            firstPolled = r.transmitter.place.address;
        if (r.transmitter.place.address == firstPolled)
            cycleStarts.append(r.clockMs - startMs);
        log.append(QStringLiteral("%1 %2, %3%4")
                       .arg(r.transmitter.place.address, shown(r.pressure), shown(r.temperature),
                            r.transmitter.unitCode ? "" : " (no unit)"));
        if (afterResult)
            afterResult(r);
    }
    void portLost() override { log.append("lost"); }
    void portReopened() override { log.append("reopened"); }
    void cycleDone() override { ++cyclesDone; }
};

const int kBauds[] = {1200, 2400, 4800, 9600};
} // namespace

class TestBusPoller : public QObject {
    Q_OBJECT

private slots:
    void polls_data();
    void polls();
    void stop_from_another_thread_ends_after_the_exchange_in_flight();
};

void TestBusPoller::polls_data() {
    QTest::addColumn<QStringList>("bus");       // "address@baud" of each transmitter
    QTest::addColumn<QStringList>("addresses"); // polled
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("retries");
    QTest::addColumn<QString>("fault");
    // The events, then "= ADDR cycles/retries/missing cycles" of each.
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QList<qint64>>("cycleStarts");
    QTest::addColumn<long long>("missed");
    QTest::addColumn<QStringList>("heard"); // every request, when given

    QTest::newRow("fixed schedule")
        << QStringList{"01@9600", "07@9600"} << QStringList{"01", "07"} << 3 << 100 << 3 << 0 << ""
        << QStringList{"01 +012.3, +21.5", "07 +012.3, +21.5", "01 +012.3, +21.5",
                       "07 +012.3, +21.5", "01 +012.3, +21.5", "07 +012.3, +21.5",
                       "= 01 3/0/0",       "= 07 3/0/0"}
        << QList<qint64>{0, 100, 200} << 0LL
        << QStringList{"01UT",  "07UT",  "01RP0", "01RT0", "07RP0", "07RT0", "01RP0",
                       "01RT0", "07RP0", "07RT0", "01RP0", "01RT0", "07RP0", "07RT0"};
    // Two reads at 1200 baud take about 350 ms: each cycle passes over three
    // 100 ms slots, and starts at the next one still ahead.
    QTest::newRow("overruns pass slots over, never catch up")
        << QStringList{"12@1200"} << QStringList{"12"} << -1 << 100 << 3 << 0 << ""
        << QStringList{"12 +012.3, +21.5", "12 +012.3, +21.5", "12 +012.3, +21.5", "= 12 3/0/0"}
        << QList<qint64>{0, 400, 800} << 6LL << QStringList{};
    QTest::newRow("a unit asked again until it answers")
        << QStringList{"01@9600"} << QStringList{"01"} << 3 << 0 << 3 << 0 << "UT silent twice"
        << QStringList{"no unit 01",       "01 +012.3, +21.5 (no unit)", "unit 01",
                       "01 +012.3, +21.5", "01 +012.3, +21.5",           "= 01 3/0/0"}
        << QList<qint64>{} << 0LL << QStringList{"01UT",  "01UT",  "01RP0", "01RT0", "01UT",
                                                 "01RP0", "01RT0", "01RP0", "01RT0"};
    QTest::newRow("a failed read sent again")
        << QStringList{"01@9600"} << QStringList{"01"} << 3 << 0 << 2 << 1 << "first RP0 silent"
        << QStringList{"01 +012.3, +21.5", "01 +012.3, +21.5", "= 01 2/1/0"} << QList<qint64>{}
        << 0LL << QStringList{"01UT", "01RP0", "01RP0", "01RT0", "01RP0", "01RT0"};
    QTest::newRow("without retries it stays failed")
        << QStringList{"01@9600"} << QStringList{"01"} << 3 << 0 << 2 << 0 << "first RP0 silent"
        << QStringList{"01 no reply, +21.5", "01 +012.3, +21.5", "= 01 2/0/0"} << QList<qint64>{}
        << 0LL << QStringList{"01UT", "01RP0", "01RT0", "01RP0", "01RT0"};
    QTest::newRow("a reply that is no reading")
        << QStringList{"01@9600"} << QStringList{"01"} << 3 << 0 << 1 << 0 << "RT0 says OK"
        << QStringList{"01 +012.3, not a reading", "= 01 1/0/0"} << QList<qint64>{} << 0LL
        << QStringList{};
    // Lost in cycle 1 and back right after the attempt at 1000 ms failed:
    // none is made at 1500 ms, and the one at 2000 succeeds.
    QTest::newRow("a lost port reopened once a second")
        << QStringList{"01@9600"} << QStringList{"01"} << 3 << 500 << 5 << 0
        << "lost at the second RP0, back after cycle 2"
        << QStringList{"01 +012.3, +21.5",
                       "01 port lost, port lost",
                       "lost",
                       "01 port lost, port lost",
                       "01 port lost, port lost",
                       "reopened",
                       "01 +012.3, +21.5",
                       "= 01 5/0/0"}
        << QList<qint64>{0, 500, 1000, 1500, 2000} << 0LL << QStringList{};
    // Each cycle's slack takes one probe, one missing address at one rate;
    // a probe that pushes the next cycle late passes slots over as any
    // overrun does (two reads at 4800 and a silent probe take over 100 ms).
    QTest::newRow("polling goes on without the missing")
        << QStringList{"01@4800"} << QStringList{"55", "01", "56"} << -1 << 100 << 3 << 0 << ""
        << QStringList{"not reached 55",   "not reached 56", "01 +012.3, +21.5", "01 +012.3, +21.5",
                       "01 +012.3, +21.5", "= 55 0/0/3",     "= 01 3/0/0",       "= 56 0/0/3"}
        << QList<qint64>{0, 200, 400} << 2LL
        << QStringList{"55AD",  "55AD",  "55AD", "55AD",  "01AD",  "01AD",  "01UT",
                       "56AD",  "56AD",  "56AD", "56AD",  "01RP0", "01RT0", "55AD",
                       "01RP0", "01RT0", "55AD", "01RP0", "01RT0", "55AD"};
    QTest::newRow("a missing transmitter joins once it answers")
        << QStringList{"01@9600", "07@4800"} << QStringList{"01", "07"} << -1 << 0 << 4 << 0
        << "07 silent until the first row"
        << QStringList{"not reached 07",   "01 +012.3, +21.5", "01 +012.3, +21.5",
                       "joined 07 at 2",   "01 +012.3, +21.5", "07 +012.3, +21.5",
                       "01 +012.3, +21.5", "07 +012.3, +21.5", "= 01 4/0/0",
                       "= 07 2/0/2"}
        << QList<qint64>{} << 0LL << QStringList{};
    QTest::newRow("none answers: nothing polled")
        << QStringList{"01@9600"} << QStringList{"55"} << -1 << 100 << 3 << 0 << ""
        << QStringList{"not reached 55", "= 55 0/0/0"} << QList<qint64>{} << 0LL
        << QStringList{"55AD", "55AD", "55AD", "55AD"};
    // A service started before its bus: every cycle probes the missing.
    QTest::newRow("none answers, polled anyway")
        << QStringList{"01@9600"} << QStringList{"55"} << -1 << 100 << 3 << 0
        << "poll when none answers" << QStringList{"not reached 55", "= 55 0/0/3"}
        << QList<qint64>{} << 0LL
        << QStringList{"55AD", "55AD", "55AD", "55AD", "55AD", "55AD", "55AD"};
}

void TestBusPoller::polls() {
    QFETCH(QStringList, bus);
    QFETCH(QStringList, addresses);
    QFETCH(int, baudIndex);
    QFETCH(int, interval);
    QFETCH(int, count);
    QFETCH(int, retries);
    QFETCH(QString, fault);
    QFETCH(QStringList, log);
    QFETCH(QList<qint64>, cycleStarts);
    QFETCH(long long, missed);
    QFETCH(QStringList, heard);

    Bench b;
    for (const QString& t : bus)
        fillTypicalValues(b.bus.add(t.section('@', 0, 0), t.section('@', 1).toInt()));
    FakeTransmitter& first = b.bus.at(bus.first().section('@', 0, 0));
    int pressureReads = 0;
    int unitReads = 0;
    if (fault == "RT0 says OK")
        first.values.insert("RT0", "OK");
    if (fault == "07 silent until the first row") {
        b.bus.at("07").silent.insert("AD");
        b.afterResult = [&](const PollResult&) { b.bus.at("07").silent.clear(); };
    }
    b.bus.onRequest = [&](const FakeBus::Heard& h) {
        if (fault == "UT silent twice" && h.request.endsWith("UT")) {
            if (++unitReads <= 2)
                first.silent.insert("UT");
            else
                first.silent.remove("UT");
        }
        if (!h.request.endsWith("RP0"))
            return;
        ++pressureReads;
        if (fault == "first RP0 silent") {
            if (pressureReads == 1)
                first.silent.insert("RP0");
            else
                first.silent.remove("RP0");
        }
        if (fault.startsWith("lost at the second RP0") && pressureReads == 2) {
            b.port.loseDevice();
            b.port.missingPorts.insert(b.port.portNumber());
        }
    };
    if (fault.startsWith("lost at the second RP0"))
        b.afterResult = [&](const PollResult&) {
            if (b.clock.msecs() - b.startMs >= 1000)
                b.port.missingPorts.clear();
        };

    BusPoller::Options options;
    options.addresses = addresses;
    options.baudIndex = baudIndex;
    options.intervalMs = interval;
    options.count = count;
    options.retries = retries;
    options.pollWhenNoneAnswers = fault == "poll when none answers";
    BusPoller poller(b.session, options);
    const BusPoller::End end = poller.run(b);

    for (const PolledTransmitter& p : poller.transmitters())
        b.log.append(QStringLiteral("= %1 %2/%3/%4")
                         .arg(p.place.address)
                         .arg(p.cycles)
                         .arg(p.retries)
                         .arg(p.missingCycles));
    QCOMPARE(b.log, log);
    const bool anyThere = !b.firstPolled.isEmpty() || options.pollWhenNoneAnswers;
    QCOMPARE(int(end), int(anyThere ? BusPoller::End::Polled : BusPoller::End::NoneReached));
    // Each cycle ends by handing the line to the observer.
    QCOMPARE(b.cyclesDone, anyThere ? count : 0);
    if (interval > 0 && anyThere)
        QCOMPARE(b.cycleStarts, cycleStarts);
    QCOMPARE(poller.missedSlots(), missed);
    if (!heard.isEmpty()) {
        QStringList requests;
        for (const FakeBus::Heard& h : b.bus.heard)
            requests.append(h.request);
        QCOMPARE(requests, heard);
    }
    // The counts follow the rows: every read a reading or a failure of its
    // kind, every cycle polled or missing.
    for (const PolledTransmitter& p : poller.transmitters()) {
        int failures = 0;
        for (const auto& [outcome, n] : p.failures)
            failures += n;
        QCOMPARE(p.cycles + p.missingCycles, anyThere ? count : 0);
        QCOMPARE(p.readings + failures, 2 * p.cycles);
        QCOMPARE(p.pressure.count + p.temperature.count, p.readings);
        if (p.place.baudIndex >= 0)
            QCOMPARE(kBauds[p.place.baudIndex], b.bus.at(p.place.address).baud);
    }
}

// The poller runs on its own thread, each exchange taking real time; a stop
// from the test's thread lets the exchange in flight end and the pair of
// reads it belongs to, and nothing more goes out.
void TestBusPoller::stop_from_another_thread_ends_after_the_exchange_in_flight() {
    std::atomic<int> heard{0};
    std::atomic<BusPoller*> running{nullptr};
    std::atomic<int> end{-1};
    std::atomic<int> results{0};
    std::atomic<bool> pairsWhole{true};
    std::thread thread([&] {
        // Made on the thread that polls, as a program does.
        Bench b;
        for (const char* address : {"01", "02", "03"})
            fillTypicalValues(b.bus.add(QString::fromLatin1(address), 9600));
        b.bus.onRequest = [&](const FakeBus::Heard&) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++heard;
        };
        b.afterResult = [&](const PollResult& r) {
            ++results;
            pairsWhole = pairsWhole && r.pressure.ok() && r.temperature.ok();
        };
        BusPoller::Options options;
        options.addresses = {"01", "02", "03"};
        options.baudIndex = 3;
        options.intervalMs = 0;
        BusPoller poller(b.session, options);
        running = &poller;
        end = int(poller.run(b));
        running = nullptr;
    });
    // Mid-cycle: 3 reads of units, then 2 per transmitter, 6 per cycle.
    while (heard < 3 + 6 * 4 + 3)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    running.load()->stop();
    const int heardAtStop = heard;
    thread.join();
    QCOMPARE(end.load(), int(BusPoller::End::Polled));
    QVERIFY2(heard - heardAtStop <= 1,
             qPrintable(QStringLiteral("%1 requests after the stop").arg(heard - heardAtStop)));
    QVERIFY(pairsWhole);
    QCOMPARE(results.load(), (heard - 3) / 2);
}

QTEST_APPLESS_MAIN(TestBusPoller)
#include "tst_bus_poller.moc"
