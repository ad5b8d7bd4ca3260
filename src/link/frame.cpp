#include "link/frame.h"

#include <array>
#include <cstring>

namespace frame {

const QByteArray kNoReply = QByteArrayLiteral("ERR 0\r");
const QByteArray kFrameError = QByteArrayLiteral("EER 3\r");

namespace {
// The two checksum digits of size bytes at data, without a byte array of
// their own: every reply on the bus is checked, and the fuzzer checks
// millions.
std::array<char, 2> checksumDigits(const char* data, qsizetype size) {
    unsigned char x = 0;
    for (qsizetype i = 0; i < size; ++i)
        x ^= static_cast<unsigned char>(data[i]);
    static const char kHex[] = "0123456789ABCDEF";
    return {kHex[x >> 4], kHex[x & 0x0F]};
}

// start + text + checksum of text + CR, in one allocation.
QByteArray framed(char start, const QByteArray& text) {
    const std::array<char, 2> digits = checksumDigits(text.constData(), text.size());
    QByteArray out;
    out.reserve(text.size() + 4);
    out.append(start).append(text).append(digits.data(), 2).append(kCR);
    return out;
}
} // namespace

QByteArray checksum(const QByteArray& text) {
    const std::array<char, 2> digits = checksumDigits(text.constData(), text.size());
    return QByteArray(digits.data(), 2);
}

QByteArray request(const QByteArray& address, const QByteArray& command) {
    return framed('$', address + command);
}

QByteArray reply(const QByteArray& body) {
    return framed('*', body);
}

QByteArray replyText(const QByteArray& received) {
    const qsizetype length = received.size();
    if (length <= 5)
        return kNoReply;
    // The body lies between the start character and the checksum; the whole
    // text must then be exactly the frame built from that body.
    const char* text = received.constData();
    const qsizetype bodySize = length - 4;
    const std::array<char, 2> digits = checksumDigits(text + 1, bodySize);
    if (text[0] != '*' || text[length - 3] != digits[0] || text[length - 2] != digits[1] ||
        text[length - 1] != kCR)
        return kFrameError;
    // A frame ends at its one CR. Frames run together can still pass the
    // check above (three equal ones do: the middle pair's XOR cancels out),
    // but they are no reply.
    if (std::memchr(text + 1, kCR, std::size_t(bodySize)))
        return kFrameError;
    QByteArray out;
    out.reserve(bodySize + 2);
    out.append(text, bodySize + 1).append(kCR);
    return out;
}

FrameFault replyFault(const QByteArray& received) {
    const qsizetype length = received.size();
    if (length <= 5)
        return FrameFault::None;
    const char* text = received.constData();
    if (text[0] != '*')
        return FrameFault::BadStart;
    if (text[length - 1] != kCR)
        return FrameFault::NoEnd;
    const std::array<char, 2> digits = checksumDigits(text + 1, length - 4);
    if (text[length - 3] != digits[0] || text[length - 2] != digits[1])
        return FrameFault::BadChecksum;
    if (std::memchr(text + 1, kCR, std::size_t(length - 4)))
        return FrameFault::RunTogether;
    return FrameFault::None;
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
