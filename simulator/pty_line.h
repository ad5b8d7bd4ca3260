#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace sim {

// The serial line: a pseudo-terminal whose slave end the tool opens as its
// port, and whose master end the simulated transmitters work.
//
// The slave is put in raw mode at once (its default echo would bounce every
// request back to the tool), and the line keeps a slave descriptor of its own
// so the master does not hang up each time the tool closes its port. The line
// settings the tool chooses are read back from the master, which is how the
// transmitters know the baud rate a request went out at.
class PtyLine : public QObject {
    Q_OBJECT

public:
    // linkPath, when not empty, becomes a symbolic link to the slave, so the
    // tool can be set up once with a name that survives a replug.
    explicit PtyLine(QString linkPath = {}, QObject* parent = nullptr);
    ~PtyLine() override;

    bool open(QString* error);
    // The adapter vanishes: both ends close, the link goes; the tool's reads
    // fail from now on.
    void close();
    bool isOpen() const { return m_master >= 0; }

    QString slavePath() const { return m_slavePath; }
    // What the tool should open: the link if there is one, else the slave.
    QString devicePath() const { return m_linkPath.isEmpty() ? m_slavePath : m_linkPath; }

    // The output speed the tool set, as a number (9600); 0 when unknown.
    int baud() const;

    // Writes at once what the line takes; the rest follows as the tool reads.
    // Returns the bytes written at once, -1 on a closed line.
    qint64 write(const QByteArray& bytes);

signals:
    void received(const QByteArray& bytes);

private:
    void readMaster();
    void writePending();
    bool makeLink(QString* error);
    void removeLink();

    QString m_linkPath;
    QString m_slavePath;
    int m_master = -1;
    int m_slave = -1;
    QByteArray m_pending;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
};

} // namespace sim
