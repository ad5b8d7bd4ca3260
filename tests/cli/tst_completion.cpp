// The completion script as a user meets it: printed by the built program,
// sourced into a real bash, its function called as bash calls it on Tab.

#include "cli/completion_script.h"
#include "support/cli_process.h"

#include <QCommandLineParser>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Finds the function the script registered and calls it as bash does, with
// the words given (the last one being completed); prints what it offers.
const QString kCallCompletion = QStringLiteral(R"(
source "$1" || exit 3
registered=$(complete -p tarnwick-cli) || exit 4
function=${registered#*-F }
function=${function%% *}
COMP_WORDS=("${@:2}")
COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
COMP_LINE="${COMP_WORDS[*]}"
COMP_POINT=${#COMP_LINE}
"$function" tarnwick-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
printf '%s\n' "${COMPREPLY[@]}"
)");
} // namespace

class TestCompletion : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void parser_options_data();
    void parser_options();
    void bash_offers_data();
    void bash_offers();

private:
    QTemporaryDir m_dir;
    QString m_script;
};

void TestCompletion::initTestCase() {
    QVERIFY(m_dir.isValid());
    const CliRun r = runCli({QStringLiteral("completion"), QStringLiteral("bash")}, {});
    QVERIFY2(r.exitCode == 0, qPrintable(describe(r)));
    m_script = m_dir.filePath(QStringLiteral("tarnwick-cli.bash"));
    QFile script(m_script);
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write(r.out.toUtf8()) > 0);
    // The folder bash completes file names in.
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("work")));
    QFile saved(m_dir.filePath(QStringLiteral("work/saved.json")));
    QVERIFY(saved.open(QIODevice::WriteOnly));
}

void TestCompletion::parser_options_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("valueName");
    QTest::addColumn<QStringList>("defaults");
    QTest::addColumn<QStringList>("commandLine");
    QTest::addColumn<QStringList>("defaultsRead");

    QTest::newRow("no description") << QStringList{"x"} << ""
                                    << "" << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("a value and its default, described at length")
        << QStringList{"baud"}
        << "The rate the transmitter answers at: 1200, 2400, 4800, 9600, or auto (\"AD\" at "
           "9600, 4800, 2400 and 1200 until it answers), -x and --not-an-option -y; it goes on "
           "--past three lines of help text, long enough to wrap -z again."
        << "rate" << QStringList{"auto"} << QStringList{} << QStringList{"auto"};
    QTest::newRow("short and long name with a value")
        << QStringList{"t", "trace-file"} << ""
        << "file" << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("a default overridden on the command line")
        << QStringList{"interval"} << "Milliseconds."
        << "ms" << QStringList{"500"} << QStringList{"--interval", "20"} << QStringList{};
}

// Read back between two neighbours: a description running over several lines
// must not turn into options of its own.
void TestCompletion::parser_options() {
    QFETCH(QStringList, names);
    QFETCH(QString, description);
    QFETCH(QString, valueName);
    QFETCH(QStringList, defaults);
    QFETCH(QStringList, commandLine);
    QFETCH(QStringList, defaultsRead);

    QCommandLineOption option(names, description, valueName);
    option.setDefaultValues(defaults);
    QCommandLineParser parser;
    parser.addOptions({QCommandLineOption({"h", "help"}, "Show this help."), option,
                       QCommandLineOption("last", "The last one.")});
    QVERIFY(parser.parse(QStringList{"tarnwick-cli"} + commandLine));

    const QList<QCommandLineOption> read = parserOptions(parser);
    QCOMPARE(read.size(), 3);
    QCOMPARE(read[0].names(), (QStringList{"h", "help"}));
    QCOMPARE(read[1].names(), names);
    QCOMPARE(read[1].valueName(), valueName);
    QCOMPARE(read[1].defaultValues(), defaultsRead);
    QCOMPARE(read[2].names(), QStringList{"last"});
}

void TestCompletion::bash_offers_data() {
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QStringList>("offers");
    QTest::addColumn<bool>("exactly");

    const QStringList rates{"1200", "2400", "4800", "9600"};
    const QStringList ports{"com1", "com2", "com3", "com4", "com5", "com6"};
    QTest::newRow("command names")
        << QStringList{"re"} << QStringList{"read", "restore-factory"} << true;
    QTest::newRow("command after a global option's value")
        << QStringList{"--port", "com1", "s"} << QStringList{"search", "send", "set", "store"}
        << true;
    QTest::newRow("short and long names, global ones too")
        << QStringList{"read", "-"} << QStringList{"-h", "--help", "--baud", "--port", "--dry-run"}
        << false;
    QTest::newRow("the command's own option")
        << QStringList{"read", "--ba"} << QStringList{"--baud"} << true;
    QTest::newRow("no option of another command")
        << QStringList{"read", "--in"} << QStringList{} << true;
    QTest::newRow("rates or auto")
        << QStringList{"read", "--baud", ""} << rates + QStringList{"auto"} << true;
    QTest::newRow("a rate after =")
        << QStringList{"read", "--baud", "=", "96"} << QStringList{"9600"} << true;
    QTest::newRow("no value for an option that takes none")
        << QStringList{"read", "--json", "=", ""} << QStringList{} << true;
    QTest::newRow("a new rate, never auto")
        << QStringList{"move", "07", "--rate", ""} << rates << true;
    QTest::newRow("a list of rates has no fixed words")
        << QStringList{"search", "--baud", ""} << QStringList{} << true;
    QTest::newRow("ports, devices and the two schemes")
        << QStringList{"--port", ""} << ports + QStringList{"/dev/tty", "rfc2217://", "tcp://"}
        << false;
    QTest::newRow("never a file of the folder for a port")
        << QStringList{"--port", "sa"} << QStringList{} << true;
    QTest::newRow("a device path begun")
        << QStringList{"--port", "/dev/tty"} << QStringList{"/dev/tty"} << false;
    QTest::newRow("the version before a command")
        << QStringList{"-"} << QStringList{"-v", "--version"} << false;
    // A setting's key, then as many more as there are keys; the value after
    // "=" is the user's.
    QTest::newRow("setting keys after set ADDR")
        << QStringList{"set", "07", "ra"} << QStringList{"rangeLow=", "rangeHigh="} << true;
    QTest::newRow("a second setting key")
        << QStringList{"set", "07", "unit=kPa", "dec"} << QStringList{"decimals="} << true;
    QTest::newRow("a second key after a value bash split at =")
        << QStringList{"set", "07", "unit", "=", "kPa", "mo"} << QStringList{"model="} << true;
    QTest::newRow("no key as a value")
        << QStringList{"set", "07", "unit", "=", ""} << QStringList{} << true;
    QTest::newRow("ports after the command")
        << QStringList{"read", "--port", "co"} << ports << true;
    QTest::newRow("data areas") << QStringList{"store", "07", ""} << QStringList{"user", "factory"}
                                << true;
    QTest::newRow("data area after an option's value")
        << QStringList{"store", "--baud", "9600", "07", "f"} << QStringList{"factory"} << true;
    QTest::newRow("data area after a value bash split at =")
        << QStringList{"store", "--baud", "=", "9600", "07", ""} << QStringList{"user", "factory"}
        << true;
    QTest::newRow("nothing past the last argument")
        << QStringList{"store", "07", "user", ""} << QStringList{} << true;
    QTest::newRow("a file to apply")
        << QStringList{"apply", "07", "sa"} << QStringList{"saved.json"} << true;
    QTest::newRow("shells") << QStringList{"completion", ""} << QStringList{"bash"} << true;
}

void TestCompletion::bash_offers() {
    QFETCH(QStringList, words);
    QFETCH(QStringList, offers);
    QFETCH(bool, exactly);

    const QString bash = QStandardPaths::findExecutable(QStringLiteral("bash"));
    QVERIFY(!bash.isEmpty());
    QProcess p;
    p.setWorkingDirectory(m_dir.filePath(QStringLiteral("work")));
    p.start(bash, QStringList{"--norc", "--noprofile", "-c", kCallCompletion, "bash", m_script,
                              "tarnwick-cli"} +
                      words);
    QVERIFY(p.waitForFinished(30'000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == 0 && err.isEmpty(), qPrintable(err));
    QStringList offered =
        QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (exactly) {
        offered.sort();
        offers.sort();
        QCOMPARE(offered, offers);
    } else {
        for (const QString& word : offers)
            QVERIFY2(offered.contains(word), qPrintable(word + " not in " + offered.join(' ')));
    }
}

QTEST_GUILESS_MAIN(TestCompletion)
#include "tst_completion.moc"
