#include "DownloadWatch.h"

#include <QtCore/qtestsupport_core.h>

#include "Downloads.h"

DownloadWatch::DownloadWatch(Downloads *downloads, QObject *parent)
    : QObject(parent)
    , m_downloads(downloads)
{
    connect(downloads, &Downloads::entryAdded, this, &DownloadWatch::look);
    connect(downloads, &Downloads::entryChanged, this, &DownloadWatch::look);
}

void DownloadWatch::look(int id)
{
    using State = DownloadEntry::State;
    const DownloadEntry now = m_downloads->entry(id);
    const DownloadEntry was = m_seen.value(id);
    m_seen.insert(id, now);
    if (!now.path.isEmpty() && now.state != State::Failed && !m_started.contains(id))
        m_started << id;
    if (now.state == State::Finished && was.state != State::Finished)
        m_landed << now.path;
    const bool stopped = now.state == State::Failed || now.state == State::Interrupted || now.state == State::Cancelled;
    const QString reason = now.reason.isEmpty() ? DownloadEntry::stateText(now.state) : now.reason;
    // One reason per stop: a reason told better later (the server's status
    // known) stands in for the first.
    if (stopped && was.state != now.state) {
        m_reasonOf.insert(id, m_reasons.size());
        m_reasons << reason;
    } else if (stopped && was.reason != now.reason) {
        m_reasons[m_reasonOf.value(id)] = reason;
    }
}

bool DownloadWatch::waitStarted(int ms)
{
    return waitFor([this] { return m_started.size(); }, m_startsSeen, ms);
}

bool DownloadWatch::waitLanded(int ms)
{
    return waitFor([this] { return m_landed.size(); }, m_landingsSeen, ms);
}

bool DownloadWatch::waitReason(int ms)
{
    return waitFor([this] { return m_reasons.size(); }, m_reasonsSeen, ms);
}

bool DownloadWatch::waitFor(const std::function<qsizetype()> &count, qsizetype &seen, int ms)
{
    if (!QTest::qWaitFor([&] { return count() > seen; }, ms))
        return false;
    ++seen;
    return true;
}
