#include "RangeFetch.h"

#include <unistd.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "ProgramRequest.h"

namespace {

// No answer or no data for this long is a broken connection.
constexpr int StallMs = 30000;

// A server that ignores If-Range answers 206 for a new version too: where it
// sends a validator of the kind held, that names the version.
bool otherVersion(const QByteArray &validator, const QNetworkReply &reply)
{
    const bool tag = validator.startsWith('"') || validator.startsWith("W/");
    const QByteArray said = reply.rawHeader(tag ? "ETag" : "Last-Modified");
    return !validator.isEmpty() && !said.isEmpty() && said != validator;
}

// The whole length a 416 answer gives ("bytes */N"), else -1.
qint64 wholeLength(const QByteArray &contentRange)
{
    const QByteArray range = contentRange.trimmed();
    bool ok = false;
    const qint64 length = range.startsWith("bytes */") ? range.mid(8).toLongLong(&ok) : -1;
    return ok ? length : -1;
}

} // namespace

RangeFetch::RangeFetch(QNetworkAccessManager *network, Target target, QObject *parent)
    : QObject(parent)
    , m_target(std::move(target))
{
    // Only the download's own file: what stands at its name now may be
    // another's, or a link out of the folder.
    FileIdentity opened;
    const int fd = FileIdentity::openToAppend(m_target.partial, opened);
    const bool own = fd >= 0 && m_target.files.holds(opened);
    if (!own || !m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        QTimer::singleShot(0, this, [this] { end(Outcome::WriteError); });
        return;
    }
    m_bytes = m_file.size();
    if (m_target.total >= 0 && m_bytes >= m_target.total) {
        QTimer::singleShot(0, this, [this] { end(m_bytes == m_target.total ? Outcome::Complete : Outcome::Changed); });
        return;
    }
    QNetworkRequest request = programRequest(m_target.url, m_target.referer, m_target.userAgent, StallMs);
    request.setRawHeader("Range", "bytes=" + QByteArray::number(m_bytes) + '-');
    if (!m_target.validator.isEmpty())
        request.setRawHeader("If-Range", m_target.validator);
    sendProgramRequest(network, "GET", request, this, [this](QNetworkReply *reply) {
        m_reply = reply;
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &RangeFetch::onHeaders);
        connect(m_reply, &QNetworkReply::readyRead, this, &RangeFetch::onData);
        connect(m_reply, &QNetworkReply::finished, this, &RangeFetch::onFinished);
    });
}

RangeFetch::~RangeFetch()
{
    abort();
}

void RangeFetch::abort()
{
    m_ended = true;
    if (m_reply)
        dropReply(m_reply, this);
    m_reply.clear();
    m_file.close();
}

void RangeFetch::onHeaders()
{
    if (m_accepted || m_ended)
        return;
    m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_status == 0 || (m_status >= 300 && m_status < 400))
        return; // no final answer yet
    if (m_status == 206) {
        qint64 first = -1, total = -1;
        // Anything but the very next byte of the very same file would make a
        // file of two.
        if (!contentRange(m_reply->rawHeader("Content-Range"), first, total) || first != m_bytes
            || (m_target.total >= 0 && total >= 0 && total != m_target.total)
            || otherVersion(m_target.validator, *m_reply))
            return end(Outcome::Changed);
        if (m_target.total < 0)
            m_target.total = total;
        m_accepted = true;
        return;
    }
    if (m_status == 200) {
        // The validator no longer matched, or the server has no ranges.
        const QByteArray etag = m_reply->rawHeader("ETag");
        const QByteArray modified = m_reply->rawHeader("Last-Modified");
        const bool sameFile = m_target.validator == etag || m_target.validator == modified;
        return end(!sameFile && !(etag + modified).isEmpty() ? Outcome::Changed : Outcome::NoRanges);
    }
    if (m_status == 416) {
        // Nothing after the bytes held: complete only for a file that long.
        const qint64 length = wholeLength(m_reply->rawHeader("Content-Range"));
        return end((length >= 0 ? length : m_target.total) == m_bytes ? Outcome::Complete : Outcome::Changed);
    }
    if (m_status == 403 || m_status == 404 || m_status == 410)
        return end(Outcome::Expired);
    end(Outcome::Refused);
}

void RangeFetch::onData()
{
    if (!m_accepted || m_ended)
        return;
    const QByteArray data = m_reply->readAll();
    if (m_target.total >= 0 && m_bytes + data.size() > m_target.total)
        return end(Outcome::Changed);
    if (m_file.write(data) != data.size() || !m_file.flush())
        return end(Outcome::WriteError);
    m_bytes += data.size();
}

void RangeFetch::onFinished()
{
    if (m_ended)
        return;
    onHeaders();
    if (m_ended)
        return;
    onData();
    if (m_ended)
        return;
    if (m_reply->error() != QNetworkReply::NoError || !m_accepted)
        return end(Outcome::Broken);
    end(m_target.total < 0 || m_bytes == m_target.total ? Outcome::Complete : Outcome::Broken);
}

void RangeFetch::end(Outcome outcome)
{
    if (m_ended)
        return;
    abort();
    emit finished(outcome, m_status);
}
