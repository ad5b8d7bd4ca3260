#include "link/clock.h"
#include "link/device_port.h"
#include "link/port_devices.h"
#include "link/qt_settings_store.h"
#include "ui/main_window.h"
#include "ui/message_boxes.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("Tarnwick"));

    QtSettingsStore settings;
    PortDevices devices(settings);
    // A port number maps to a serial device or to a device server on the
    // network ([Ports] comN=rfc2217://HOST:PORT).
    DevicePort port(devices);
    SteadyClock clock;
    QtMessageBoxes messages;

    MainWindow window({port, settings, messages, clock});
    messages.setParent(&window);
    window.show();
    return app.exec();
}
