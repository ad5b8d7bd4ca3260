// tarnwick-cli monitor without a broker: the topics and payloads as pure
// rules, and a run on the simulated bus printing every message on stdout,
// judged by the simulator's trace and state.

#include "cli/broker_address.h"
#include "cli/home_assistant.h"
#include "cli/monitor_messages.h"
#include "cli/transmitter_health.h"
#include "support/simulator_process.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <csignal>
#include <functional>

namespace {
// Three transmitters at three rates.
const QByteArray kBus = R"({"transmitters": [
    {"address": "03", "baud": 9600, "model": "PT-A", "unit": 0, "decimals": 2},
    {"address": "17", "baud": 4800, "model": "PT-B", "unit": 3, "decimals": 3},
    {"address": "42", "baud": 1200, "model": "PT-C", "unit": 6, "decimals": 1}]})";

struct Message {
    QString topic;
    QJsonObject payload;
    bool retain = false;
};

QList<Message> messagesOf(const QByteArray& out) {
    QList<Message> messages;
    for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        messages.append({o["topic"].toString(), o["payload"].toObject(), o["retain"].toBool()});
    }
    return messages;
}
} // namespace

class TestMonitor : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void names_data();
    void names();
    void broker_addresses_data();
    void broker_addresses();
    void health_data();
    void health();
    void payloads_keep_what_was_read();
    void home_assistant_discovery_data();
    void home_assistant_discovery();
    void stdout_run_publishes_the_bus();
    void a_search_finds_newcomers_and_loses_leavers();

private:
    SimulatorProcess m_sim{{}, kBus};
};

void TestMonitor::initTestCase() {
    QVERIFY2(m_sim.start(), qPrintable(m_sim.errorString()));
}

void TestMonitor::names_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("clientId");
    QTest::newRow("a device path") << "/dev/ttyUSB0"
                                   << "tarnwick/gw1/_dev_ttyUSB0"
                                   << "tarnwick-gw1-_dev_ttyUSB0";
    QTest::newRow("a device server, with a topic's wildcards")
        << "rfc2217://10.0.0.5:4001/#+"
        << "tarnwick/gw1/rfc2217___10_0_0_5_4001___"
        << "tarnwick-gw1-rfc2217___10_0_0_5_4001___";
    QTest::newRow("a name kept as it is") << "com1_A-b"
                                          << "tarnwick/gw1/com1_A-b"
                                          << "tarnwick-gw1-com1_A-b";
    QTest::newRow("beyond ASCII") << "/dev/ü"
                                  << "tarnwick/gw1/_dev__"
                                  << "tarnwick-gw1-_dev__";
}

void TestMonitor::names() {
    QFETCH(QString, port);
    QFETCH(QString, prefix);
    QFETCH(QString, clientId);
    QCOMPARE(defaultTopicPrefix("gw1", port), prefix);
    QCOMPARE(defaultClientId("gw1", port), clientId);
}

void TestMonitor::broker_addresses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("uri"); // empty: refused
    QTest::newRow("default port") << "mqtt://broker.plant"
                                  << "tcp://broker.plant:1883";
    QTest::newRow("TLS default port") << "mqtts://broker.plant"
                                      << "ssl://broker.plant:8883";
    QTest::newRow("port given") << "mqtt://127.0.0.1:18830"
                                << "tcp://127.0.0.1:18830";
    QTest::newRow("IPv6") << "mqtts://[::1]:8884"
                          << "ssl://[::1]:8884";
    QTest::newRow("port 0") << "mqtt://h:0"
                            << "";
    QTest::newRow("port too large") << "mqtt://h:65536"
                                    << "";
    QTest::newRow("another scheme") << "tcp://h:1883"
                                    << "";
    QTest::newRow("no host") << "mqtt://:1883"
                             << "";
    QTest::newRow("a path") << "mqtt://h/x"
                            << "";
    QTest::newRow("credentials in the URL") << "mqtt://u:p@h"
                                            << "";
}

void TestMonitor::broker_addresses() {
    QFETCH(QString, text);
    QFETCH(QString, uri);
    const auto parsed = parseBrokerAddress(text);
    if (uri.isEmpty()) {
        QVERIFY(std::holds_alternative<QString>(parsed));
        // A refusal never repeats what might be a password.
        QVERIFY(!std::get<QString>(parsed).contains("u:p@") ||
                std::get<QString>(parsed).contains(text));
    } else {
        QVERIFY2(std::holds_alternative<BrokerAddress>(parsed), qPrintable(text));
        QCOMPARE(std::get<BrokerAddress>(parsed).libraryUri(), uri);
    }
}

void TestMonitor::health_data() {
    QTest::addColumn<QString>("cycles");  // v: a value, n: no reply, L: port lost (at once)
    QTest::addColumn<QString>("changes"); // the state after each change: + online, - offline
    QTest::newRow("two failures are not yet offline") << "vnnv"
                                                      << "";
    QTest::newRow("offline at the third failure in a row, online at the next value") << "vnnnnv"
                                                                                     << "-+";
    QTest::newRow("a value between failures starts the count again") << "nnvnnvnn"
                                                                     << "";
    // Once the port is back, a cycle without a value says the transmitter is
    // what fails now.
    QTest::newRow("a lost port is offline at once, then for the failure seen, back with a value")
        << "vLnnv"
        << "--+";
}

void TestMonitor::health() {
    QFETCH(QString, cycles);
    QFETCH(QString, changes);
    TransmitterHealth h(3, std::nullopt);
    QString seen;
    for (const QChar c : cycles) {
        const bool changed =
            c == 'L' ? h.goOffline("port lost") : h.noteCycle(c == 'v', QStringLiteral("no reply"));
        if (changed)
            seen += h.online() ? '+' : '-';
    }
    QCOMPARE(seen, changes);
}

void TestMonitor::payloads_keep_what_was_read() {
    const QDateTime t = QDateTime::fromString("2026-12-09T08:01:02.345+01:00", Qt::ISODateWithMs);
    const QDateTime run = t.addSecs(-60);
    const QJsonObject r = readingPayload("+101.25", 101.25, "kPa", t, run, 7);
    QCOMPARE(r["time"].toString(), QStringLiteral("2026-12-09T07:01:02.345Z"));
    QCOMPARE(r["run"].toString(), QStringLiteral("2026-12-09T07:00:02.345Z"));
    QCOMPARE(r["seq"].toInt(), 7);
    QCOMPARE(r["text"].toString(), QStringLiteral("+101.25"));
    // A unit not known is null, never a guess.
    QVERIFY(readingPayload("+1", 1, "", t, run, 1)["unit"].isNull());
    QVERIFY(statePayload(std::nullopt, t)["error"].isNull());
    QCOMPARE(statePayload(QStringLiteral("port lost"), t)["state"].toString(), "offline");
    QCOMPARE(QJsonDocument(willStatus()).toJson(QJsonDocument::Compact),
             QByteArray(R"({"reason":"connection lost","state":"offline"})"));
}

void TestMonitor::home_assistant_discovery_data() {
    QTest::addColumn<int>("unitCode"); // -1: not read
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("unit");        // Home Assistant's; empty: none
    QTest::addColumn<QString>("deviceClass"); // empty: none
    QTest::addColumn<QString>("deviceName");
    QTest::newRow("kPa") << 0 << "PT-A"
                         << "kPa"
                         << "pressure"
                         << "PT-A 05";
    QTest::newRow("MPa") << 1 << "PT-A"
                         << "MPa"
                         << "pressure"
                         << "PT-A 05";
    QTest::newRow("Bar spelt bar") << 3 << "PT-A"
                                   << "bar"
                                   << "pressure"
                                   << "PT-A 05";
    QTest::newRow("Psi spelt psi") << 4 << "PT-A"
                                   << "psi"
                                   << "pressure"
                                   << "PT-A 05";
    QTest::newRow("mBar spelt mbar") << 5 << "PT-A"
                                     << "mbar"
                                     << "pressure"
                                     << "PT-A 05";
    QTest::newRow("mH2O, no pressure class") << 2 << "PT-A"
                                             << "mH2O"
                                             << ""
                                             << "PT-A 05";
    QTest::newRow("the unknown unit: none") << 6 << "PT-A"
                                            << ""
                                            << ""
                                            << "PT-A 05";
    QTest::newRow("unit and model not read") << -1 << ""
                                             << ""
                                             << ""
                                             << "Transmitter 05";
}

void TestMonitor::home_assistant_discovery() {
    QFETCH(int, unitCode);
    QFETCH(QString, model);
    QFETCH(QString, unit);
    QFETCH(QString, deviceClass);
    QFETCH(QString, deviceName);
    const QList<MonitorMessage> messages = discoveryMessages(
        "homeassistant", "plant/line1",
        {"gw.plant", "/dev/ttyUSB0", "05", model.isEmpty() ? QJsonValue() : QJsonValue(model),
         QJsonValue("V2.13"), unitCode < 0 ? std::nullopt : std::optional<int>(unitCode)});
    QCOMPARE(messages.size(), 2);
    const QStringList leaves{"pressure", "temperature"};
    for (int i = 0; i < 2; ++i) {
        const MonitorMessage& m = messages[i];
        const QString leaf = leaves[i];
        QVERIFY(m.retain);
        // The host and port slugged, so one gateway's buses never share an id.
        QCOMPARE(m.topic,
                 "homeassistant/sensor/tarnwick_gw_plant__dev_ttyUSB0/05_" + leaf + "/config");
        QCOMPARE(m.payload["unique_id"].toString(), "tarnwick_gw_plant__dev_ttyUSB0_05_" + leaf);
        QCOMPARE(m.payload["state_topic"].toString(), "plant/line1/05/" + leaf);
        QCOMPARE(m.payload["unit_of_measurement"].toString(), i == 0 ? unit : "°C");
        QCOMPARE(m.payload.contains("unit_of_measurement"), i == 1 || !unit.isEmpty());
        QCOMPARE(m.payload["device_class"].toString(), i == 0 ? deviceClass : "temperature");
        QCOMPARE(m.payload.contains("device_class"), i == 1 || !deviceClass.isEmpty());
        const QJsonObject device = m.payload["device"].toObject();
        QCOMPARE(device["name"].toString(), deviceName);
        QCOMPARE(device.contains("model"), !model.isEmpty());
        QCOMPARE(device["sw_version"].toString(), QStringLiteral("V2.13"));
        // Available only while the monitor and the transmitter both say so.
        QCOMPARE(m.payload["availability_mode"].toString(), QStringLiteral("all"));
        QStringList availability;
        for (const QJsonValue& a : m.payload["availability"].toArray())
            availability << a["topic"].toString();
        QCOMPARE(availability, (QStringList{"plant/line1/status", "plant/line1/05/state"}));
    }
}

void TestMonitor::stdout_run_publishes_the_bus() {
    const qsizetype traceBefore = m_sim.traceLines().size();
    QProcess monitor;
    monitor.start(QStringLiteral(TARNWICK_CLI_PATH),
                  {"--port", m_sim.devicePath(), "monitor", "3", "17", "42", "-i", "300", "--topic",
                   "plant/line1", "--ha-discovery", "--ha-prefix", "ha"});
    QVERIFY(monitor.waitForStarted());
    QByteArray out;
    const auto seen = [&] {
        out += monitor.readAllStandardOutput();
        return messagesOf(out);
    };
    const auto count = [&](const QString& topic) {
        const QList<Message> messages = seen();
        return std::count_if(messages.cbegin(), messages.cend(),
                             [&](const Message& m) { return m.topic == topic; });
    };
    QTRY_VERIFY_WITH_TIMEOUT(count("plant/line1/17/pressure") >= 2, 30'000);

    // 17 falls silent: offline after three failed cycles, online when back.
    QCOMPARE(m_sim.control("fault 17 * silent"), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(count("plant/line1/17/state") >= 2, 30'000);
    QCOMPARE(m_sim.control("fault 17 * none"), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(count("plant/line1/17/state") >= 3, 30'000);
    // Its full read follows at the end of that cycle.
    QTRY_VERIFY_WITH_TIMEOUT(count("plant/line1/17/info") >= 2, 30'000);
    ::kill(pid_t(monitor.processId()), SIGTERM);
    QVERIFY(monitor.waitForFinished(10'000));
    QCOMPARE(monitor.exitCode(), 143);
    const QList<Message> messages = seen();

    // The status first and last, retained: online, then stopped.
    QCOMPARE(messages.first().topic, QStringLiteral("plant/line1/status"));
    QVERIFY(messages.first().retain);
    QCOMPARE(messages.first().payload["transmitters"].toArray(), (QJsonArray{"03", "17", "42"}));
    QCOMPARE(messages.last().payload["reason"].toString(), QStringLiteral("stopped"));

    // Each transmitter's info (its full read) and state, retained, before its
    // readings; readings counted from 1 with no gap, in their units.
    const QStringList sent = m_sim.traceLines().mid(traceBefore);
    const QMap<QString, QString> units{{"03", "kPa"}, {"17", "Bar"}, {"42", "Unknown"}};
    for (const QString& a : units.keys()) {
        QStringList order;
        QMap<QString, long long> seq;
        for (const Message& m : messages) {
            if (!m.topic.startsWith("plant/line1/" + a + "/"))
                continue;
            const QString leaf = m.topic.section('/', -1);
            if (order.isEmpty() || order.last() != leaf)
                order.append(leaf);
            QCOMPARE(m.retain, leaf == "info" || leaf == "state");
            if (leaf == "info")
                QCOMPARE(m.payload["address"].toString(), a);
            if (leaf != "pressure" && leaf != "temperature")
                continue;
            QCOMPARE(m.payload["seq"].toInteger(), ++seq[leaf]);
            QCOMPARE(m.payload["unit"].toString(), leaf == "pressure" ? units[a] : "°C");
            // The value is one the transmitter sent.
            const QString text = m.payload["text"].toString();
            QVERIFY2(sent.filter(QRegularExpression(QStringLiteral("sent \\*%1%2")
                                                        .arg(a, QRegularExpression::escape(text))))
                             .size() > 0,
                     qPrintable(a + " " + text));
            QCOMPARE(m.payload["value"].toDouble(), text.toDouble());
        }
        QVERIFY2(order.mid(0, 2) == (QStringList{"info", "state"}), qPrintable(order.join(' ')));
        QVERIFY2(seq["pressure"] >= 2, qPrintable(a));
    }

    // 17's states: online, offline (no reply) after three unanswered cycles,
    // online again, with a new full read on its return.
    QList<QJsonObject> states;
    int infos = 0;
    // The cycles from 17's last reading before it fell silent to its
    // offline state, counted by 03's readings, one a cycle.
    int unanswered = 0;
    for (const Message& m : messages) {
        if (m.topic == "plant/line1/17/state")
            states.append(m.payload);
        infos += m.topic == "plant/line1/17/info";
        if (states.size() == 1 && m.topic == "plant/line1/17/pressure")
            unanswered = 0;
        unanswered += states.size() == 1 && m.topic == "plant/line1/03/pressure";
    }
    QCOMPARE(states.size(), 3);
    QCOMPARE(states[1]["state"].toString(), QStringLiteral("offline"));
    QCOMPARE(states[1]["error"].toString(), QStringLiteral("no reply"));
    QCOMPARE(states[2]["state"].toString(), QStringLiteral("online"));
    QCOMPARE(unanswered, 3);
    QCOMPARE(infos, 2);

    // Each transmitter announced to Home Assistant with each full read, in
    // the unit it was read with.
    QMap<QString, QString> announced;
    for (const Message& m : messages)
        if (m.topic.startsWith("ha/sensor/") && m.topic.endsWith("_pressure/config")) {
            QVERIFY(m.retain);
            announced[m.topic.section('/', 3, 3).left(2)] =
                m.payload["unit_of_measurement"].toString("none");
        }
    QCOMPARE(announced, (QMap<QString, QString>{{"03", "kPa"}, {"17", "bar"}, {"42", "none"}}));

    // The monitor only ever read.
    for (const QString& line : sent.filter(" heard "))
        QVERIFY2(QRegularExpression(
                     R"( heard \$\d\d(TY|DL|DH|UT|ID|VR|DP|OL|OH|ZF|FF|RP0|RT0|AD)[0-9A-F]{2}\\r)")
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));
}

// With --search only what answers is told of; a transmitter that starts
// answering is found by the probes between cycles and read in full in their
// slack, the others' readings keeping their slots; one that stops is not
// found after a pass of the probes and leaves Home Assistant after three.
void TestMonitor::a_search_finds_newcomers_and_loses_leavers() {
    QCOMPARE(m_sim.control("fault 17 * silent"), QStringLiteral("ok"));
    QProcess monitor;
    monitor.start(QStringLiteral(TARNWICK_CLI_PATH),
                  {"--port", m_sim.devicePath(), "monitor", "--search", "-a", "1,3,17", "-i",
                   "500", "--topic", "s", "--ha-discovery", "--ha-prefix", "ha"});
    QVERIFY(monitor.waitForStarted());
    QByteArray out;
    const auto seen = [&] {
        out += monitor.readAllStandardOutput();
        return messagesOf(out);
    };
    const auto count = [&](const std::function<bool(const Message&)>& match) {
        const QList<Message> messages = seen();
        return std::count_if(messages.cbegin(), messages.cend(), match);
    };
    const auto on = [](const QString& topic) {
        return [topic](const Message& m) { return m.topic == topic; };
    };
    QTRY_VERIFY_WITH_TIMEOUT(count(on("s/03/pressure")) >= 2, 30'000);
    QCOMPARE(count(on("s/17/state")), 0);

    // 17 begins to answer: found within a pass over the missing addresses
    // (01 and 17) at 4 rates, 8 cycles, then read in full.
    QCOMPARE(m_sim.control("fault 17 * none"), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(count(on("s/17/info")) >= 1 && count(on("s/17/pressure")) >= 2,
                             60'000);
    // 03 stops answering: not found after a pass, gone from Home Assistant
    // after three.
    QCOMPARE(m_sim.control("fault 03 * silent"), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(count([](const Message& m) {
                                 return m.topic.startsWith("ha/sensor/") &&
                                        m.topic.endsWith("/03_pressure/config") &&
                                        m.payload.isEmpty();
                             }) >= 1,
                             60'000);
    ::kill(pid_t(monitor.processId()), SIGTERM);
    QVERIFY(monitor.waitForFinished(10'000));
    QCOMPARE(m_sim.control("fault 03 * none"), QStringLiteral("ok"));
    const QList<Message> messages = seen();

    // Only what answered is named, in the status and with a state.
    QStringList statusLists;
    QSet<QString> stated;
    for (const Message& m : messages) {
        if (m.topic == "s/status" && m.payload["state"] == QStringLiteral("online"))
            statusLists << m.payload["transmitters"].toVariant().toStringList().join(',');
        if (m.topic.endsWith("/state"))
            stated << m.topic.section('/', 1, 1);
    }
    QCOMPARE(statusLists.first(), QString());
    QVERIFY2(statusLists.contains("03") && statusLists.contains("03,17"),
             qPrintable(statusLists.join(" | ")));
    QCOMPARE(stated, (QSet<QString>{"03", "17"}));

    // The newcomer: its state first, its announcement right after its info.
    QStringList order;
    for (const Message& m : messages)
        if (m.topic.startsWith("s/17/") || m.topic.contains("/17_pressure"))
            if (order.isEmpty() || order.last() != m.topic.section('/', -1))
                order << m.topic.section('/', -1);
    QVERIFY2(order.value(0) == "state" && order.contains("info") && order.contains("pressure") &&
                 order.indexOf("config") == order.indexOf("info") + 1,
             qPrintable(order.join(' ')));
    // 03's readings kept their slots through the probes, 17's arrival and
    // its full read, up to its silence: no gap of two intervals.
    QList<QDateTime> times;
    for (const Message& m : messages)
        if (m.topic == "s/03/pressure")
            times << QDateTime::fromString(m.payload["time"].toString(), Qt::ISODateWithMs);
    QVERIFY2(times.size() >= 5, qPrintable(QString::number(times.size())));
    for (qsizetype i = 1; i < times.size(); ++i)
        QVERIFY2(times[i - 1].msecsTo(times[i]) < 950,
                 qPrintable(QStringLiteral("%1 ms between two readings of 03")
                                .arg(times[i - 1].msecsTo(times[i]))));
    // The leaver: offline, not found, and never online again.
    QList<QJsonObject> states;
    for (const Message& m : messages)
        if (m.topic == "s/03/state")
            states << m.payload;
    QVERIFY2(states.size() >= 2, qPrintable(QString::number(states.size())));
    QCOMPARE(states.last()["state"].toString(), QStringLiteral("offline"));
    QCOMPARE(states.last()["error"].toString(), QStringLiteral("not found"));
}

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
