#pragma once

#include <QByteArray>
#include <QList>

#include <array>
#include <optional>

// Telnet as a device server speaks it to carry a serial line (RFC 854, with
// the Com Port Control option of RFC 2217). Pure byte handling, no sockets,
// so every case of a command split across reads can be tested alone.
namespace telnet {

constexpr char kIac = char(255);
constexpr char kDont = char(254);
constexpr char kDo = char(253);
constexpr char kWont = char(252);
constexpr char kWill = char(251);
constexpr char kSb = char(250);
constexpr char kSe = char(240);

constexpr uchar kOptionBinary = 0;
constexpr uchar kOptionSuppressGoAhead = 3;
constexpr uchar kOptionComPort = 44;

// Com Port Control commands as the client sends them; the server answers
// each with the same code plus 100.
constexpr uchar kSetBaudRate = 1;
constexpr uchar kSetDataSize = 2;
constexpr uchar kSetParity = 3;
constexpr uchar kSetStopSize = 4;
constexpr uchar kPurgeData = 12;
constexpr uchar kServerReply = 100;

// PURGE-DATA values: what the server discards.
constexpr uchar kPurgeReceive = 1;
constexpr uchar kPurgeTransmit = 2;
constexpr uchar kPurgeBoth = 3;

// Data with every 0xFF doubled, as Telnet requires of data bytes.
QByteArray escape(const QByteArray& data);
// IAC verb option.
QByteArray negotiation(char verb, uchar option);
// IAC SB COM-PORT-OPTION code value IAC SE, with 0xFF in value doubled.
QByteArray comPortCommand(uchar code, const QByteArray& value);
// SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE for a line
// settings text ("9600,n,8,1"), in that order; empty for a text that is no
// line setting.
QByteArray lineSettingsCommands(const QString& settings);

// One command taken out of the received stream.
struct Command {
    // kWill, kWont, kDo or kDont with option; kSb with option and the
    // subnegotiation's bytes (IAC IAC already made one 0xFF) in parameters.
    char verb = 0;
    uchar option = 0;
    QByteArray parameters;

    bool operator==(const Command&) const = default;
};

// Splits received bytes into data and commands. A command may be cut
// anywhere by the network, so the state between chunks is kept; other
// single-byte commands (NOP, GA, ...) are dropped.
class Decoder {
public:
    // Appends the data bytes of chunk to data and the complete commands to
    // commands, in the order they came.
    void feed(const QByteArray& chunk, QByteArray& data, QList<Command>& commands);
    void reset();

private:
    enum class State { Data, Iac, Option, SubOption, Sub, SubIac };
    State m_state = State::Data;
    Command m_command;
};

// The client's side of the option negotiation, and the server's replies to
// Com Port Control commands. The client asks the server to let it control
// the line (WILL COM-PORT-OPTION) and offers binary transmission and no
// go-ahead both ways; every other option is refused. A request is answered
// only when it changes the option's state, so two peers can never loop.
class Session {
public:
    enum class ComPort { Pending, Agreed, Refused };

    // The bytes a client sends first.
    QByteArray start();
    // Splits received bytes into data (returned) and commands, which it acts
    // on: negotiation answers wait in takeReplies(), the server's rate
    // acknowledgement in acknowledgedBaud().
    QByteArray receive(const QByteArray& chunk);
    // The negotiation answers owed to the server; to be sent before anything
    // else.
    QByteArray takeReplies();

    ComPort comPort() const { return m_comPort; }
    // The rate the server reported in its last answer to SET-BAUDRATE.
    std::optional<quint32> acknowledgedBaud() const { return m_acknowledgedBaud; }
    void forgetAcknowledgedBaud() { m_acknowledgedBaud.reset(); }

private:
    struct Side {
        bool enabled = false;
        bool requested = false;
    };
    struct OptionState {
        Side us;
        Side him;
    };
    void handle(const Command& command);
    void handleComPortReply(const QByteArray& parameters);
    static bool accepted(uchar option);

    Decoder m_decoder;
    std::array<OptionState, 256> m_options{};
    QByteArray m_replies;
    ComPort m_comPort = ComPort::Pending;
    std::optional<quint32> m_acknowledgedBaud;
};

} // namespace telnet
