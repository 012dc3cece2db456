#include "CommandLine.h"

#include <QCommandLineParser>

#include "Version.h"

namespace {

const QString ProgramName = QStringLiteral("ondrix");

// Qt's own options, which QApplication reads and removes after us: with a
// value, then plain switches. Hidden from the help, as Qt documents them.
const char *const QtValueOptions[] = {"platform",      "platformpluginpath",
                                      "platformtheme", "plugin",
                                      "qmljsdebugger", "qwindowgeometry",
                                      "qwindowicon",   "qwindowtitle",
                                      "session",       "display",
                                      "geometry",      "style",
                                      "stylesheet",    "title",
                                      "icon",          "name"};
const char *const QtSwitches[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void describe(QCommandLineParser &parser, const QCommandLineOption &help, const QCommandLineOption &version)
{
    parser.setApplicationDescription(
        QStringLiteral("Searches a file-sharing site for a keyword, lists its free results and\n"
                       "downloads the one you click into your download folder."));
    // "-platform offscreen" is one option with a value, as Qt reads it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(help);
    parser.addOption(version);
    for (const char *name : QtValueOptions) {
        QCommandLineOption o(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    for (const char *name : QtSwitches) {
        QCommandLineOption o(QString::fromLatin1(name));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
}

QCommandLineOption helpOption()
{
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("Show this help and exit."));
}

QCommandLineOption versionOption()
{
    return QCommandLineOption({QStringLiteral("v"), QStringLiteral("version")},
                              QStringLiteral("Show the version and exit."));
}

} // namespace

QString CommandLine::helpText()
{
    QCommandLineParser parser;
    describe(parser, helpOption(), versionOption());
    QString text = parser.helpText();
    // Without an application object the parser cannot know the program's name.
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    text.replace(0, end, QStringLiteral("Usage: %1 [options]").arg(ProgramName));
    return text
           + QStringLiteral("\nQt's own options (-platform, -style, -reverse, ...) are accepted, and\n"
                            "Chromium switches may follow --webEngineArgs.\n"
                            "A second start raises the running window and exits.\n");
}

QString CommandLine::versionText()
{
    return QStringLiteral("%1 %2\n").arg(ProgramName, QStringLiteral(ONDRIX_VERSION));
}

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QStringList ours = arguments;
    const qsizetype engine = ours.indexOf(QStringLiteral("--webEngineArgs"));
    if (engine >= 0)
        ours = ours.mid(0, engine);

    QCommandLineParser parser;
    const QCommandLineOption help = helpOption();
    const QCommandLineOption version = versionOption();
    describe(parser, help, version);

    CommandLine out;
    if (!parser.parse(ours) || !parser.positionalArguments().isEmpty()) {
        const QString why
            = parser.errorText().isEmpty()
                  ? QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst())
                  : parser.errorText();
        out.action = Action::Fail;
        out.exitCode = 2;
        out.text = QStringLiteral("%1: %2\n\n%3").arg(ProgramName, why, helpText());
    } else if (parser.isSet(help)) {
        out.action = Action::Help;
        out.text = helpText();
    } else if (parser.isSet(version)) {
        out.action = Action::Version;
        out.text = versionText();
    }
    return out;
}
