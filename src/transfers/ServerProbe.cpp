#include "ServerProbe.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "ProgramRequest.h"

namespace {

constexpr int TimeoutMs = 5000;

// What a 200 to HEAD, or a 206 or 200 to a ranged GET, says of the file.
ServerProbe::Validators validatorsOf(const QNetworkReply *reply)
{
    ServerProbe::Validators v;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200 && status != 206)
        return v;
    v.etag = reply->rawHeader("ETag");
    // A weak tag names no exact bytes.
    if (v.etag.startsWith("W/"))
        v.etag.clear();
    v.modified = reply->rawHeader("Last-Modified");
    v.disposition = reply->rawHeader("Content-Disposition");
    if (status == 206) {
        qint64 first = 0; // the length stays -1 where the range says none
        contentRange(reply->rawHeader("Content-Range"), first, v.length);
    } else if (reply->header(QNetworkRequest::ContentLengthHeader).isValid()) {
        v.length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    }
    return v;
}

} // namespace

ServerProbe::ServerProbe(QNetworkAccessManager *network, QByteArray userAgent, QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_userAgent(std::move(userAgent))
{ }

void ServerProbe::ask(const QUrl &url, qint64 from, const QUrl &referer, const QObject *context,
                      std::function<void(int)> done)
{
    QNetworkRequest look = programRequest(url, referer, m_userAgent, TimeoutMs);
    look.setRawHeader("Range", "bytes=" + QByteArray::number(from) + '-');
    sendProgramRequest(m_network, "HEAD", look, context, [context, done = std::move(done)](QNetworkReply *reply) {
        connect(reply, &QNetworkReply::finished, context, [reply, done] {
            // A server that knows no HEAD says nothing of the download.
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            done(status == 405 || status == 501 ? 0 : status);
        });
    });
}

void ServerProbe::validators(const QUrl &url, const QUrl &referer, const QObject *context,
                             std::function<void(const Validators &)> done)
{
    const QNetworkRequest look = programRequest(url, referer, m_userAgent, TimeoutMs);
    sendProgramRequest(m_network, "HEAD", look, context, [this, look, context, done](QNetworkReply *reply) {
        connect(reply, &QNetworkReply::finished, context, [this, reply, look, context, done] {
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            // No answer at all is not worth a second question.
            if (status == 200 || status == 0)
                done(validatorsOf(reply));
            else
                firstByte(look, context, done);
        });
    });
}

void ServerProbe::firstByte(const QNetworkRequest &request, const QObject *context,
                            std::function<void(const Validators &)> done)
{
    QNetworkRequest look(request);
    look.setRawHeader("Range", "bytes=0-0");
    sendProgramRequest(m_network, "GET", look, context, [context, done = std::move(done)](QNetworkReply *reply) {
        // The headers are all it takes; a server that ignores the range would
        // send the whole file.
        connect(reply, &QNetworkReply::metaDataChanged, context, [reply, context, done] {
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() < 200)
                return;
            const Validators answer = validatorsOf(reply);
            dropReply(reply, context);
            done(answer);
        });
        // No headers at all.
        connect(reply, &QNetworkReply::finished, context, [done] { done({}); });
    });
}
