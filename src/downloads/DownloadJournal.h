#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "DownloadFolder.h"

// One unfinished download as the journal keeps it: enough to list it at the
// next start and to continue it from the bytes on disk.
struct JournalEntry
{
    QUrl url {};                    // the download's address
    QUrl page {};                   // the file page it came from, to start it again there
    QString title {};               // the result row's title
    QString path {};                // the name it reserved, and where it lands when complete
    QString name {};                // where it lands instead, in path's folder, when the server named it so
    QString partial {};             // the file holding its data meanwhile
    qint64 bytes = 0;               // on disk, as far as the program knew
    qint64 total = -1;              // -1 when the server did not say
    QByteArray etag {};             // the server's validators, to continue only the same file
    QByteArray modified {};         // Last-Modified
    QString mimeType {};            // of what came: a page where it was is not the file
    DownloadFolder::Files files {}; // the files it made, the partial file among them
    bool complete = false;          // all its data is there, only its landing is left
    QString existing {};            // the same file found in the folder, for the user to choose

    // Without a validator the rest could be of another file; without data
    // there is no rest.
    bool restartsFromPage() const { return partial.isEmpty() || (!complete && etag.isEmpty() && modified.isEmpty()); }

    friend bool operator==(const JournalEntry &, const JournalEntry &) = default;
};

// A download that ended without landing, and the files it made.
struct JournalLeftover
{
    QString path; // where it would have landed
    DownloadFolder::Files files {};

    friend bool operator==(const JournalLeftover &, const JournalLeftover &) = default;
};

// What the journal holds: the unfinished downloads, and the downloads that
// ended without landing whose partial files the engine may still have been
// writing (swept at the next start).
struct JournalContents
{
    QList<JournalEntry> downloads {};
    QList<JournalLeftover> leftovers {};

    bool isEmpty() const { return downloads.isEmpty() && leftovers.isEmpty(); }
    friend bool operator==(const JournalContents &, const JournalContents &) = default;
};

// The journal of unfinished downloads, in the program's data folder: written
// whole and atomically on every change, and gone when it holds nothing. What
// it says is checked against the disk when read, so a journal that lags
// behind (a power cut) or was torn never claims data that is not there.
class DownloadJournal
{
public:
    // The program's own: "downloads.json" in its data folder.
    static QString defaultFile();

    explicit DownloadJournal(QString file = defaultFile())
        : m_file(std::move(file))
    { }
    QString file() const { return m_file; }

    // The entries whose partial file is there, with bytes the file's real
    // size (never more than total); nothing from a torn or foreign file.
    // An entry whose partial file is not its own download's, by name or by
    // identity, is dropped, so that the journal can never point the program
    // at another file. Only absolute paths are left over.
    JournalContents read() const;
    // Replaces the journal; with nothing in it removes it. False when it
    // could not be written.
    bool write(const JournalContents &contents) const;

private:
    QString m_file;
};
