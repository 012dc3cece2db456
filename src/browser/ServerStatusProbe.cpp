#include "ServerStatusProbe.h"

#include <memory>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
constexpr int TimeoutMs = 5000;
} // namespace

QNetworkAccessManager *ServerStatusProbe::network()
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    return m_network;
}

void ServerStatusProbe::ask(const QUrl &url, qint64 from, const QObject *context, std::function<void(int)> done)
{
    QNetworkRequest look(url);
    look.setRawHeader("Range", "bytes=" + QByteArray::number(from) + '-');
    look.setTransferTimeout(TimeoutMs);
    QNetworkReply *reply = network()->head(look);
    auto status = std::make_shared<int>(0);
    connect(reply, &QNetworkReply::metaDataChanged, reply,
            [reply, status] { *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); });
    connect(reply, &QNetworkReply::readyRead, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    connect(reply, &QNetworkReply::finished, context, [status, done = std::move(done)] { done(*status); });
}

void ServerStatusProbe::validators(const QUrl &url, const QUrl &referer, const QObject *context,
                                   std::function<void(const Validators &)> done)
{
    QNetworkRequest look(url);
    if (referer.isValid())
        look.setRawHeader("Referer", referer.toEncoded());
    look.setRawHeader("Accept-Encoding", "identity");
    look.setTransferTimeout(TimeoutMs);
    QNetworkReply *reply = network()->head(look);
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    connect(reply, &QNetworkReply::finished, context, [reply, done = std::move(done)] {
        Validators v;
        if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200) {
            v.etag = reply->rawHeader("ETag");
            // A weak tag names no exact bytes.
            if (v.etag.startsWith("W/"))
                v.etag.clear();
            v.modified = reply->rawHeader("Last-Modified");
            v.length = reply->header(QNetworkRequest::ContentLengthHeader).isValid()
                           ? reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()
                           : -1;
        }
        done(v);
    });
}
