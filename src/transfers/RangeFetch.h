#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include "DownloadFolder.h"
#include "StopReason.h"

class QNetworkAccessManager;
class QNetworkReply;

// Fetches the rest of a download that an earlier run left unfinished, with
// a ranged request of the program's own: the engine cannot adopt a partial
// file it did not write in this run. Appends to the partial file only what
// the server confirms continues the same file from its last byte.
class RangeFetch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RangeFetch)

public:
    struct Target
    {
        QUrl url;
        QUrl referer;       // the file page, as the site expects
        QString partial {}; // appended to, while it is one of files
        DownloadFolder::Files files {};
        qint64 total = -1;       // -1 when unknown
        QByteArray validator;    // ETag or Last-Modified, for If-Range
        QByteArray userAgent {}; // the pages' own
    };

    using Outcome = StopReason::Fetch;

    // Starts at once; finished() follows exactly once, later.
    RangeFetch(QNetworkAccessManager *network, Target target, QObject *parent = nullptr);
    ~RangeFetch() override;

    // The bytes in the partial file now.
    qint64 bytes() const { return m_bytes; }
    // Stops without a word; the data so far stays.
    void abort();

signals:
    void finished(RangeFetch::Outcome outcome, int httpStatus);

private:
    void onHeaders();
    void onData();
    void onFinished();
    void end(Outcome outcome);

    Target m_target;
    QFile m_file;
    QPointer<QNetworkReply> m_reply;
    qint64 m_bytes = 0;
    int m_status = 0;
    bool m_accepted = false;
    bool m_ended = false;
};
