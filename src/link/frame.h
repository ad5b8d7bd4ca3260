#pragma once

#include <QByteArray>

// The frames on the wire. A request is "$" + address + command + checksum +
// CR; a reply is "*" + body + checksum + CR, where the body starts with the
// transmitter's own two-digit address. The checksum is the XOR of the
// characters between the start character and the checksum, written as two
// upper-case hexadecimal digits. Pure functions on bytes, shared by the tool,
// the bus simulator and the fuzzers.
namespace frame {

constexpr char kCR = '\r';

// The checksum of text as two upper-case hexadecimal digits: the XOR of all
// its bytes, "00" for the empty text.
QByteArray checksum(const QByteArray& text);

// "$" + address + command + checksum of both + CR.
QByteArray request(const QByteArray& address, const QByteArray& command);

// "*" + body + checksum of body + CR.
QByteArray reply(const QByteArray& body);

// What an exchange returns for the text received: "*" + body + CR for a valid
// reply frame, "ERR 0" + CR for five characters or fewer, "EER 3" + CR for
// anything else. The check is exact and case-sensitive; characters before the
// "*" or after the CR, or a CR inside the body, make the frame invalid.
QByteArray replyText(const QByteArray& received);

// Printable ASCII only (0x20 to 0x7E): no frame ever carries anything else.
bool isPrintableAscii(const QByteArray& text);

extern const QByteArray kNoReply;    // "ERR 0" + CR
extern const QByteArray kFrameError; // "EER 3" + CR

// Why bytes that replyText() turns into kFrameError are no frame.
enum class FrameFault { None, BadStart, BadChecksum, NoEnd, RunTogether };
FrameFault replyFault(const QByteArray& received);

} // namespace frame
