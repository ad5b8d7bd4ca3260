#include "link/clock.h"
#include "link/port_devices.h"
#include "link/qt_serial_port.h"
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
    QtSerialPort port(devices);
    SteadyClock clock;
    QtMessageBoxes messages;

    MainWindow window({port, settings, messages, clock});
    messages.setParent(&window);
    window.show();
    return app.exec();
}
