#pragma once

#include "support/fake_serial_port.h"

#include <QMap>
#include <QSet>

// Transmitters that answer on a FakeSerialPort, for tests of the handlers. A
// transmitter answers a request addressed to it at its own baud rate: a read
// with its stored value, a write by storing and echoing the payload, "AD"
// with its address. Per command it can stay silent or send given bytes.
struct FakeTransmitter {
    QString address;
    int baud = 9600;
    // Data by command name ("TY", "RP0", ...), as the transmitter sends it.
    QMap<QString, QString> values;
    QSet<QString> silent;               // commands left unanswered
    QMap<QString, QByteArray> rawReply; // commands answered with these bytes
};

class FakeBus {
public:
    explicit FakeBus(FakeSerialPort& port);

    FakeTransmitter& add(const QString& address, int baud);
    FakeTransmitter& at(const QString& address);

    // Every request heard, as address + command ("07AD", "07ZF+0012"), with
    // the line settings in force when it was written.
    struct Heard {
        QString request;
        QString settings;
    };
    QList<Heard> heard;
    // The commands heard by address, in order, without the address.
    QStringList commandsTo(const QString& address) const;
    // Called with each request before it is answered.
    std::function<void(const Heard&)> onRequest;
    // False: replies come at once, as from a software transmitter on a
    // virtual null-modem pair.
    bool lineTiming = true;

private:
    QList<FakeSerialPort::Reply> answer(const QByteArray& written);
    qint64 wireMs(const QByteArray& request, const QByteArray& reply) const;

    FakeSerialPort& m_port;
    QList<FakeTransmitter> m_transmitters;
};

// A transmitter with ordinary values for every read of the full read.
void fillTypicalValues(FakeTransmitter& t);
