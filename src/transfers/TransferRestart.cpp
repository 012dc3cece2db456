// A transfer on from where it stands: 继续, and 重试 from its file page (or
// its address), or the rest of an earlier run's data by a ranged request.
#include <QFileInfo>

#include "Transfer.h"

void Transfer::resume()
{
    switch (m_state) {
    case State::CompletePaused:
        on(Event::Continue);
        if (!m_source.isAsking())
            landOrSay(dataPath());
        return;
    case State::CompleteThere:
    case State::CompleteKept:
        landOrSay(DownloadFolder::reservedPath(m_entry.path));
        return;
    default:
        break;
    }
    if (m_entry.fromEarlierRun) {
        continueEarlier();
    } else if (!request() || request()->isFinished()) {
        retry();
    } else if (!m_shared.slotFree(this)) {
        on(Event::Queue);
    } else {
        m_source.restartClock(m_entry.received);
        on(Event::Run);
        m_source.resumeRequest();
    }
}

void Transfer::runQueued()
{
    if (m_state == State::Queued)
        resume();
}

// 重试, and 继续 of what the engine cannot continue: from the file page
// where one is known, as the user's click did (its Referer, its cookies, its
// charset for the name), else from the address. It must bring the same file
// again.
void Transfer::retry()
{
    m_source.dropFetch();
    m_server.expectAgain(m_entry.path, m_entry.total, true);
    restart();
}

// Releases the request, and what the transfer made of its files goes.
void Transfer::letGo()
{
    if (m_source.dropRequest())
        m_files.handTo(m_shared.leftovers, m_entry.path);
    else
        m_files.remove(m_entry.path);
    m_entry.received = 0;
}

void Transfer::continueEarlier()
{
    if (m_restartsFromPage) {
        // The user was told it starts again from its page: a new version is
        // what they asked for, but no web page where the file was.
        m_server.expectAgain(m_entry.path, m_entry.total, false);
        restart();
        return;
    }
    if (!m_shared.slotFree(this)) {
        on(Event::Queue);
        return;
    }
    m_source.fetchRest({.url = m_entry.url,
                        .referer = m_page,
                        .partial = dataPath(),
                        .total = m_entry.total,
                        .validator = m_server.validator()});
    m_entry.received = m_source.received(m_entry.received);
    m_source.restartClock(m_entry.received);
    on(Event::Run);
}

void Transfer::onFetchEnded(StopReason::Fetch outcome, int status, qint64 bytes)
{
    m_entry.received = bytes;
    if (m_entry.total < 0 && outcome == RangeFetch::Outcome::Complete)
        m_entry.total = m_entry.received;
    const QString folder = QFileInfo(m_entry.path).absolutePath();
    if (outcome == RangeFetch::Outcome::Complete) {
        landOrSay(dataPath());
    } else if (outcome == RangeFetch::Outcome::WriteError) {
        finish(Event::Fail, StopReason::fetchText(outcome, folder, status));
        return;
    } else {
        m_restartsFromPage = StopReason::restartsFromPage(outcome);
        on(Event::Break, StopReason::fetchText(outcome, folder, status));
    }
    emit slotFreed();
}

void Transfer::restart()
{
    const bool fromPage = m_page.isValid();
    const QUrl url = fromPage ? m_page : m_entry.url;
    if (!url.isValid() || !next(m_state, Event::Restart))
        return;
    // Never a file of two versions: what was fetched of the other goes, and
    // what comes is a download of its own.
    letGo();
    m_restartsFromPage = false;
    m_entry.fromEarlierRun = false;
    on(Event::Restart, fromPage ? StopReason::fromItsPageText() : StopReason::fromItsAddressText());
    m_source.restartFrom(url, m_entry.id, fromPage);
}
