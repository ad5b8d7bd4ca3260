#include "simulator/pty_line.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

QString systemError(const QString& what) {
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

int speedToBaud(speed_t speed) {
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

} // namespace

PtyLine::PtyLine(QString linkPath, QObject* parent)
    : QObject(parent)
    , m_linkPath(std::move(linkPath)) {}

PtyLine::~PtyLine() {
    close();
}

bool PtyLine::open(QString* error) {
    if (isOpen())
        return true;
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        *error = systemError(QStringLiteral("openpty"));
        m_master = m_slave = -1;
        return false;
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    char name[128] = {};
    termios raw{};
    bool ok = ::ttyname_r(m_slave, name, sizeof name) == 0;
    if (!ok)
        *error = systemError(QStringLiteral("ttyname"));
    if (ok && ::tcgetattr(m_slave, &raw) != 0) {
        *error = systemError(QStringLiteral("tcgetattr"));
        ok = false;
    }
    if (ok) {
        ::cfmakeraw(&raw);
        if (::tcsetattr(m_slave, TCSANOW, &raw) != 0) {
            *error = systemError(QStringLiteral("tcsetattr"));
            ok = false;
        }
    }
    m_slavePath = QString::fromLocal8Bit(name);
    if (ok && !m_linkPath.isEmpty())
        ok = makeLink(error);
    if (!ok) {
        close();
        return false;
    }

    m_readNotifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyLine::readMaster);
    m_writeNotifier = new QSocketNotifier(m_master, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyLine::writePending);
    return true;
}

void PtyLine::close() {
    delete m_readNotifier;
    delete m_writeNotifier;
    m_readNotifier = m_writeNotifier = nullptr;
    if (m_master >= 0) {
        removeLink();
        ::close(m_master);
    }
    if (m_slave >= 0)
        ::close(m_slave);
    m_master = m_slave = -1;
    m_pending.clear();
}

int PtyLine::baud() const {
    termios line{};
    if (m_master < 0 || ::tcgetattr(m_master, &line) != 0)
        return 0;
    return speedToBaud(::cfgetospeed(&line));
}

qint64 PtyLine::write(const QByteArray& bytes) {
    if (!isOpen())
        return -1;
    if (!m_pending.isEmpty()) {
        // Order on the line is order of the calls.
        m_pending += bytes;
        return 0;
    }
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    if (done < bytes.size()) {
        m_pending = bytes.mid(done);
        m_writeNotifier->setEnabled(true);
    }
    return done;
}

void PtyLine::writePending() {
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0)
            m_pending.remove(0, n);
        else if (!(n < 0 && errno == EINTR))
            break;
    }
    m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

void PtyLine::readMaster() {
    QByteArray bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n > 0) {
            bytes.append(chunk, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // Holding a slave descriptor should keep the master from hanging
            // up; if it does all the same, stop listening rather than spin.
            if (n == 0 || errno != EAGAIN)
                m_readNotifier->setEnabled(false);
            break;
        }
    }
    if (!bytes.isEmpty())
        emit received(bytes);
}

bool PtyLine::makeLink(QString* error) {
    const QByteArray link = QFile::encodeName(m_linkPath);
    const QFileInfo existing(m_linkPath);
    // Only a symbolic link is ours to replace (one left by an earlier run);
    // a real file at that path belongs to somebody else.
    if (existing.exists() || existing.isSymLink()) {
        if (!existing.isSymLink()) {
            *error = QStringLiteral("%1 exists and is not a symbolic link").arg(m_linkPath);
            return false;
        }
    }
    // A new link renamed over the old one, so the name never points nowhere.
    const QByteArray temporary = link + ".new";
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(m_slavePath).constData(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), link.constData()) != 0) {
        *error = systemError(QStringLiteral("link %1").arg(m_linkPath));
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

void PtyLine::removeLink() {
    if (m_linkPath.isEmpty())
        return;
    // Remove it only while it still points to this line's slave: another run
    // may have taken the name over since.
    const QFileInfo link(m_linkPath);
    if (link.isSymLink() && link.symLinkTarget() == m_slavePath)
        ::unlink(QFile::encodeName(m_linkPath).constData());
}

} // namespace sim
