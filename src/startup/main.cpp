#include <memory>

#include <QApplication>

#include "Form1.h"
#include "Main.h"
#include "DownloadManager.h"
#include "WebEngineSession.h"

int main(int argc, char *argv[])
{
    WebEngineSession::prepareApplication();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondrix"));
    QApplication::setApplicationVersion(QStringLiteral("2.10"));
    QApplication::setDesktopFileName(QStringLiteral("ondrix"));
    // The program ends only through the window's close logic, not when the
    // last window (say, a finished download's) closes.
    QApplication::setQuitOnLastWindowClosed(false);

    WebEngineSession session;
    Form1Services services = Form1Services::desktop();
    services.mayQuit = [&session](QWidget *parent) { return session.downloads()->confirmQuit(parent); };
    std::unique_ptr<Form1> form(Module1::Main(
        [&session](const QString &, QObject *parent) { return session.createBrowser(parent); }, std::move(services)));
    const int rc = QApplication::exec();
    form.reset();
    return rc;
}
