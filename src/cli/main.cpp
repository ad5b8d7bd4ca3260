// tarnwick-cli: the transmitters of one serial bus from a terminal and from
// scripts, on the same protocol core as the window.

#include "cli/cli_command.h"
#include "cli/stop_request.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    // Nothing here needs GLib's event loop; Qt's own starts faster, and a
    // script may run this program thousands of times.
    qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarnwick-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    catchStopSignals();
    return runCli(QCoreApplication::arguments());
}
