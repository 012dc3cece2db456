#include "RealWindow.h"

#include <QCoreApplication>

#include "Module1.h"

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

StallWatch::StallWatch(int intervalMs)
{
    QObject::connect(&m_ticker, &QTimer::timeout, [this] {
        m_gap = qMax(m_gap, m_clock.elapsed() - m_last);
        m_last = m_clock.elapsed();
    });
    m_clock.start();
    m_ticker.start(intervalMs);
}

qint64 StallWatch::longest() const
{
    return qMax(m_gap, m_clock.elapsed() - m_last);
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

std::unique_ptr<Form1> realWindow(WebEngineSession &session, Form1Services services)
{
    return std::make_unique<Form1>(Module1::engineBrowsers(session), std::move(services));
}
