// The real window on the real engine, for the engine tests, the soak and the
// benchmarks: a wait that lets events run and the window set up against a site.
#pragma once

#include <functional>
#include <memory>

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include "Form1.h"

class WebEngineSession;

// Lets events run until done() holds; false after timeoutMs. QTest::qWaitFor
// sleeps in steps that cost seconds while the window animates.
bool spinUntil(const std::function<bool()> &done, int timeoutMs = 30000);

// The longest the event loop went without running a timer of this interval,
// since the watch was made: how long the window stalled.
class StallWatch
{
public:
    explicit StallWatch(int intervalMs);
    qint64 longest() const;

private:
    QElapsedTimer m_clock;
    QTimer m_ticker;
    qint64 m_last = 0;
    qint64 m_gap = 0;
};

// The window on the session's browsers, its row clicks entries of the
// session's downloads; the other services reach nothing outside unless set.
std::unique_ptr<Form1> realWindow(WebEngineSession &session, Form1Services services = {});
