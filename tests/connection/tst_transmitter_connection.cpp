// The connection to one transmitter on a fake bus: how each kind of reply is
// judged, and the move's steps that decide where the transmitter is.

#include "connection/transmitter_connection.h"
#include "link/frame.h"
#include "support/fake_bus.h"
#include "support/fake_clock.h"

#include <QTest>

namespace {
struct Bench {
    FakeClock clock;
    FakeSerialPort port{clock};
    FakeBus bus{port};
    BusLine line{port, clock};
    TransmitterConnection connection{line, QStringLiteral("07")};
    FakeTransmitter* transmitter = nullptr;

    Bench() {
        port.open();
        transmitter = &bus.add(QStringLiteral("07"), 4800);
        fillTypicalValues(*transmitter);
    }
};
} // namespace

class TestTransmitterConnection : public QObject {
    Q_OBJECT

private slots:
    void replies_are_judged_data();
    void replies_are_judged();
    void rate_is_found_and_kept();
    void move_steps_follow_the_replies_data();
    void move_steps_follow_the_replies();
};

void TestTransmitterConnection::replies_are_judged_data() {
    // Empty: silence; "LOST": the device goes while the request is out;
    // "CLOSED": it went before.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("done");
    QTest::addColumn<bool>("sent");
    QTest::newRow("data") << frame::reply("07+1.5") << int(ReplyKind::Data) << "+1.5" << false
                          << true;
    QTest::newRow("OK") << frame::reply("07OK") << int(ReplyKind::Data) << "OK" << true << true;
    QTest::newRow("echo alone") << frame::reply("07") << int(ReplyKind::NoData) << "" << false
                                << true;
    QTest::newRow("another address's OK")
        << frame::reply("08OK") << int(ReplyKind::OtherAddress) << "OK" << false << true;
    QTest::newRow("bad checksum") << QByteArray("*07OK00\r") << int(ReplyKind::InvalidFrame) << " 3"
                                  << false << true;
    QTest::newRow("silence") << QByteArray() << int(ReplyKind::NoReply) << " 0" << false << true;
    // A closed port gives the text of silence; the connection tells them apart.
    QTest::newRow("device lost during the exchange")
        << QByteArray("LOST") << int(ReplyKind::PortLost) << " 0" << false << true;
    QTest::newRow("device lost before it")
        << QByteArray("CLOSED") << int(ReplyKind::PortLost) << " 0" << false << false;
}

void TestTransmitterConnection::replies_are_judged() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, kind);
    QFETCH(QString, value);
    QFETCH(bool, done);
    QFETCH(bool, sent);
    Bench b;
    QVERIFY(b.connection.setBaudIndex(2));
    if (bytes.isEmpty() || bytes == "LOST" || bytes == "CLOSED")
        b.transmitter->silent.insert("WU");
    else
        b.transmitter->rawReply.insert("WU", bytes);
    if (bytes == "LOST")
        b.bus.onRequest = [&b](const FakeBus::Heard&) { b.port.loseDevice(); };
    if (bytes == "CLOSED")
        b.port.loseDevice();
    const Exchanged e = b.connection.exchange(Command::StoreUser);
    QCOMPARE(int(e.kind), kind);
    QCOMPARE(e.value(), value);
    QCOMPARE(TransmitterConnection::isDone(e), done);
    QCOMPARE(e.sent, sent);
    QCOMPARE(b.bus.commandsTo("07"), sent ? QStringList{"WU"} : QStringList{});
}

void TestTransmitterConnection::rate_is_found_and_kept() {
    Bench b;
    QCOMPARE(b.connection.findRate(), 2);
    QCOMPARE(b.connection.baudIndex(), 2);
    QCOMPARE(b.port.settings(), QStringLiteral("4800,n,8,1"));
    // Asked at 9600 first, answered at 4800.
    QCOMPARE(b.bus.commandsTo("07"), (QStringList{"AD", "AD"}));
    QCOMPARE(b.connection.findRate([] { return true; }), -1);
}

void TestTransmitterConnection::move_steps_follow_the_replies_data() {
    QTest::addColumn<QByteArray>("addressReply");
    QTest::addColumn<QByteArray>("rateReply");
    QTest::addColumn<QString>("addressAfter");
    QTest::addColumn<int>("rateAfter");
    QTest::newRow("both accepted") << frame::reply("0745") << frame::reply("450") << "45" << 0;
    QTest::newRow("address lost: the rest goes to the old one")
        << QByteArray() << frame::reply("070") << "07" << 0;
    QTest::newRow("empty address reply") << frame::reply("07") << frame::reply("070") << "07" << 0;
    QTest::newRow("rate echo of another digit")
        << frame::reply("0745") << frame::reply("451") << "45" << 2;
}

void TestTransmitterConnection::move_steps_follow_the_replies() {
    QFETCH(QByteArray, addressReply);
    QFETCH(QByteArray, rateReply);
    QFETCH(QString, addressAfter);
    QFETCH(int, rateAfter);
    Bench b;
    QVERIFY(b.connection.setBaudIndex(2));
    FakeTransmitter& moved = b.bus.add(QStringLiteral("45"), 4800);
    for (FakeTransmitter* t : {b.transmitter, &moved}) {
        if (addressReply.isEmpty())
            t->silent.insert("AD");
        else
            t->rawReply.insert("AD", addressReply);
        t->rawReply.insert("BD", rateReply);
    }
    QVERIFY(b.connection.moveId(QStringLiteral("SN7")).answered());
    const Exchanged address = b.connection.moveAddress(QStringLiteral("45"));
    QCOMPARE(b.connection.address(), addressAfter);
    const Exchanged rate = b.connection.moveRate(0);
    QCOMPARE(b.connection.baudIndex(), rateAfter);
    b.connection.moveModel(QStringLiteral("PT-A"));
    QCOMPARE(b.bus.commandsTo(addressAfter).last(), QStringLiteral("TYPT-A"));
    const bool accepted = addressAfter == "45" && rateAfter == 0;
    QCOMPARE(TransmitterConnection::showsNewAddress(address, "07", "45") &&
                 TransmitterConnection::echoesRate(rate, 0),
             accepted);
}

QTEST_APPLESS_MAIN(TestTransmitterConnection)
#include "tst_transmitter_connection.moc"
