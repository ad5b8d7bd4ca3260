#pragma once

#include "link/bus_line.h"
#include "protocol/commands.h"

#include <QString>

#include <functional>

// How a transmitter answered one exchange.
enum class ReplyKind {
    Data,         // a verified frame from the address asked, with data after the echo
    NoData,       // a verified frame from the address asked, the echo alone
    NoReply,      // nothing, or too little, came back
    InvalidFrame, // a frame that failed the check
    OtherAddress, // a verified frame, but another transmitter's
    PortLost,     // the port closed (its device went away) before or during it
};

ReplyKind replyKindOf(const QString& reply, const QString& address);

// One exchange as a caller sees it: how it went, and the reply text exactly
// as the exchange returned it, which the window shows as it is.
struct Exchanged {
    ReplyKind kind = ReplyKind::NoReply;
    QString reply;
    // Whether the request went out: false when the port was already lost.
    bool sent = true;

    // A verified frame from the address asked, with or without data.
    bool answered() const { return kind == ReplyKind::Data || kind == ReplyKind::NoData; }
    // The reply value: the text after "*" and the address echo, without the CR.
    QString value() const;
};

// One transmitter on one open port: every exchange of both programs goes
// through here, by command and payload, so the line rules (the reply
// deadline, the wait after a failure) and the protocol's own rules (finding
// the rate, the "OK" of the data areas, the steps of a move) live in one
// place. The address may change, as a move changes it.
class TransmitterConnection {
public:
    explicit TransmitterConnection(BusLine& line, QString address = {});

    BusLine& line() { return m_line; }
    const QString& address() const { return m_address; }
    void setAddress(const QString& address) { m_address = address; }

    Exchanged exchange(Command command, const QString& payload = {});
    // A command text sent as it is (as the engineer typed it); notes, when
    // given, learn what the exchange dropped.
    Exchanged exchangeText(const QString& commandText, ExchangeNotes* notes = nullptr);

    // Sets the line to the rate of a baud index (0 = 1200 ... 3 = 9600).
    bool setBaudIndex(int baudIndex);
    // The baud index the line is set to, or -1.
    int baudIndex() const;

    // "AD" at 9600, 4800, 2400 and 1200 until the transmitter answers with
    // its address (at a port's fixed rate, there alone); the line is left at
    // that rate. The baud index, or -1 when
    // no rate answered or stop() said so before a probe.
    int findRate(const std::function<bool()>& stop = {});

    // Sets the line to a baud index given, or with -1 finds the rate with
    // findRate. The baud index in force, or -1: a rate given that the line
    // did not take, or no rate that answered.
    int reachRate(int baudIndex, const std::function<bool()>& stop = {});

    // Whether the transmitter answers "AD" with its own address at the rate
    // the line is set to.
    bool answersAddress();

    // The data-area commands' success: a verified reply whose value is "OK".
    static bool isDone(const Exchanged& exchanged);

    // The steps of the address-and-rate move: "ID" + id, "AD" + the new
    // address, "BD" + the baud index, "TY" + model. The "AD" reply names
    // where the transmitter is afterwards, and the later steps go there; the
    // "BD" echo of the digit switches the line to the new rate.
    Exchanged moveId(const QString& id);
    // Moves the connection to the address the reply names, when it names one.
    Exchanged moveAddress(const QString& newAddress);
    // Switches the line when the transmitter echoes the digit.
    Exchanged moveRate(int baudIndex);
    Exchanged moveModel(const QString& model);

    // Whether a reply to "AD" + newAddress shows the transmitter at the new
    // address (the echo may name the old address or the new).
    static bool showsNewAddress(const Exchanged& reply, const QString& oldAddress,
                                const QString& newAddress);
    // Whether a reply to "BD" + digit is the echo of the digit.
    static bool echoesRate(const Exchanged& reply, int baudIndex);

private:
    BusLine& m_line;
    QString m_address;
};
