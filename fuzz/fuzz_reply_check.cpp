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
    const char digits[2] = {kHex[x / 16], kHex[x % 16]};
    return QByteArray(digits, 2);
}

bool isExactFrame(const QByteArray& text) {
    if (text.size() < 4 || text.front() != '*' || text.back() != '\r')
        return false;
    const QByteArray body = QByteArray::fromRawData(text.constData() + 1, text.size() - 4);
    return text.mid(text.size() - 3, 2) == ownChecksum(body) && !body.contains('\r');
}

void checkAnyReceived(const QByteArray& received) {
    const QByteArray result = frame::replyText(received);
    const auto shown = [&] { return "received " + quoted(received); };
    const auto got = [&] { return "result   " + quoted(result); };

    const bool passedOn = result.size() >= 2 && result.front() == '*' && result.back() == '\r';
    require(result == kNoReply || result == kFrameError || passedOn,
            "the reply check returns ERR 0, EER 3 or * + body + CR", shown, got);
    if (passedOn)
        require(received == frame::reply(result.mid(1, result.size() - 2)),
                "a body is passed on only when the text received is exactly its reply frame", shown,
                got);

    if (received.size() <= 5) {
        require(result == kNoReply, "five characters or fewer are no reply", shown, got);
    } else if (isExactFrame(received)) {
        require(result.size() == received.size() - 2 &&
                    result.startsWith(received.first(received.size() - 3)) && result.endsWith('\r'),
                "a valid frame gives * + body + CR", shown, got);
    } else {
        require(result == kFrameError, "any other text longer than five characters is EER 3", shown,
                got);
    }
}

// The fuzz input as the body a transmitter put into its reply.
void checkBody(const QByteArray& body, std::uint8_t position, std::uint8_t flip) {
    const QByteArray sent = frame::reply(body);
    const auto shownBody = [&] { return "body  " + quoted(body); };
    const auto shownFrame = [&] { return "frame " + quoted(sent); };
    require(sent.size() == body.size() + 4 && sent.startsWith('*') &&
                sent.sliced(1, body.size()) == body &&
                sent.sliced(body.size() + 1, 2) == ownChecksum(body) && sent.endsWith('\r'),
            "a reply frame is * + body + checksum + CR", shownBody, shownFrame);
    if (sent.size() <= 5)
        return;
    const QByteArray accepted = frame::replyText(sent);
    const auto got = [&] { return "result " + quoted(accepted); };
    if (body.contains('\r')) {
        require(accepted == kFrameError, "a body holding a CR is no reply", shownBody, got);
        return;
    }
    require(accepted.size() == body.size() + 2 && accepted.startsWith('*') &&
                accepted.sliced(1, body.size()) == body && accepted.endsWith('\r'),
            "the reply frame of a body is accepted", shownBody, got);

    // One byte changed anywhere changes either the body's XOR, the checksum
    // digits compared case-sensitively, or a start or end character.
    QByteArray changed = sent;
    if (flip != 0) {
        const qsizetype at = position % sent.size();
        changed[at] = char(changed[at] ^ flip);
        require(frame::replyText(changed) == kFrameError, "a frame with one byte changed is EER 3",
                shownFrame, [&] { return "damaged " + quoted(changed); });
    }
    // A byte before the start or after the CR: for the result to be a frame
    // the extra byte would have to XOR to zero, or CR be a hexadecimal digit.
    changed = sent;
    changed.prepend(char(flip));
    require(frame::replyText(changed) == kFrameError, "a byte before the start character is EER 3",
            [&] { return "text " + quoted(changed); });
    changed = sent;
    changed.append(char(flip));
    require(frame::replyText(changed) == kFrameError, "a byte after the CR is EER 3",
            [&] { return "text " + quoted(changed); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Read in place: a copy per input would cost more than the check itself.
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    checkAnyReceived(input);
    const std::uint8_t position = size > 0 ? data[0] : 0;
    const std::uint8_t flip = size > 1 ? data[1] : 0x01;
    checkBody(input, position, flip);
    return 0;
}
