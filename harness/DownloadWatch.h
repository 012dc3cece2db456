// What the user sees of the downloads, followed for the tests and the
// benchmarks: each entry as it gets a file to land at, lands, or stops with
// the reason it shows.
#pragma once

#include <functional>

#include <QHash>
#include <QObject>
#include <QStringList>

#include "DownloadEntry.h"

class Downloads;

class DownloadWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadWatch)

public:
    explicit DownloadWatch(Downloads *downloads, QObject *parent = nullptr);

    // Entries that got a file to land at, in order.
    QList<int> started() const { return m_started; }
    // Where those that finished landed, in order.
    QStringList landed() const { return m_landed; }
    // The reason each entry that failed, broke off or was cancelled showed,
    // in order, once per stop.
    QStringList reasons() const { return m_reasons; }

    // Until one more than waited for before has started, landed or stopped
    // with a reason; false after ms without.
    bool waitStarted(int ms = 30000);
    bool waitLanded(int ms = 30000);
    bool waitReason(int ms = 30000);

private:
    void look(int id);
    bool waitFor(const std::function<qsizetype()> &count, qsizetype &seen, int ms);

    Downloads *m_downloads;
    QHash<int, DownloadEntry> m_seen;
    QHash<int, qsizetype> m_reasonOf; // where in m_reasons its latest stop is
    QList<int> m_started;
    QStringList m_landed, m_reasons;
    qsizetype m_startsSeen = 0, m_landingsSeen = 0, m_reasonsSeen = 0;
};
