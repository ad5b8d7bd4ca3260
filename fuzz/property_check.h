#pragma once

// A property of the product code that does not hold is a fault as real as a
// crash: say which one and abort, so libFuzzer stores the input beside the
// other crash files. assert() would be no use, the fuzz build defines NDEBUG.

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Bytes as a C string literal, so a failing text can be pasted into a test.
inline QByteArray quoted(const QByteArray& bytes) {
    QByteArray out = "\"";
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            out += '\\' + QByteArray(1, c);
        else if (u >= 0x20 && u < 0x7F)
            out += c;
        else
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    return out + '"';
}

inline QByteArray quoted(const QString& text) {
    return quoted(text.toUtf8());
}

template <typename... Details>
void require(bool holds, const char* property, const Details&... details) {
    if (holds)
        return;
    std::fprintf(stderr, "\nPROPERTY FAILED: %s\n", property);
    (std::fprintf(stderr, "  %s\n", QByteArray(details).constData()), ...);
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzz
