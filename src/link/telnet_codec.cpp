#include "link/telnet_codec.h"

#include "link/line_settings.h"

namespace telnet {

namespace {

QByteArray bytes(std::initializer_list<char> values) {
    return QByteArray(values.begin(), qsizetype(values.size()));
}

// No Com Port Control answer is longer than a few bytes; a server that never
// ends its subnegotiation must not make the buffer grow without limit.
constexpr qsizetype kMaxParameters = 64;

uchar parityCode(char parity) {
    switch (parity) {
    case 'o':
        return 2;
    case 'e':
        return 3;
    case 'm':
        return 4;
    case 's':
        return 5;
    default:
        return 1;
    }
}

uchar stopSizeCode(const QString& stopBits) {
    if (stopBits == QLatin1String("2"))
        return 2;
    if (stopBits == QLatin1String("1.5"))
        return 3;
    return 1;
}

} // namespace

QByteArray escape(const QByteArray& data) {
    if (!data.contains(kIac))
        return data;
    QByteArray out;
    out.reserve(data.size() + 8);
    for (char c : data) {
        out += c;
        if (c == kIac)
            out += kIac;
    }
    return out;
}

QByteArray negotiation(char verb, uchar option) {
    return bytes({kIac, verb, char(option)});
}

QByteArray comPortCommand(uchar code, const QByteArray& value) {
    QByteArray out = bytes({kIac, kSb, char(kOptionComPort), char(code)});
    out += escape(value);
    out += kIac;
    out += kSe;
    return out;
}

QByteArray lineSettingsCommands(const QString& settings) {
    const std::optional<LineSettings> line = LineSettings::parse(settings);
    if (!line)
        return {};
    const quint32 baud = quint32(line->baud);
    const QByteArray rate =
        bytes({char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)});
    return comPortCommand(kSetBaudRate, rate) +
           comPortCommand(kSetDataSize, QByteArray(1, char(line->dataBits))) +
           comPortCommand(kSetParity, QByteArray(1, char(parityCode(line->parity)))) +
           comPortCommand(kSetStopSize, QByteArray(1, char(stopSizeCode(line->stopBits))));
}

void Decoder::reset() {
    m_state = State::Data;
    m_command = Command();
}

void Decoder::feed(const QByteArray& chunk, QByteArray& data, QList<Command>& commands) {
    for (char c : chunk) {
        switch (m_state) {
        case State::Data:
            if (c == kIac)
                m_state = State::Iac;
            else
                data += c;
            break;
        case State::Iac:
            if (c == kIac) {
                data += kIac;
                m_state = State::Data;
            } else if (c == kWill || c == kWont || c == kDo || c == kDont) {
                m_command = Command{c, 0, {}};
                m_state = State::Option;
            } else if (c == kSb) {
                m_command = Command{kSb, 0, {}};
                m_state = State::SubOption;
            } else {
                // NOP, GA, a stray SE, ...: nothing a serial line needs.
                m_state = State::Data;
            }
            break;
        case State::Option:
            m_command.option = uchar(c);
            commands.append(m_command);
            m_state = State::Data;
            break;
        case State::SubOption:
            m_command.option = uchar(c);
            m_state = State::Sub;
            break;
        case State::Sub:
            if (c == kIac)
                m_state = State::SubIac;
            else if (m_command.parameters.size() < kMaxParameters)
                m_command.parameters += c;
            break;
        case State::SubIac:
            if (c == kIac) {
                if (m_command.parameters.size() < kMaxParameters)
                    m_command.parameters += kIac;
                m_state = State::Sub;
            } else if (c == kSe) {
                commands.append(m_command);
                m_state = State::Data;
            } else {
                // IAC and anything but IAC or SE inside a subnegotiation
                // breaks the rules; end it there and read the byte as the
                // command it starts, so the stream gets back in step.
                commands.append(m_command);
                m_state = State::Iac;
                const QByteArray again(1, c);
                feed(again, data, commands);
            }
            break;
        }
    }
}

bool Session::accepted(uchar option) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
}

QByteArray Session::start() {
    QByteArray out;
    // Our side: Com Port Control (the reason for the connection), binary
    // data and no go-ahead. The server's side: binary data and no go-ahead.
    for (uchar option : {kOptionComPort, kOptionBinary, kOptionSuppressGoAhead}) {
        m_options[option].us.requested = true;
        out += negotiation(kWill, option);
    }
    for (uchar option : {kOptionBinary, kOptionSuppressGoAhead}) {
        m_options[option].him.requested = true;
        out += negotiation(kDo, option);
    }
    return out;
}

QByteArray Session::receive(const QByteArray& chunk) {
    QByteArray data;
    QList<Command> commands;
    m_decoder.feed(chunk, data, commands);
    for (const Command& command : commands)
        handle(command);
    return data;
}

QByteArray Session::takeReplies() {
    QByteArray out;
    out.swap(m_replies);
    return out;
}

void Session::handle(const Command& command) {
    OptionState& state = m_options[command.option];
    switch (command.verb) {
    case kDo:
        // The server wants us to use the option.
        if (!accepted(command.option)) {
            m_replies += negotiation(kWont, command.option);
        } else if (!state.us.enabled) {
            // An answer to our own request needs no answer back.
            if (!state.us.requested)
                m_replies += negotiation(kWill, command.option);
            state.us = {true, false};
        }
        if (command.option == kOptionComPort && accepted(command.option))
            m_comPort = ComPort::Agreed;
        break;
    case kDont:
        if (state.us.enabled && !state.us.requested)
            m_replies += negotiation(kWont, command.option);
        state.us = {false, false};
        if (command.option == kOptionComPort)
            m_comPort = ComPort::Refused;
        break;
    case kWill:
        // The server offers to use the option itself.
        if (!accepted(command.option)) {
            m_replies += negotiation(kDont, command.option);
        } else if (!state.him.enabled) {
            if (!state.him.requested)
                m_replies += negotiation(kDo, command.option);
            state.him = {true, false};
        }
        break;
    case kWont:
        if (state.him.enabled && !state.him.requested)
            m_replies += negotiation(kDont, command.option);
        state.him = {false, false};
        break;
    case kSb:
        if (command.option == kOptionComPort)
            handleComPortReply(command.parameters);
        break;
    default:
        break;
    }
}

void Session::handleComPortReply(const QByteArray& parameters) {
    if (parameters.isEmpty())
        return;
    // Line and modem state notifications, purge and other answers tell the
    // tool nothing it uses; only the rate the server set counts.
    const uchar code = uchar(parameters[0]);
    if (code == kServerReply + kSetBaudRate && parameters.size() == 5) {
        m_acknowledgedBaud = quint32(uchar(parameters[1])) << 24 |
                             quint32(uchar(parameters[2])) << 16 |
                             quint32(uchar(parameters[3])) << 8 | quint32(uchar(parameters[4]));
    }
}

} // namespace telnet
