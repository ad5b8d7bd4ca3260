// Exchanges through the real serial layer over a pseudo-terminal, against
// the simulated bus.

#include "link/exchange.h"
#include "link/frame.h"
#include "support/real_line.h"
#include "ui/port_error_text.h"

#include <QElapsedTimer>
#include <QTest>

namespace {
const QByteArray kBus = R"({"transmitters": [
    {"address": "01", "baud": 9600, "model": "PT-9600"},
    {"address": "02", "baud": 4800, "model": "PT-4800"},
    {"address": "03", "baud": 2400, "model": "PT-2400"},
    {"address": "04", "baud": 1200, "model": "PT-1200"}]})";
}

class TestWire : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void reply_at_each_rate_data();
    void reply_at_each_rate();
    void silence_at_the_wrong_rate_data();
    void silence_at_the_wrong_rate();
    void injected_faults_data();
    void injected_faults();
    void late_reply_is_not_taken_by_the_next_exchange();
    void cleanupTestCase();

private:
    RealLine* m_line = nullptr;
    QString send(const QString& address, const QString& command) {
        return Comm_Send(m_line->port, m_line->clock, address, command);
    }
};

void TestWire::initTestCase() {
    m_line = new RealLine(kBus);
    QVERIFY2(m_line->start(),
             qPrintable(m_line->simulator.errorString() + portErrorText(m_line->port.lastError())));
}

void TestWire::cleanupTestCase() {
    delete m_line;
}

void TestWire::reply_at_each_rate_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("model");
    QTest::newRow("9600") << "9600,N,8,1"
                          << "01"
                          << "PT-9600";
    QTest::newRow("4800") << "4800,N,8,1"
                          << "02"
                          << "PT-4800";
    QTest::newRow("2400") << "2400,N,8,1"
                          << "03"
                          << "PT-2400";
    QTest::newRow("1200") << "1200,N,8,1"
                          << "04"
                          << "PT-1200";
}

void TestWire::reply_at_each_rate() {
    QFETCH(QString, settings);
    QFETCH(QString, address);
    QFETCH(QString, model);
    QVERIFY(m_line->port.setSettings(settings));
    QCOMPARE(send(address, "AD"), '*' + address + address + '\r');
    QCOMPARE(send(address, "TY"), '*' + address + model + '\r');
}

void TestWire::silence_at_the_wrong_rate_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("timeout");
    QTest::newRow("9600") << "9600,N,8,1" << 60;
    QTest::newRow("1200") << "1200,N,8,1" << 300;
}

void TestWire::silence_at_the_wrong_rate() {
    QFETCH(QString, settings);
    QFETCH(int, timeout);
    QVERIFY(m_line->port.setSettings(settings));
    QElapsedTimer elapsed;
    elapsed.start();
    // Transmitter 02 listens at 4800 only.
    QCOMPARE(send("02", "AD"), QStringLiteral("ERR 0\r"));
    // The exchange's clock counts whole milliseconds, so its wait may end up
    // to a millisecond short of the time-out as another clock sees it.
    QVERIFY2(elapsed.elapsed() >= timeout - 2, qPrintable(QString::number(elapsed.elapsed())));
    QVERIFY2(elapsed.elapsed() < timeout + 1000, "the wait went on far past the time-out");
}

void TestWire::injected_faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("result");
    QTest::newRow("silent") << "silent"
                            << "ERR 0\r";
    QTest::newRow("bad checksum") << "bad-checksum"
                                  << "EER 3\r";
    QTest::newRow("lower-case checksum") << "lower-case-checksum"
                                         << "EER 3\r";
    QTest::newRow("noise") << "noise"
                           << "EER 3\r";
    QTest::newRow("trailing") << "trailing"
                              << "EER 3\r";
    QTest::newRow("empty data") << "empty-data"
                                << "*01\r";
    QTest::newRow("late") << "late"
                          << "ERR 0\r";
}

void TestWire::injected_faults() {
    QFETCH(QString, fault);
    QFETCH(QString, result);
    QVERIFY(m_line->port.setSettings("9600,N,8,1"));
    // A model whose reply checksum has a letter, so its lower-case form differs.
    QCOMPARE(send("01", "TYPT-9600Z"), QStringLiteral("*01PT-9600Z\r"));
    QVERIFY(frame::checksum("01PT-9600Z").toLower() != frame::checksum("01PT-9600Z"));
    QCOMPARE(m_line->simulator.control("fault 01 TY " + fault), QStringLiteral("ok"));
    QCOMPARE(send("01", "TY"), result);
    QCOMPARE(m_line->simulator.control("clear-faults"), QStringLiteral("ok"));
    QTest::qWait(400); // let a late reply drain before the next row
    QCOMPARE(send("01", "TY"), QStringLiteral("*01PT-9600Z\r"));
}

void TestWire::late_reply_is_not_taken_by_the_next_exchange() {
    QVERIFY(m_line->port.setSettings("9600,N,8,1"));
    QCOMPARE(m_line->simulator.control("fault 01 RP0 late"), QStringLiteral("ok"));
    QCOMPARE(send("01", "RP0"), QStringLiteral("ERR 0\r"));
    // The late pressure reply arrives while nothing waits for it ...
    QTest::qWait(100);
    // ... and the next exchange takes its own reply, not that one.
    QCOMPARE(send("01", "TY"), QStringLiteral("*01PT-9600Z\r"));
    // And with no pause in between, the late reply still never passes for
    // the next one.
    QCOMPARE(send("01", "RP0"), QStringLiteral("ERR 0\r"));
    QCOMPARE(send("01", "TY"), QStringLiteral("*01PT-9600Z\r"));
    QCOMPARE(m_line->simulator.control("clear-faults"), QStringLiteral("ok"));
}

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
