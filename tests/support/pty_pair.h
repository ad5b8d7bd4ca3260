#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <termios.h>

// A pseudo-terminal standing in for a serial line. The program under test
// opens slavePath() as its serial port; the test, or a simulated bus, works
// the master end. The slave is put into raw mode at once (its default echo
// would bounce every frame back) and one slave descriptor stays open for the
// pair's lifetime, so the master does not see a hang-up each time the
// program closes its port.
class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // False when the system gave no pseudo-terminal; errorString() says why.
    bool isValid() const { return m_master >= 0 && m_slave >= 0; }
    QString errorString() const { return m_errorString; }

    // Non-blocking; -1 once closeMaster() has run.
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }

    // The line settings the program set on its end, as the master sees them.
    std::optional<termios> lineSettings() const;
    // The output speed of those settings (B9600, ...); B0 when unknown.
    speed_t lineSpeed() const;

    // Writes all of data to the master, waiting while the line is full.
    bool write(const QByteArray& data);
    // What the program has sent and nobody has read yet; never waits.
    QByteArray readAvailable();
    // Collects until count bytes have arrived or msecs have passed.
    QByteArray read(qsizetype count, int msecs);
    // True as soon as the master has something to read.
    bool waitForReadable(int msecs);

    // Bytes the master has sent that the program has not read yet.
    int queuedForSlave() const;

    // Hangs up the line under the program, as unplugging an adapter does.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_errorString;
};
