#include "link/frame.h"

namespace frame {

const QByteArray kNoReply = QByteArrayLiteral("ERR 0\r");
const QByteArray kFrameError = QByteArrayLiteral("EER 3\r");

QByteArray checksum(const QByteArray& text) {
    unsigned char x = 0;
    for (char c : text)
        x ^= static_cast<unsigned char>(c);
    static const char kHex[] = "0123456789ABCDEF";
    const char digits[2] = {kHex[x >> 4], kHex[x & 0x0F]};
    return QByteArray(digits, 2);
}

QByteArray request(const QByteArray& address, const QByteArray& command) {
    const QByteArray text = address + command;
    return '$' + text + checksum(text) + kCR;
}

QByteArray reply(const QByteArray& body) {
    return '*' + body + checksum(body) + kCR;
}

QByteArray replyText(const QByteArray& received) {
    const qsizetype length = received.size();
    if (length <= 5)
        return kNoReply;
    // The body lies between the start character and the checksum; the whole
    // text must then be exactly the frame built from that body.
    const QByteArray body = received.mid(1, length - 4);
    if (received != reply(body))
        return kFrameError;
    // A frame ends at its one CR. Frames run together can still pass the
    // check above (three equal ones do: the middle pair's XOR cancels out),
    // but they are no reply.
    if (body.contains(kCR))
        return kFrameError;
    return '*' + body + kCR;
}

bool isPrintableAscii(const QByteArray& text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E)
            return false;
    }
    return true;
}

} // namespace frame
