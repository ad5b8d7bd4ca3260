#pragma once

#include <QString>

#include <optional>

// A line settings text "baud,parity,data,stop" such as "9600,N,8,1". Parity
// is one of N, E, O, M, S in either case; data bits 5 to 8; stop bits 1, 1.5
// or 2.
struct LineSettings {
    int baud = 9600;
    char parity = 'n';
    int dataBits = 8;
    QString stopBits = QStringLiteral("1");

    static std::optional<LineSettings> parse(const QString& text);
    // The lower-case form, "9600,n,8,1".
    QString text() const;
};
