#include "ServerStatusProbe.h"

#include <memory>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
constexpr int TimeoutMs = 5000;
} // namespace

void ServerStatusProbe::ask(const QUrl &url, qint64 from, const QObject *context, std::function<void(int)> done)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest look(url);
    look.setRawHeader("Range", "bytes=" + QByteArray::number(from) + '-');
    look.setTransferTimeout(TimeoutMs);
    QNetworkReply *reply = m_network->head(look);
    auto status = std::make_shared<int>(0);
    connect(reply, &QNetworkReply::metaDataChanged, reply,
            [reply, status] { *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); });
    connect(reply, &QNetworkReply::readyRead, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    connect(reply, &QNetworkReply::finished, context, [status, done = std::move(done)] { done(*status); });
}
