#pragma once

#include <QString>
#include <QStringList>

// The program's command line, read before any window or engine starts.
struct CommandLine
{
    enum class Action { Run, Help, Version, Fail };

    Action action = Action::Run;
    QString text;     // what to print: to standard output, or standard error on Fail
    int exitCode = 0; // 0, or 2 for a command line the program does not understand

    // Reads the arguments as given to main (the program's name first). Qt's
    // own options, and whatever follows --webEngineArgs, are accepted and left
    // for Qt to read.
    static CommandLine parse(const QStringList &arguments);
    static QString helpText();
    static QString versionText();
};
