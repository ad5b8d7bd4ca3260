#include "support/window_on_server.h"

#include "ui/port_error_text.h"

#include <QDeadlineTimer>
#include <QThread>

QString WindowOnServer::start(const QString& ser2net, const QByteArray& busJson, int rawBaud) {
    simulator = std::make_unique<SimulatorProcess>(QStringList{}, busJson);
    if (!simulator->start())
        return simulator->errorString();
    server = std::make_unique<Ser2net>(ser2net, simulator->devicePath(), freeLoopbackPort(), true,
                                       rawBaud);
    if (!server->start())
        return QStringLiteral("ser2net did not start");
    settings.values.insert("Ports/com1", server->address());
    settings.values.insert("Transmitter/CommPort", "1");
    // ser2net takes a moment to listen; the window opens the port it finds
    // remembered at its start.
    port.setPortNumber(1);
    const QDeadlineTimer deadline(Ser2net::kPatienceMs);
    while (!port.open()) {
        if (deadline.hasExpired())
            return portErrorText(port.lastError()) + server->output();
        QThread::msleep(100);
    }
    port.close();
    window = std::make_unique<MainWindow>(WindowServices{port, settings, messages, clock});
    return port.isOpen() ? QString() : portErrorText(port.lastError());
}
