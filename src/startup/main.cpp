#include <cstdio>
#include <memory>

#include <QApplication>

#include "CommandLine.h"
#include "Module1.h"
#include "SingleInstance.h"
#include "WebEngineSession.h"

int main(int argc, char *argv[])
{
    // Answered before any window or engine starts, and without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = CommandLine::parse(arguments);
    if (command.action != CommandLine::Action::Run) {
        std::fputs(command.text.toLocal8Bit().constData(),
                   command.action == CommandLine::Action::Fail ? stderr : stdout);
        return command.exitCode;
    }

    // A running window is raised before this start opens a display of its own.
    const QString socketPath = SingleInstance::defaultSocketPath();
    if (SingleInstance::askRunningToRaise(socketPath))
        return 0;

    WebEngineSession::prepareApplication();
    // Said on the terminal before a display opens, as one may not open to root.
    const QString refusal = Module1::startRefusal();
    // Read while the application starts.
    Module1::followDesktopProxy();
    QApplication app(argc, argv);
    Module1::describeApplication();
    if (!refusal.isEmpty()) {
        Module1::showRefusal(refusal);
        return 1;
    }
    Module1::prepareWindow();
    // Listens from now on; a start at the same moment may still win the socket.
    SingleInstance instance(socketPath);
    if (instance.start() == SingleInstance::Role::Second)
        return 0;

    // Qt's own dialog buttons in Chinese, like the rest of the program.
    Module1::loadTranslations();

    WebEngineSession session;
    std::unique_ptr<Form1> form(Module1::Main(session));
    QObject::connect(&instance, &SingleInstance::raiseRequested, form.get(),
                     [&form](const QByteArray &token) { Module1::raise(form.get(), token); });
    const int rc = QApplication::exec();
    form.reset();
    return rc;
}
