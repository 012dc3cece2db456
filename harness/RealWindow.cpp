#include "RealWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include "Main.h"
#include "SharedState.h"

bool spinUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

Form1Services inertServices()
{
    Form1Services services;
    services.openUrl = [](const QUrl &) {};
    services.askUpdate = [](QWidget *) { return false; };
    services.mayQuit = [](QWidget *) { return true; };
    services.quit = [] {};
    return services;
}

void pointAt(const QString &siteBase, const QString &homePage)
{
    shared() = SharedState {};
    shared().AppVersion = 2.01;
    shared().SiteBase = siteBase;
    shared().HomePageAddress = homePage;
}

std::unique_ptr<Form1> realWindow(WebEngineSession &session, Form1Services services)
{
    return std::make_unique<Form1>(Module1::engineBrowsers(session), std::move(services));
}
