#include "support/line_end.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

bool LineEnd::open(const QString& path, speed_t speed) {
    close();
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0 || !setSpeed(speed)) {
        close();
        return false;
    }
    // Whatever the line held before the port was opened is not for us.
    ::tcflush(m_fd, TCIOFLUSH);
    return true;
}

bool LineEnd::setSpeed(speed_t speed) {
    termios line{};
    if (m_fd < 0 || ::tcgetattr(m_fd, &line) != 0)
        return false;
    ::cfmakeraw(&line);
    line.c_cflag |= CLOCAL | CREAD;
    ::cfsetospeed(&line, speed);
    ::cfsetispeed(&line, speed);
    return ::tcsetattr(m_fd, TCSANOW, &line) == 0;
}

void LineEnd::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool LineEnd::write(const QByteArray& bytes) {
    return m_fd >= 0 && ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QByteArray LineEnd::readReply(int msecs) {
    return collect(msecs, true);
}

QByteArray LineEnd::readBytes(qsizetype count, int msecs) {
    return collect(msecs, false, count);
}

QByteArray LineEnd::readFor(int msecs) {
    return collect(msecs, false);
}

QByteArray LineEnd::collect(int msecs, bool stopAtCR, qsizetype count) {
    QByteArray got;
    const QDeadlineTimer deadline(msecs);
    while (m_fd >= 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 1) > 0 && (p.revents & POLLIN)) {
            char chunk[512];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n > 0)
                got.append(chunk, n);
            if ((stopAtCR && got.contains('\r')) || (count >= 0 && got.size() >= count))
                break;
        }
    }
    return got;
}

bool LineEnd::hungUp(int msecs) {
    const QDeadlineTimer deadline(msecs);
    while (m_fd >= 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 1) > 0) {
            if (p.revents & (POLLHUP | POLLERR))
                return true;
            char byte;
            const ssize_t n = ::read(m_fd, &byte, 1);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return true;
        }
    }
    return false;
}
