#include "cli/completion_script.h"

#include "connection/setting_keys.h"
#include "protocol/bus_search.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

const QString kProgram = QStringLiteral("tarnwick-cli");

// In the script's lists of words, these two stand for what is looked up when
// the user presses Tab: file names, and the serial devices present.
const QString kFiles = QStringLiteral("@files");
const QString kDevices = QStringLiteral("@devices");

// What the value of an option completes to, by its value name: an option
// means the same thing in every command, and so does its value name.
QStringList valueWords(const QCommandLineOption& option) {
    const QString name = option.valueName();
    if (name == QLatin1String("port")) {
        // com1 to com6 are the ports the window maps; anything else is a
        // device, or a device server's address.
        QStringList words;
        for (int n = 1; n <= 6; ++n)
            words.append(QStringLiteral("com%1").arg(n));
        return words << kDevices << QStringLiteral("rfc2217://") << QStringLiteral("tcp://");
    }
    if (name == QLatin1String("rate")) {
        QStringList words;
        for (const int rate : kBaudRates)
            words.append(QString::number(rate));
        // A rate option's default is a value it takes too: --baud's "auto".
        return words << option.defaultValues();
    }
    if (name == QLatin1String("file"))
        return {kFiles};
    return {};
}

// What the command's argument at index completes to, read from its synopsis:
// an argument to fill in is named in capitals (ADDR, FILE), a word taken as
// it stands is spelt out, alternatives joined by "|" (user|factory).
QStringList argumentWords(const CliCommand& command, int index) {
    const QString word = command.synopsis.split(QLatin1Char(' '), Qt::SkipEmptyParts).value(index);
    if (word == QLatin1String("FILE"))
        return {kFiles};
    // A setting to write: its key, the value typed after it.
    if (word.startsWith(QLatin1String("KEY=VALUE"))) {
        QStringList keys;
        for (const QString& key : settingKeys())
            keys.append(key + QLatin1Char('='));
        return keys;
    }
    static const QRegularExpression literal(QStringLiteral("^[a-z0-9-]+(\\|[a-z0-9-]+)*$"));
    if (literal.match(word).hasMatch())
        return word.split(QLatin1Char('|'));
    return {};
}

QString quoted(const QString& word) {
    QString q = word;
    q.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + q + QLatin1Char('\'');
}

QString quoted(const QStringList& words) {
    return quoted(words.join(QLatin1Char(' ')));
}

// One place on the command line: before the command (name empty) or after it.
struct Scope {
    QString name;
    QList<QCommandLineOption> options;
    QList<QStringList> arguments; // by index, as the script's words
};

QString scopeCase(const Scope& scope) {
    QStringList names;
    QStringList valued;
    QStringList values;
    for (const QCommandLineOption& option : scope.options) {
        QStringList spellings;
        for (const QString& name : option.names())
            spellings.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) +
                             name);
        names += spellings;
        if (option.valueName().isEmpty())
            continue;
        valued += spellings;
        if (const QStringList words = valueWords(option); !words.isEmpty()) {
            QStringList patterns;
            for (const QString& s : spellings)
                patterns.append(quoted(s));
            values.append(QStringLiteral("        %1) words=%2 ;;\n")
                              .arg(patterns.join(QStringLiteral(" | ")), quoted(words)));
        }
    }
    for (qsizetype i = 0; i < scope.arguments.size(); ++i)
        if (!scope.arguments[i].isEmpty())
            values.append(QStringLiteral("        '#%1') words=%2 ;;\n")
                              .arg(i + 1)
                              .arg(quoted(scope.arguments[i])));

    QString text = QStringLiteral("    %1)\n        options=%2\n        valued=%3\n")
                       .arg(quoted(scope.name), quoted(names), quoted(valued));
    if (!values.isEmpty())
        text += QStringLiteral("        case $2 in\n") + values.join(QString()) +
                QStringLiteral("        esac\n");
    return text + QStringLiteral("        ;;\n");
}

// The part of the script that is the same for every command table: the walk
// along the words typed so far, and the offer of what may come next.
const char* const kFunctions = R"BASH(
# Offers the words of $words that start with $1, file names for @files and
# the serial devices present for @devices. A word that asks for more (a
# setting's "key=", a scheme's "//") takes no blank after it.
_tarnwick_cli_offer()
{
    local cur=$1 word file
    for word in $words; do
        case $word in
        @files)
            compopt -o filenames 2>/dev/null
            while IFS= read -r file; do
                COMPREPLY+=("$file")
            done < <(compgen -f -- "$cur")
            ;;
        @devices)
            # A path begun elsewhere is completed from its folder.
            if [[ -n $cur && $cur != /dev/* && $cur == */* ]]; then
                compopt -o filenames 2>/dev/null
                while IFS= read -r file; do
                    COMPREPLY+=("$file")
                done < <(compgen -f -- "$cur")
                continue
            fi
            for file in /dev/tty* /dev/serial/by-id/*; do
                [[ -e $file && $file == "$cur"* ]] && COMPREPLY+=("$file")
            done
            ;;
        *=)
            # Once a key is typed, its value is the user's.
            [[ $cur != *=* && $word == "$cur"* ]] && COMPREPLY+=("$word") &&
                compopt -o nospace 2>/dev/null
            ;;
        */)
            [[ $word == "$cur"* ]] && COMPREPLY+=("$word") && compopt -o nospace 2>/dev/null
            ;;
        *)
            [[ $word == "$cur"* ]] && COMPREPLY+=("$word")
            ;;
        esac
    done
}

_tarnwick_cli()
{
    local -a line=()
    local i word
    # bash splits "--baud=9600" and "unit=kPa" at the "=" (COMP_WORDBREAKS);
    # joined again, an option's attached value is not taken for an argument,
    # nor a setting's value for another.
    for ((i = 1; i <= COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((${#line[@]} > 0)) && [[ $word == = || ${line[-1]} == *= ]]; then
            line[-1]+=$word
        else
            line+=("$word")
        fi
    done

    local cur=${line[-1]} scope= count=0 option= ended= options valued words
    _tarnwick_cli_table '' ''
    for word in "${line[@]:0:${#line[@]}-1}"; do
        if [[ -n $option ]]; then
            option=
        elif [[ -z $ended && $word == -- ]]; then
            ended=1
        elif [[ -z $ended && $word == -?* ]]; then
            [[ " $valued " == *" $word "* ]] && option=$word
        elif [[ -z $scope ]]; then
            # The command parses its own options again, after a "--" too.
            scope=$word ended=
            _tarnwick_cli_table "$scope" ''
        else
            count=$((count + 1))
        fi
    done

    COMPREPLY=()
    # In "--baud=96" bash completes only the "96", a word of its own to it.
    if [[ -z $option && -z $ended && $cur == -*=* && $COMP_WORDBREAKS == *=* ]]; then
        option=${cur%%=*} cur=${cur#*=}
        [[ " $valued " == *" $option "* ]] || return 0
    fi
    if [[ -n $option ]]; then
        _tarnwick_cli_table "$scope" "$option"
    elif [[ -z $ended && $cur == -* ]]; then
        words=$options
    else
        _tarnwick_cli_table "$scope" "#$((count + 1))"
    fi
    _tarnwick_cli_offer "$cur"
}

complete -F _tarnwick_cli tarnwick-cli)BASH";

} // namespace

QList<QCommandLineOption> parserOptions(const QCommandLineParser& parser) {
    // Qt's help text gives each option one line that starts with two blanks
    // and a dash: "  -h, --help  ..." or "  --baud <rate>  ...". A description
    // that goes on is indented further, so it never looks like one.
    static const QRegularExpression line(
        QStringLiteral("^  (-[^ ,<]+(?:, -[^ ,<]+)*)(?: <([^>]*)>)?(?:  |$)"));
    const QString help = parser.helpText();
    const qsizetype start = help.indexOf(QLatin1String("\nOptions:\n"));
    if (start < 0)
        return {};
    QList<QCommandLineOption> options;
    for (const QString& text : help.mid(start + 10).split(QLatin1Char('\n'))) {
        if (text.isEmpty())
            break; // the options end at the first blank line
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        QStringList names;
        for (const QString& spelling : m.captured(1).split(QStringLiteral(", ")))
            names.append(spelling.mid(spelling.startsWith(QLatin1String("--")) ? 2 : 1));
        QCommandLineOption option(names);
        if (m.hasCaptured(2)) {
            option.setValueName(m.captured(2));
            if (!parser.isSet(names.first()))
                option.setDefaultValues(parser.values(names.first()));
        }
        options.append(option);
    }
    return options;
}

QString bashCompletionScript(const QList<QCommandLineOption>& globals,
                             const QList<CliCommand>& commands) {
    Scope top{QString(), globals, {{}}};
    // Taken before a command only, so it is no global option of the commands.
    top.options.append(
        QCommandLineOption(QStringList{QStringLiteral("v"), QStringLiteral("version")}));
    QList<Scope> scopes;
    for (const CliCommand& command : commands) {
        top.arguments.first().append(command.name);
        // The command's parser as the program builds it: the global options
        // and the command's own.
        QCommandLineParser parser;
        parser.addOptions(globals);
        if (command.addOptions)
            command.addOptions(parser);
        parser.parse({kProgram});
        Scope scope{command.name, parserOptions(parser), {}};
        const QStringList synopsis = command.synopsis.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < synopsis.size(); ++i)
            scope.arguments.append(argumentWords(command, i));
        // An argument that may come again ("KEY=VALUE...") completes the same
        // at every place after it, as many times as there are keys.
        if (!synopsis.isEmpty() && synopsis.last().endsWith(QLatin1String("...")))
            for (qsizetype more = 0; more < settingKeys().size(); ++more)
                scope.arguments.append(scope.arguments.last());
        scopes.append(scope);
    }
    scopes.prepend(top);

    QString text = QStringLiteral(
        "# bash completion for tarnwick-cli, written by \"tarnwick-cli completion bash\" from\n"
        "# its own command table: write it again rather than edit it.\n"
        "\n"
        "# Sets options (those the place takes), valued (those of them that take a\n"
        "# value) and words (what the value of option $2, or argument #N, completes\n"
        "# to) for the place after command $1, or before any command for ''.\n"
        "_tarnwick_cli_table()\n"
        "{\n"
        "    options= valued= words=\n"
        "    case $1 in\n");
    for (const Scope& scope : scopes)
        text += scopeCase(scope);
    text += QStringLiteral("    esac\n}\n");
    return text + QString::fromLatin1(kFunctions);
}
