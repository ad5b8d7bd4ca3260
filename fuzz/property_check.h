#pragma once

// A property of the product code that does not hold is a fault as real as a
// crash: say which one and abort, so libFuzzer stores the input beside the
// other crash files. assert() would be no use, the fuzz build defines NDEBUG.

#include <QByteArray>
#include <QString>

#include <concepts>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace fuzz {

// Bytes as a C string literal, so a failing text can be pasted into a test.
inline QByteArray quoted(const QByteArray& bytes) {
    static const char kHex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size() * 4 + 2);
    out += '"';
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u >= 0x20 && u < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        }
    }
    return out + '"';
}

inline QByteArray quoted(const QString& text) {
    return quoted(text.toUtf8());
}

// Each detail is a callable that returns the text to show, so the formatting
// costs nothing unless the property fails: the targets check several
// properties per input, and formatting them all would take far longer than
// the code under test.
template <typename... Details>
requires(std::convertible_to<std::invoke_result_t<const Details&>, QByteArray>&&...) void require(
    bool holds, const char* property, const Details&... details) {
    if (holds) [[likely]]
        return;
    std::fprintf(stderr, "\nPROPERTY FAILED: %s\n", property);
    (std::fprintf(stderr, "  %s\n", QByteArray(details()).constData()), ...);
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzz
