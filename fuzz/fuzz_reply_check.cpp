// The reply check of an exchange sees whatever the line delivered: noise, half
// frames, a neighbour's answer, bytes of a baud rate that does not match. For
// any of it the check must return one of its three texts, and it may hand a
// body on only when the frame around it is exactly right.

#include "link/frame.h"
#include "property_check.h"

#include <cstddef>
#include <cstdint>

using fuzz::quoted;
using fuzz::require;

namespace {

const QByteArray kNoReply = QByteArrayLiteral("ERR 0\r");
const QByteArray kFrameError = QByteArrayLiteral("EER 3\r");

// The checksum worked out here rather than taken from frame::checksum, so a
// fault in the checksum cannot pass through the check that relies on it.
QByteArray ownChecksum(const QByteArray& body) {
    unsigned x = 0;
    for (char c : body)
        x ^= static_cast<unsigned char>(c);
    static const char kHex[] = "0123456789ABCDEF";
    return QByteArray(1, kHex[x / 16]) + kHex[x % 16];
}

bool isExactFrame(const QByteArray& text) {
    if (text.size() < 4 || text.front() != '*' || text.back() != '\r')
        return false;
    const QByteArray body = text.mid(1, text.size() - 4);
    return text.mid(text.size() - 3, 2) == ownChecksum(body) && !body.contains('\r');
}

void checkAnyReceived(const QByteArray& received) {
    const QByteArray result = frame::replyText(received);

    const bool passedOn = result.size() >= 2 && result.front() == '*' && result.back() == '\r';
    require(result == kNoReply || result == kFrameError || passedOn,
            "the reply check returns ERR 0, EER 3 or * + body + CR", "received " + quoted(received),
            "result   " + quoted(result));
    if (passedOn) {
        const QByteArray body = result.mid(1, result.size() - 2);
        require(received == frame::reply(body),
                "a body is passed on only when the text received is exactly its reply frame",
                "received " + quoted(received), "result   " + quoted(result));
    }

    if (received.size() <= 5) {
        require(result == kNoReply, "five characters or fewer are no reply",
                "received " + quoted(received), "result   " + quoted(result));
    } else if (isExactFrame(received)) {
        const QByteArray body = received.mid(1, received.size() - 4);
        require(result == '*' + body + '\r', "a valid frame gives * + body + CR",
                "received " + quoted(received), "result   " + quoted(result));
    } else {
        require(result == kFrameError, "any other text longer than five characters is EER 3",
                "received " + quoted(received), "result   " + quoted(result));
    }
}

// The fuzz input as the body a transmitter put into its reply.
void checkBody(const QByteArray& body, std::uint8_t position, std::uint8_t flip) {
    const QByteArray sent = frame::reply(body);
    require(sent == '*' + body + ownChecksum(body) + '\r',
            "a reply frame is * + body + checksum + CR", "body " + quoted(body),
            "frame " + quoted(sent));
    if (sent.size() <= 5)
        return;
    if (body.contains('\r')) {
        require(frame::replyText(sent) == kFrameError, "a body holding a CR is no reply",
                "body   " + quoted(body), "result " + quoted(frame::replyText(sent)));
        return;
    }
    require(frame::replyText(sent) == '*' + body + '\r', "the reply frame of a body is accepted",
            "body   " + quoted(body), "result " + quoted(frame::replyText(sent)));

    // One byte changed anywhere changes either the body's XOR, the checksum
    // digits compared case-sensitively, or a start or end character.
    if (flip != 0) {
        QByteArray damaged = sent;
        const qsizetype at = position % sent.size();
        damaged[at] = char(damaged[at] ^ flip);
        require(frame::replyText(damaged) == kFrameError, "a frame with one byte changed is EER 3",
                "frame   " + quoted(sent), "damaged " + quoted(damaged));
    }
    // A byte before the start or after the CR: for the result to be a frame
    // the extra byte would have to XOR to zero, or CR be a hexadecimal digit.
    const QByteArray before = QByteArray(1, char(flip)) + sent;
    const QByteArray after = sent + char(flip);
    require(frame::replyText(before) == kFrameError, "a byte before the start character is EER 3",
            "text " + quoted(before));
    require(frame::replyText(after) == kFrameError, "a byte after the CR is EER 3",
            "text " + quoted(after));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    checkAnyReceived(input);
    const std::uint8_t position = size > 0 ? data[0] : 0;
    const std::uint8_t flip = size > 1 ? data[1] : 0x01;
    checkBody(input, position, flip);
    return 0;
}
