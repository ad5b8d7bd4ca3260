// Telnet as a device server speaks it: data escaped both ways, commands taken
// out of the stream wherever the network cut it, and the client's side of
// the option negotiation.

#include "link/telnet_codec.h"

#include <QTest>

using telnet::Command;

namespace {
constexpr char IAC = telnet::kIac;
constexpr char SB = telnet::kSb;
constexpr char SE = telnet::kSe;
constexpr char WILL = telnet::kWill;
constexpr char WONT = telnet::kWont;
constexpr char DO = telnet::kDo;
constexpr char DONT = telnet::kDont;
constexpr char COMPORT = char(telnet::kOptionComPort);

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

// The server's answer to SET-BAUDRATE 4800, as ser2net sends it.
const QByteArray kRate4800 = bytes({255, 250, 44, 101, 0, 0, 0x12, 0xC0, 255, 240});

struct Decoded {
    QByteArray data;
    QList<Command> commands;
};

Decoded decode(const QList<QByteArray>& chunks) {
    telnet::Decoder decoder;
    Decoded out;
    for (const QByteArray& chunk : chunks)
        decoder.feed(chunk, out.data, out.commands);
    return out;
}
} // namespace

Q_DECLARE_METATYPE(QList<Command>)

class TestTelnetCodec : public QObject {
    Q_OBJECT

private slots:
    void escaping_data();
    void escaping();
    void every_byte_survives_any_cut();
    void decoding_data();
    void decoding();
    void a_command_cut_anywhere_is_still_one_command();
    void line_settings_commands_data();
    void line_settings_commands();
    void negotiation_data();
    void negotiation();
    void rate_acknowledgement_data();
    void rate_acknowledgement();
};

void TestTelnetCodec::escaping_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("frame") << QByteArray("$01AD04\r") << QByteArray("$01AD04\r");
    QTest::newRow("one 0xFF") << bytes({255}) << bytes({255, 255});
    QTest::newRow("0xFF in the middle and at the end")
        << bytes({'a', 255, 'b', 255}) << bytes({'a', 255, 255, 'b', 255, 255});
    QTest::newRow("other high bytes stay") << bytes({254, 250, 240}) << bytes({254, 250, 240});
}

void TestTelnetCodec::escaping() {
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, sent);
    QCOMPARE(telnet::escape(data), sent);
    // And the other way round: what is sent decodes to the data.
    const Decoded back = decode({sent});
    QCOMPARE(back.data, data);
    QVERIFY(back.commands.isEmpty());
}

void TestTelnetCodec::every_byte_survives_any_cut() {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all += char(i);
    const QByteArray sent = telnet::escape(all);
    for (qsizetype cut = 0; cut <= sent.size(); ++cut) {
        const Decoded back = decode({sent.left(cut), sent.mid(cut)});
        QVERIFY2(back.data == all, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        QVERIFY(back.commands.isEmpty());
    }
}

void TestTelnetCodec::decoding_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<Command>>("commands");
    const Command notify{SB, 44, bytes({107, 0x30})};
    QTest::newRow("IAC IAC cut between the two")
        << QList<QByteArray>{bytes({'*', 255}), bytes({255, '\r'})} << bytes({'*', 255, '\r'})
        << QList<Command>{};
    QTest::newRow("negotiation in the middle of a frame")
        << QList<QByteArray>{QByteArray("*01") + bytes({255, 251, 1}) + "01\r"}
        << QByteArray("*0101\r") << QList<Command>{{WILL, 1, {}}};
    QTest::newRow("modem state notice in the middle of a frame, cut")
        << QList<QByteArray>{QByteArray("*01") + bytes({255, 250}), bytes({44, 107, 0x30, 255}),
                             bytes({240}) + "01\r"}
        << QByteArray("*0101\r") << QList<Command>{notify};
    QTest::newRow("0xFF inside a subnegotiation")
        << QList<QByteArray>{bytes({255, 250, 44, 101, 0, 0, 255, 255, 255, 255, 255, 240})}
        << QByteArray() << QList<Command>{{SB, 44, bytes({101, 0, 0, 255, 255})}};
    QTest::newRow("NOP and go-ahead dropped")
        << QList<QByteArray>{bytes({'a', 255, 241, 'b', 255, 249, 'c'})} << QByteArray("abc")
        << QList<Command>{};
    QTest::newRow("subnegotiation ended by another command")
        << QList<QByteArray>{bytes({255, 250, 44, 106, 1, 255, 251, 3}) + "x"} << QByteArray("x")
        << QList<Command>{{SB, 44, bytes({106, 1})}, {WILL, 3, {}}};
}

void TestTelnetCodec::decoding() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, data);
    QFETCH(QList<Command>, commands);
    const Decoded got = decode(chunks);
    QCOMPARE(got.data, data);
    QCOMPARE(got.commands, commands);
}

void TestTelnetCodec::a_command_cut_anywhere_is_still_one_command() {
    // A reply with the rate acknowledgement and a negotiation inside it,
    // delivered in three pieces cut at every pair of places.
    const QByteArray stream =
        QByteArray("*07") + kRate4800 + "07" + bytes({255, 253, 0}) + bytes({255, 255}) + "\r";
    const QByteArray data = QByteArray("*0707") + bytes({255}) + "\r";
    const QList<Command> commands{{SB, 44, bytes({101, 0, 0, 0x12, 0xC0})}, {DO, 0, {}}};
    for (qsizetype a = 0; a <= stream.size(); ++a) {
        for (qsizetype b = a; b <= stream.size(); ++b) {
            const Decoded got = decode({stream.left(a), stream.mid(a, b - a), stream.mid(b)});
            const QString where = QStringLiteral("cut at %1 and %2").arg(a).arg(b);
            QVERIFY2(got.data == data, qPrintable(where));
            QVERIFY2(got.commands == commands, qPrintable(where));
        }
    }
}

void TestTelnetCodec::line_settings_commands_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("sent");
    const auto sub = [](std::initializer_list<int> body) {
        return bytes({255, 250, 44}) + bytes(body) + bytes({255, 240});
    };
    QTest::newRow("9600,n,8,1") << "9600,N,8,1"
                                << sub({1, 0, 0, 0x25, 0x80}) + sub({2, 8}) + sub({3, 1}) +
                                       sub({4, 1});
    QTest::newRow("even, 7 bits, 2 stop")
        << "4800,E,7,2" << sub({1, 0, 0, 0x12, 0xC0}) + sub({2, 7}) + sub({3, 3}) + sub({4, 2});
    // A rate byte of 0xFF is doubled inside the subnegotiation too.
    QTest::newRow("0xFF in the rate")
        << "255,n,8,1" << sub({1, 0, 0, 0, 255, 255}) + sub({2, 8}) + sub({3, 1}) + sub({4, 1});
    QTest::newRow("no line settings") << "fast" << QByteArray();
}

void TestTelnetCodec::line_settings_commands() {
    QFETCH(QString, settings);
    QFETCH(QByteArray, sent);
    QCOMPARE(telnet::lineSettingsCommands(settings), sent);
}

void TestTelnetCodec::negotiation_data() {
    using CP = telnet::Session::ComPort;
    QTest::addColumn<QByteArray>("fromServer");
    QTest::addColumn<QByteArray>("replies");
    QTest::addColumn<CP>("comPort");
    // What ser2net 4.3's telnet(rfc2217) accepter sends first: it offers
    // echo, which a serial line must not have; everything else we asked for.
    QTest::newRow("ser2net's opening") << bytes({255, 251, 3, 255, 253, 3, 255, 251, 1, 255, 254, 1,
                                                 255, 253, 0, 255, 251, 0, 255, 253, 44})
                                       << bytes({255, 254, 1}) << CP::Agreed;
    QTest::newRow("server refuses the option")
        << bytes({255, 254, 44}) << QByteArray() << CP::Refused;
    QTest::newRow("server offers the option itself")
        << bytes({255, 251, 44}) << bytes({255, 253, 44}) << CP::Pending;
    QTest::newRow("unknown options refused, each side its own way")
        << bytes({255, 253, 24, 255, 251, 31}) << bytes({255, 252, 24, 255, 254, 31})
        << CP::Pending;
    QTest::newRow("a repeated agreement is not answered")
        << bytes({255, 253, 0, 255, 253, 0, 255, 251, 3, 255, 251, 3, 255, 253, 44}) << QByteArray()
        << CP::Agreed;
    QTest::newRow("an option withdrawn after the agreement is acknowledged")
        << bytes({255, 251, 0, 255, 252, 0, 255, 253, 3, 255, 254, 3})
        << bytes({255, 254, 0, 255, 252, 3}) << CP::Pending;
    QTest::newRow("refusals of options never enabled are not answered")
        << bytes({255, 252, 1, 255, 254, 24}) << QByteArray() << CP::Pending;
    QTest::newRow("agreed, then withdrawn")
        << bytes({255, 253, 44, 255, 254, 44}) << bytes({255, 252, 44}) << CP::Refused;
}

void TestTelnetCodec::negotiation() {
    QFETCH(QByteArray, fromServer);
    QFETCH(QByteArray, replies);
    QFETCH(telnet::Session::ComPort, comPort);
    telnet::Session session;
    QCOMPARE(session.start(),
             bytes({255, 251, 44, 255, 251, 0, 255, 251, 3, 255, 253, 0, 255, 253, 3}));
    QCOMPARE(session.comPort(), telnet::Session::ComPort::Pending);
    const QByteArray data = session.receive(fromServer);
    QCOMPARE(data, fromServer.startsWith(IAC) ? QByteArray() : fromServer);
    QCOMPARE(session.takeReplies(), replies);
    QCOMPARE(session.takeReplies(), QByteArray());
    QCOMPARE(session.comPort(), comPort);
}

void TestTelnetCodec::rate_acknowledgement_data() {
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<int>("baud"); // -1: none
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("acknowledged") << QList<QByteArray>{kRate4800} << 4800 << QByteArray();
    QTest::newRow("cut, between reply bytes")
        << QList<QByteArray>{"*0", kRate4800.left(5), kRate4800.mid(5) + "1\r"} << 4800
        << QByteArray("*01\r");
    QTest::newRow("line and modem state notices are no acknowledgement")
        << QList<QByteArray>{bytes(
               {255, 250, 44, 106, 0x60, 255, 240, 255, 250, 44, 107, 0x30, 255, 240})}
        << -1 << QByteArray();
    QTest::newRow("answers to the other settings are none")
        << QList<QByteArray>{bytes(
               {255, 250, 44, 102, 8, 255, 240, 255, 250, 44, 112, 1, 255, 240})}
        << -1 << QByteArray();
}

void TestTelnetCodec::rate_acknowledgement() {
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(int, baud);
    QFETCH(QByteArray, data);
    telnet::Session session;
    session.start();
    QByteArray got;
    for (const QByteArray& chunk : chunks)
        got += session.receive(chunk);
    QCOMPARE(got, data);
    QCOMPARE(session.acknowledgedBaud(), baud < 0 ? std::nullopt : std::optional<quint32>(baud));
    QCOMPARE(session.takeReplies(), QByteArray());
    session.forgetAcknowledgedBaud();
    QVERIFY(!session.acknowledgedBaud());
}

QTEST_GUILESS_MAIN(TestTelnetCodec)
#include "tst_telnet_codec.moc"
