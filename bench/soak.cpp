// tarnwick-soak: the window polls one simulated transmitter for a long time
// while the simulator makes answers go wrong at random and the adapter is
// pulled and put back now and then. After each replug the port is chosen
// again in the window, as the engineer would. Prints one table.
//
// Usage: tarnwick-soak --minutes M [--unplug-every S] [--fault-rate R] [--series N]
//                      [--out DIR]
//   --unplug-every  seconds between unplugs, counted from the start of polling
//                   (default 600); the adapter is back 2 s after each
//   --fault-rate    the share of answers that go wrong (default 0.1)
//   --out           keeps the simulator's trace and the window's ticks there

#include "link/clock.h"
#include "link/port_devices.h"
#include "link/qt_serial_port.h"
#include "link/reply_value.h"
#include "monotonic_clock.h"
#include "soak_report.h"
#include "soak_trace.h"
#include "support/fake_message_boxes.h"
#include "support/memory_settings_store.h"
#include "ui/list_selection.h"
#include "ui/main_window.h"
#include "ui/status_panels.h"

#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr int kDownMs = 2000;
constexpr int kFirstMinuteMs = 60000;

const QByteArray kBus = R"({"transmitters": [{"address": "01", "baud": 9600}]})";

// Resident memory of this process in MiB, from the kernel's own count.
double residentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return -1;
}

Resources resources() {
    Resources now;
    const QDir dir(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : dir.entryList(QDir::NoDotAndDotDot | QDir::System))
        now.fds << fd + QStringLiteral(" ") + QFile::symLinkTarget(dir.filePath(fd));
    now.threads = int(QDir(QStringLiteral("/proc/self/task"))
                          .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                          .size());
    return now;
}

void keep(const QString& path, const Resources& r) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(
            QStringLiteral("threads %1\n%2\n").arg(r.threads).arg(r.fds.join('\n')).toUtf8());
}

// The simulator as a child process whose control input this program writes
// and whose "device: PATH" announcements it follows.
class Simulator : public QObject {
    Q_OBJECT

public:
    explicit Simulator(const QString& folder)
        : m_link(folder + QStringLiteral("/bus"))
        , m_trace(folder + QStringLiteral("/trace")) {}
    ~Simulator() override { stop(); }

    QString link() const { return m_link; }
    QString tracePath() const { return m_trace; }

    bool start(const QString& folder) {
        QFile bus(folder + QStringLiteral("/bus.json"));
        if (!bus.open(QIODevice::WriteOnly) || bus.write(kBus) != kBus.size())
            return false;
        bus.close();
        m_process.start(QStringLiteral(TARNWICK_SIMULATOR_PATH),
                        {QStringLiteral("--bus"), bus.fileName(), QStringLiteral("--link"), m_link,
                         QStringLiteral("--trace"), m_trace});
        QElapsedTimer wait;
        wait.start();
        while (!m_process.canReadLine() && wait.elapsed() < 5000)
            m_process.waitForReadyRead(100);
        if (!m_process.readLine().startsWith("device: "))
            return false;
        connect(&m_process, &QProcess::readyReadStandardOutput, this, &Simulator::readOutput);
        return true;
    }
    void command(const QString& line) { m_process.write(line.toLatin1() + '\n'); }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        command(QStringLiteral("quit"));
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
    QStringList traceLines() const {
        QFile file(m_trace);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

signals:
    void replugged();

private:
    void readOutput() {
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            if (line.startsWith("device: "))
                emit replugged();
            else if (line.startsWith("error"))
                std::fprintf(stderr, "simulator: %s\n", line.constData());
        }
    }

    QString m_link;
    QString m_trace;
    QProcess m_process;
};

QString outcomeOf(const QString& shown) {
    if (shown == QLatin1String(" 0"))
        return QStringLiteral("no reply");
    if (shown == QLatin1String(" 3"))
        return QStringLiteral("frame error");
    return hasNumber(shown) ? QStringLiteral("reading") : QStringLiteral("no data");
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption minutesOption("minutes", "Polling time.", "M");
    const QCommandLineOption unplugOption("unplug-every", "Seconds between unplugs.", "S", "600");
    const QCommandLineOption rateOption("fault-rate", "Share of answers that go wrong.", "R",
                                        "0.1");
    const QCommandLineOption seriesOption("series", "Series of the random faults.", "N", "1");
    const QCommandLineOption outOption("out", "Keep the trace and the ticks here.", "DIR");
    parser.addOptions({minutesOption, unplugOption, rateOption, seriesOption, outOption});
    parser.addHelpOption();
    parser.process(app);
    const double minutes = parser.value(minutesOption).toDouble();
    const double unplugEvery = parser.value(unplugOption).toDouble();
    if (minutes <= 0 || unplugEvery * 1000 < 2 * kDownMs) {
        std::fprintf(stderr, "usage: tarnwick-soak --minutes M [--unplug-every S >= 4] ...\n");
        return 2;
    }
    const qint64 runMs = qint64(minutes * 60000);

    QTemporaryDir scratch;
    const QString folder = parser.isSet(outOption) ? parser.value(outOption) : scratch.path();
    QDir().mkpath(folder);
    Simulator simulator(folder);
    if (!simulator.start(folder)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }

    MemorySettingsStore settings;
    settings.values.insert("Ports/com1", simulator.link());
    settings.values.insert("Transmitter/CommPort", "1");
    PortDevices devices{settings};
    QtSerialPort port{devices};
    port.setPortNumber(1);
    SteadyClock clock;
    FakeMessageBoxes messages;
    MainWindow window({port, settings, messages, clock});
    window.show();
    auto* addresses = window.findChild<QComboBox*>("CMB_ADDR");
    auto* ports = window.findChild<QComboBox*>("cmbCommPort");
    auto* pressure = window.findChild<QLineEdit*>("TXT_PRESSURE");
    auto* temperature = window.findChild<QLineEdit*>("TXT_TEMPERATURE");
    auto* onOff = window.findChild<QPushButton*>("cmdON_OFF");

    // The engineer's way in: a search, the transmitter picked (its full
    // read), then polling; only the polling counts.
    std::printf("searching the bus...\n");
    std::fflush(stdout);
    window.cmdSEARCH_Click();
    if (addresses->count() != 1) {
        std::fprintf(stderr, "the search found %d transmitters, not 1\n", int(addresses->count()));
        return 1;
    }
    window.listSelection().select(addresses, 0);
    QTest::qWait(300); // the last reply of the full read reaches the trace
    simulator.command(QStringLiteral("random-faults %1 %2")
                          .arg(parser.value(rateOption), parser.value(seriesOption)));
    QTest::qWait(100);

    QList<Tick> ticks;
    QObject::connect(&window.Timer1(), &QTimer::timeout, &window, [&] {
        // Connected after the window's own handler, so this runs once the
        // tick is over; the window turned ReadTemperatureNext round.
        const bool wasTemperature = !window.ReadTemperatureNext;
        ticks.append({monotonicNs(), wasTemperature,
                      outcomeOf((wasTemperature ? temperature : pressure)->text())});
    });
    QList<Replug> replugs;
    QObject::connect(&simulator, &Simulator::replugged, &window, [&] {
        Replug r{monotonicNs(), 0, window.StatusBar1().text(1)};
        // Picking the port in the list again, as a click in its popup does:
        // the list raises activated() for an entry already selected too.
        emit ports->activated(ports->currentIndex());
        r.chosenNs = monotonicNs();
        replugs.append(r);
    });

    const qint64 pollStartNs = monotonicNs();
    const Resources atStart = resources();
    onOff->click();
    std::printf("polling for %.1f min, unplugging every %.0f s, fault rate %s, series %s\n",
                minutes, unplugEvery, qPrintable(parser.value(rateOption)),
                qPrintable(parser.value(seriesOption)));
    std::fflush(stdout);

    // Unplugs only where the adapter is back well before the end, so the
    // end's figures are taken with the port open, as at the start.
    QTimer unplugs;
    unplugs.setInterval(int(unplugEvery * 1000));
    QElapsedTimer sincePollStart;
    sincePollStart.start();
    QObject::connect(&unplugs, &QTimer::timeout, &window, [&] {
        if (sincePollStart.elapsed() + kDownMs + 10000 > runMs)
            return;
        simulator.command(QStringLiteral("unplug"));
        QTimer::singleShot(kDownMs, &window, [&] { simulator.command(QStringLiteral("replug")); });
    });
    unplugs.start();
    std::optional<double> rssAtOneMinute;
    Resources atOneMinute;
    QTimer::singleShot(std::min<qint64>(kFirstMinuteMs, runMs), &window, [&] {
        rssAtOneMinute = residentMiB();
        atOneMinute = resources();
    });
    // A loop of its own: quitting the application would close the window,
    // and with it the port, before the end's figures are taken.
    QEventLoop run;
    QTimer::singleShot(runMs, &run, &QEventLoop::quit);
    run.exec();

    onOff->click();
    const qint64 pollEndNs = monotonicNs();
    const double rssAtEnd = residentMiB();
    const Resources atEnd = resources();
    if (parser.isSet(outOption)) {
        keep(folder + QStringLiteral("/fds-at-start"), atStart);
        keep(folder + QStringLiteral("/fds-at-one-minute"), atOneMinute);
        keep(folder + QStringLiteral("/fds-at-end"), atEnd);
    }
    QTest::qWait(500);

    SoakRun result{minutes,
                   pollStartNs,
                   pollEndNs,
                   ticks,
                   replugs,
                   readSoakTrace(simulator.traceLines()),
                   rssAtOneMinute.value_or(-1),
                   rssAtEnd,
                   atStart,
                   atOneMinute,
                   atEnd};
    simulator.stop();
    QFile tickLog(folder + QStringLiteral("/ticks.csv"));
    printSoakReport(
        result, parser.isSet(outOption) && tickLog.open(QIODevice::WriteOnly) ? &tickLog : nullptr);
    return 0;
}

#include "soak.moc"
