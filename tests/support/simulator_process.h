#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The built tarnwick-sim as a separate process, for end-to-end tests: it
// serves a simulated bus on a pseudo-terminal that the test (or the tool under
// test) opens through devicePath(). The link and the frame trace live in a
// private temporary folder.
class SimulatorProcess {
public:
    // An empty busJson runs the built-in bus of three transmitters.
    explicit SimulatorProcess(QStringList extraArgs = {}, const QByteArray& busJson = {});
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // Starts it and waits for the device to be there; false with
    // errorString() saying why when it did not come up.
    bool start();
    QString errorString() const { return m_error; }

    // The symbolic link to the pseudo-terminal; it stays the same across
    // unplug and replug.
    QString devicePath() const;
    // The trace so far, one frame per line ("<ns> <baud> heard|sent <frame>").
    QStringList traceLines() const;

    // Sends one control command and returns its answer line ("ok",
    // "error: ...", or the JSON of "state"); empty when none came in time.
    QString control(const QString& command);

    // Quits it, or kills it when it does not quit in time.
    void stop();

private:
    // The next line of its output, without the newline; empty on time-out.
    QString readLine(int msecs);

    QStringList m_args;
    QByteArray m_busJson;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_error;
};
