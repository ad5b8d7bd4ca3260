#include "support/cli_process.h"

#include <QProcess>

CliRun runCli(const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.start(QStringLiteral(TARNWICK_CLI_PATH), args);
    p.write(input);
    p.closeWriteChannel();
    CliRun r;
    if (!p.waitForFinished(120'000)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("did not finish");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString describe(const CliRun& run) {
    return QStringLiteral("exit %1, stdout:\n%2\nstderr:\n%3")
        .arg(run.exitCode)
        .arg(run.out, run.err);
}
