#include "RealWindow.h"

#include <QCoreApplication>

#include "DownloadManager.h"
#include "Module1.h"
#include "WebEngineSession.h"

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

std::unique_ptr<Form1> realWindow(WebEngineSession &session, Form1Services services)
{
    DownloadManager &downloads = *session.downloads();
    auto form = std::make_unique<Form1>(Module1::engineBrowsers(session),
                                        Module1::withDownloads(std::move(services), downloads));
    Module1::answerClicks(form.get(), downloads);
    return form;
}
