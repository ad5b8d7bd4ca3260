#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <optional>

class TransmitterConnection;

// One failed exchange of a read: the command text and what went wrong.
struct ReadError {
    QString command;
    QString error;
};

// Everything a full read learnt about one transmitter. Values are the reply
// values as the transmitter sent them; a value whose exchange failed is
// missing, never " 0".
struct TransmitterRead {
    QString address;
    int baud = 0;
    QMap<QString, QString> values;
    // The unit and decimals as codes, only when the transmitter answered with
    // a whole number in their range.
    std::optional<int> unitCode;
    std::optional<int> decimals;
    QList<ReadError> errors;

    bool complete() const { return errors.isEmpty(); }
    // The commands a stop kept from being sent.
    QStringList notRead() const;
    // Why a key has no value: the error of its last failed exchange.
    QString errorOf(const QString& key) const;
    QJsonObject toJson() const;
    // "key  value" lines, a failed value marked as such.
    QStringList toText() const;
};

// The value keys in the order a read shows them.
const QStringList& readKeys();

// The error of an exchange a stop kept from being sent.
extern const QString kNotRead;

// The full read's exchanges with the transmitter, at the rate the line is set
// to, until stop() says so before an exchange: the rest are errors kNotRead.
// Nothing is written.
TransmitterRead readTransmitter(TransmitterConnection& transmitter,
                                const std::function<bool()>& stop = {});

// The same read one exchange at a time, so it can go between other work
// (a monitor's cycles) without holding it up.
class StepwiseRead {
public:
    explicit StepwiseRead(const TransmitterConnection& transmitter);
    bool done() const;
    // The next exchange; the connection must be set to the same transmitter
    // and rate.
    void step(TransmitterConnection& transmitter);
    const TransmitterRead& result() const { return m_read; }

private:
    TransmitterRead m_read;
    std::size_t m_next = 0;
};

// "05: no reply to 14 of 14 reads": what went wrong, in one line.
QString readFailure(const TransmitterRead& read);

// A note on stderr for each failed exchange, and one for those a stop kept
// from being sent; the run's failure noted.
void printReadErrors(const TransmitterRead& read);

// A reply value that is a plain decimal number ("+012.50", "-7"), as a
// number; nothing for anything else.
std::optional<double> quantityValue(const QString& value);

// The decimals a number is written with: the digits after its point.
int decimalsWritten(const QString& number);

// " kPa" for a read that knows its unit; empty otherwise.
QString unitSuffix(const TransmitterRead& read);
