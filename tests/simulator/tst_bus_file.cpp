// The bus description file: the built-in bus as its template, defaults for
// what a file leaves out, and errors that point at the mistake.

#include "simulator/bus_file.h"

#include <QTemporaryDir>
#include <QTest>

using sim::Transmitter;

class TestBusFile : public QObject {
    Q_OBJECT

private slots:
    void default_bus_round_trips_through_its_json();
    void a_minimal_transmitter_gets_defaults();
    void faults_and_turnaround_are_read_per_transmitter();
    void bad_files_name_the_mistake_data();
    void bad_files_name_the_mistake();
    void a_missing_file_is_named();
};

void TestBusFile::default_bus_round_trips_through_its_json() {
    std::vector<Transmitter> original = sim::defaultBus();
    original[1].faults().set("RP0", sim::FaultKind::Late);
    original[1].faults().set("TY", sim::Fault(sim::FaultKind::Late, 15));
    original[2].setTurnaroundMs(12);
    QString error;
    const auto read = sim::busFromJson(sim::busToJson(original), &error);
    QVERIFY2(read, qPrintable(error));
    QCOMPARE(read->size(), original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        const Transmitter& a = original[i];
        const Transmitter& b = (*read)[i];
        QCOMPARE(b.address(), a.address());
        QCOMPARE(b.baud(), a.baud());
        QCOMPARE(b.version(), a.version());
        QCOMPARE(b.settings(), a.settings());
        QCOMPARE(b.basePressure(), a.basePressure());
        QCOMPARE(b.baseTemperature(), a.baseTemperature());
        QCOMPARE(b.turnaroundMs(), a.turnaroundMs());
        QVERIFY(b.faults().entries() == a.faults().entries());
    }
}

void TestBusFile::a_minimal_transmitter_gets_defaults() {
    QString error;
    const auto read = sim::busFromJson(
        R"({"transmitters": [{"address": "05", "baud": 2400, "decimals": 1}]})", &error);
    QVERIFY2(read, qPrintable(error));
    const Transmitter& t = read->at(0);
    QCOMPARE(t.address(), QByteArray("05"));
    QCOMPARE(t.baud(), 2400);
    QCOMPARE(t.settings().decimals, 1);
    // The range texts follow the decimals, so the transmitter looks consistent.
    QCOMPARE(t.settings().rangeLow, QByteArray("+0000.0"));
    QCOMPARE(t.settings().rangeHigh, QByteArray("+0100.0"));
    QCOMPARE(t.settings().trim4mA, QByteArray("+0000"));
    QVERIFY(!t.settings().model.isEmpty());
    QVERIFY(t.faults().isEmpty());
    QCOMPARE(t.turnaroundMs(), 0);

    QVERIFY(sim::busFromJson(R"({"transmitters": []})", &error)->empty());
    QCOMPARE(sim::defaultBus().at(2).turnaroundMs(), 0);
}

void TestBusFile::faults_and_turnaround_are_read_per_transmitter() {
    QString error;
    // 40 ms of turnaround for those that set none.
    const auto read = sim::busFromJson(R"({"transmitters": [
        {"address": "01", "baud": 9600, "turnaround": 1000,
         "faults": {"RP0": "late", "RT0": "late:15", "*": "silent"}},
        {"address": "02", "baud": 9600}]})",
                                       &error, 40);
    QVERIFY2(read, qPrintable(error));
    QCOMPARE(read->at(0).turnaroundMs(), 1000);
    QCOMPARE(read->at(1).turnaroundMs(), 40);
    QVERIFY(read->at(0).faults().forCommand("RP0") == sim::Fault(sim::FaultKind::Late));
    QVERIFY(read->at(0).faults().forCommand("RT0") == sim::Fault(sim::FaultKind::Late, 15));
    QCOMPARE(read->at(0).faults().forCommand("TY").kind, sim::FaultKind::Silent);
    QVERIFY(read->at(1).faults().isEmpty());
}

void TestBusFile::bad_files_name_the_mistake_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("error");
    const QByteArray good = R"({"address": "01", "baud": 9600})";
    auto second = [&](const QByteArray& t) {
        return R"({"transmitters": [)" + good + ", " + t + "]}";
    };
    QTest::newRow("not JSON") << QByteArray("{\n  \"transmitters\": [,]\n}")
                              << QStringLiteral("not valid JSON at line 2");
    QTest::newRow("no list") << QByteArray(R"({"transmitter": []})")
                             << QStringLiteral("expected an object with a list \"transmitters\"");
    QTest::newRow("not an object")
        << second("5") << QStringLiteral("transmitter 2: must be an object");
    QTest::newRow("no address") << second(R"({"baud": 9600})")
                                << QStringLiteral("transmitter 2: \"address\" is missing");
    QTest::newRow("one digit") << second(R"({"address": "7", "baud": 9600})")
                               << QStringLiteral("transmitter 2: \"address\" must be two digits");
    QTest::newRow("baud 300") << second(R"({"address": "02", "baud": 300})")
                              << QStringLiteral("\"baud\" must be 1200, 2400, 4800 or 9600");
    QTest::newRow("typo") << second(R"({"adress": "02", "baud": 9600})")
                          << QStringLiteral("\"adress\" is not a known key");
    QTest::newRow("unit 100") << second(R"({"address": "02", "baud": 9600, "unit": 100})")
                              << QStringLiteral("\"unit\" must be a whole number from 0 to 99");
    QTest::newRow("model not ASCII")
        << second(R"({"address": "02", "baud": 9600, "model": "Dr\u00fcck"})")
        << QStringLiteral("\"model\" must be printable ASCII");
    QTest::newRow("CR in a text") << second(R"({"address": "02", "baud": 9600, "id": "A\r1"})")
                                  << QStringLiteral("\"id\" must be printable ASCII");
    QTest::newRow("unknown fault")
        << second(R"({"address": "02", "baud": 9600, "faults": {"RP0": "slow"}})")
        << QStringLiteral("entry \"RP0\" must name one of: none, silent");
    QTest::newRow("lateness too long")
        << second(R"({"address": "02", "baud": 9600, "faults": {"RP0": "late:10001"}})")
        << QStringLiteral("entry \"RP0\" must name one of:");
    const QString turnaround =
        QStringLiteral("transmitter 2: \"turnaround\" must be a whole number from 0 to 1000");
    QTest::newRow("turnaround above 1000")
        << second(R"({"address": "02", "baud": 9600, "turnaround": 1001})") << turnaround;
    QTest::newRow("turnaround fraction")
        << second(R"({"address": "02", "baud": 9600, "turnaround": 2.5})") << turnaround;
}

void TestBusFile::bad_files_name_the_mistake() {
    QFETCH(QByteArray, json);
    QFETCH(QString, error);
    QString got;
    QVERIFY(!sim::busFromJson(json, &got));
    QVERIFY2(got.contains(error), qPrintable(got));
}

void TestBusFile::a_missing_file_is_named() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("none.json"));
    QString error;
    QVERIFY(!sim::readBusFile(path, &error));
    QVERIFY2(error.startsWith(path + QLatin1String(": ")), qPrintable(error));
}

QTEST_APPLESS_MAIN(TestBusFile)
#include "tst_bus_file.moc"
