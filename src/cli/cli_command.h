#pragma once

#include "cli/global_options.h"

#include <QCommandLineParser>
#include <QStringList>

#include <functional>

// What a command's run gets: the options every command takes, its own parsed
// options and its arguments.
struct CommandContext {
    GlobalOptions options;
    const QCommandLineParser& parser;
    QStringList arguments;
};

// One command of tarnwick-cli.
struct CliCommand {
    QString name;
    // The arguments after the options, as the usage line shows them.
    QString synopsis;
    QString summary;
    // More text for the command's --help.
    QString description;
    int minArguments = 0;
    int maxArguments = 0; // -1: any number
    std::function<void(QCommandLineParser&)> addOptions;
    std::function<int(CommandContext&)> run;
};

// Every command, in the order --help lists them.
const QList<CliCommand>& cliCommands();

// The commands of the reading side; each defined in its own file.
CliCommand searchCommand();
CliCommand readCommand();
CliCommand inventoryCommand();
CliCommand pollCommand();
CliCommand monitorCommand();
CliCommand sendCommand();
// The commands that write; each defined in its own file.
CliCommand setCommand();
CliCommand applyCommand();
CliCommand moveCommand();
CliCommand storeCommand();
CliCommand restoreFactoryCommand();
CliCommand zeroCommand();
// The shell completion script, written from this table.
CliCommand completionCommand();

// Runs tarnwick-cli with the arguments (the program's name first) and returns
// its exit status.
int runCli(const QStringList& arguments);
