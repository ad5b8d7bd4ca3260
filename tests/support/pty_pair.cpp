#include "support/pty_pair.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

// Waits for one poll event on fd; false when the time ran out or fd failed.
bool waitFor(int fd, short events, int msecs) {
    pollfd p{fd, events, 0};
    int n;
    do {
        n = ::poll(&p, 1, msecs);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & events);
}

} // namespace

PtyPair::PtyPair() {
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        m_errorString = systemError("openpty");
        m_master = m_slave = -1;
        return;
    }
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    char name[128] = {};
    if (::ttyname_r(m_slave, name, sizeof name) != 0) {
        m_errorString = systemError("ttyname_r");
        closeMaster();
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);

    termios raw{};
    if (::tcgetattr(m_slave, &raw) != 0) {
        m_errorString = systemError("tcgetattr");
        closeMaster();
        return;
    }
    ::cfmakeraw(&raw);
    if (::tcsetattr(m_slave, TCSANOW, &raw) != 0) {
        m_errorString = systemError("tcsetattr");
        closeMaster();
    }
}

PtyPair::~PtyPair() {
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

std::optional<termios> PtyPair::lineSettings() const {
    termios t{};
    if (m_master < 0 || ::tcgetattr(m_master, &t) != 0)
        return std::nullopt;
    return t;
}

speed_t PtyPair::lineSpeed() const {
    const std::optional<termios> t = lineSettings();
    return t ? ::cfgetospeed(&*t) : speed_t(B0);
}

bool PtyPair::write(const QByteArray& data) {
    if (m_master < 0)
        return false;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_master, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            // Nobody reads the slave end; a generous wait, since the test
            // fails anyway if it never drains.
            if (!waitFor(m_master, POLLOUT, 5000))
                return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

QByteArray PtyPair::readAvailable() {
    QByteArray data;
    if (m_master < 0)
        return data;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, chunk, sizeof chunk);
        if (n > 0)
            data.append(chunk, n);
        else if (!(n < 0 && errno == EINTR))
            return data;
    }
}

QByteArray PtyPair::read(qsizetype count, int msecs) {
    QByteArray data = readAvailable();
    const QDeadlineTimer deadline(msecs);
    while (data.size() < count && !deadline.hasExpired()) {
        if (!waitForReadable(int(deadline.remainingTime())))
            break;
        data += readAvailable();
    }
    return data;
}

bool PtyPair::waitForReadable(int msecs) {
    return m_master >= 0 && waitFor(m_master, POLLIN, msecs);
}

int PtyPair::queuedForSlave() const {
    // The input queue belongs to the terminal, not to a descriptor, so the
    // pair's own slave descriptor sees what the program has yet to read.
    int n = 0;
    if (m_slave < 0 || ::ioctl(m_slave, FIONREAD, &n) != 0)
        return -1;
    return n;
}

void PtyPair::closeMaster() {
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}
