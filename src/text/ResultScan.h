#pragma once

#include <optional>

#include <QString>

// One entry of a results page.
struct ResultEntry
{
    QString identifier; // between the marker and ".html", untrimmed
    QString title;      // HTML between the link tag and "</DIV>"
    QString sizeText;   // between "大小:" and "|", spaces kept; empty when missing
    bool costsPoints = false;
    int row = -1; // position among the page's free entries; -1 when it costs points
};

// Walks a results page entry by entry, so the caller can let events run
// between entries and stop when a newer scan has taken over.
class ResultScanner
{
public:
    explicit ResultScanner(QString page);

    // The next entry, or nothing once the page holds no further complete one.
    // The marker is passed on every call since the window reads it afresh.
    std::optional<ResultEntry> next(const QString &marker);
    // How many entries next() has given, free or not.
    int entries() const { return m_entries; }

private:
    QString m_page;
    qsizetype m_start = 1;
    int m_rows = 0;
    int m_entries = 0;
    bool m_done = false;
};
