#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include "ServerProbe.h"

struct JournalEntry;

// Where a transfer's file came from, what its server said of it (its
// validators, its type, the name its own bytes give it), and what 重试 or
// 继续 must bring again to be that file. Rules only: the questions are the
// transfer's.
struct ServerFile
{
    QUrl page {};           // the file page: the Referer, and where it starts again
    QString title {};       // of the result row that was clicked
    QString charset {};     // of the page that started it, for its name
    QString wanted {};      // the name the reservation was made for, before any " (n)"
    QString landAs {};      // the name the server's own bytes give instead; empty: the reserved one
    QByteArray etag {};     // ETag
    QByteArray modified {}; // Last-Modified
    QString mimeType {};    // of what came
    struct
    {
        qint64 total = -1;
        QString mimeType;
        QByteArray etag;
        QByteArray modified;
    } expected {}; // where it was known

    // As the journal kept it, and into what it keeps.
    static ServerFile kept(const JournalEntry &kept);
    void keepIn(JournalEntry &kept) const;
    // A download of it begins: nothing is known of it yet but its type, and
    // what it must be.
    void begin(const QString &type, const QString &wantedName, const QString &pageCharset);
    // It is asked for again: the same version of total bytes, or where only
    // a new version can come, any file but a web page where one was.
    void expectAgain(const QString &path, qint64 total, bool sameVersion);
    // Why a download of that type and length is not the file expected;
    // empty when it may be.
    QString refusal(const QString &type, qint64 total) const;
    // The server's validators name another version than the expected one.
    bool changed(const ServerProbe::Validators &said) const;
    // Takes the server's answer where it is about a file of total bytes (-1:
    // unknown, then its length), and whether it names the file otherwise.
    bool answer(const ServerProbe::Validators &said, qint64 &total);
    // For If-Range: the ETag, else Last-Modified.
    QByteArray validator() const { return etag.isEmpty() ? modified : etag; }

private:
    // What came the first time; before anything came, what its name says.
    QString typeOf(const QString &path) const;
};
