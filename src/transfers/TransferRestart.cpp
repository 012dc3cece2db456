// A transfer on from where it stands: 继续, and 重试 from its file page (or
// its address), or the rest of an earlier run's data by a ranged request.
#include <QFileInfo>

#include "FilePageRestart.h"
#include "PartialSweep.h"
#include "RangeFetch.h"
#include "Transfer.h"

void Transfer::resume()
{
    switch (m_state) {
    case State::CompletePaused:
        on(Event::Continue);
        if (!m_asking)
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
    } else if (!m_request || m_request->isFinished()) {
        retry();
    } else if (!m_shared.slotFree(this)) {
        on(Event::Queue);
    } else {
        m_sampled = {m_entry.received, m_shared.clock.elapsed()};
        on(Event::Run);
        m_request->resume();
    }
}

void Transfer::runQueued()
{
    if (m_state != State::Queued)
        return;
    if (m_request) {
        on(Event::Run);
        m_request->resume();
    } else if (m_entry.fromEarlierRun) {
        continueEarlier();
    }
}

// 重试, and 继续 of what the engine cannot continue: from the file page
// where one is known, as the user's click did (its Referer, its cookies, its
// charset for the name), else from the address. It must bring the same file
// again.
void Transfer::retry()
{
    dropFetch();
    m_server.expectAgain(m_entry.path, m_entry.total, true);
    if (m_page.isValid())
        restartFromPage();
    else
        retryFromAddress();
}

// Releases the request, and what the transfer made of its files goes.
void Transfer::letGo()
{
    if (EngineDownload *request = m_request) {
        request->disconnect(this);
        request->cancel();
        request->release();
        m_request = nullptr;
        m_files.handTo(m_shared.leftovers, m_entry.path);
    } else {
        m_files.remove(m_entry.path);
    }
    m_entry.received = 0;
}

void Transfer::retryFromAddress()
{
    if (!m_entry.url.isValid() || !next(m_state, Event::Restart))
        return;
    letGo();
    restartFrom(m_entry.url, false, StopReason::fromItsAddressText());
}

void Transfer::continueEarlier()
{
    if (m_restartsFromPage) {
        // The user was told it starts again from its page: a new version is
        // what they asked for, but no web page where the file was.
        m_server.expectAgain(m_entry.path, m_entry.total, false);
        restartFromPage();
        return;
    }
    if (!m_shared.slotFree(this)) {
        on(Event::Queue);
        return;
    }
    dropFetch();
    // The pages' own identity, and the proxy the application gives them.
    m_fetch = std::make_unique<RangeFetch>(m_shared.network, RangeFetch::Target {.url = m_entry.url,
                                                                                 .referer = m_page,
                                                                                 .partial = dataPath(),
                                                                                 .total = m_entry.total,
                                                                                 .validator = m_server.validator(),
                                                                                 .userAgent = m_shared.userAgent});
    connect(m_fetch.get(), &RangeFetch::finished, this, &Transfer::onFetchEnded);
    m_entry.received = m_fetch->bytes();
    m_sampled = {m_entry.received, m_shared.clock.elapsed()};
    on(Event::Run);
}

void Transfer::onFetchEnded(StopReason::Fetch outcome, int status)
{
    if (!m_fetch)
        return;
    m_entry.received = m_fetch->bytes();
    if (m_entry.total < 0 && outcome == RangeFetch::Outcome::Complete)
        m_entry.total = m_entry.received;
    dropFetch();
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

void Transfer::restartFromPage()
{
    if (!next(m_state, Event::Restart))
        return;
    m_restartsFromPage = false;
    m_entry.fromEarlierRun = false;
    if (!m_page.isValid()) {
        retryFromAddress();
        return;
    }
    // Never a file of two versions: what was fetched of the other goes.
    letGo();
    restartFrom(m_page, true, StopReason::fromItsPageText());
}

void Transfer::restartFrom(const QUrl &url, bool isFilePage, const QString &reason)
{
    dropRestart();
    on(Event::Restart, reason);
    m_restart = m_shared.restart(url, m_entry.id, isFilePage);
    connect(m_restart.get(), &Restart::gaveUp, this, [this](const QString &why) {
        if (!m_restart)
            return;
        dropRestart();
        on(Event::Fail, why);
    });
}

void Transfer::dropFetch()
{
    // Possibly from inside its own signal.
    if (RangeFetch *fetch = m_fetch.release()) {
        fetch->abort();
        fetch->setParent(this);
        fetch->deleteLater();
    }
}

// Whatever was starting it again goes: nothing it brings later is this
// transfer's. Possibly inside the engine's signal about its download.
void Transfer::dropRestart()
{
    if (Restart *restart = m_restart.release()) {
        restart->setParent(this);
        restart->deleteLater();
    }
}
