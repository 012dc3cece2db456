#include "EngineDownload.h"

#include <QFileInfo>
#include <QWebEngineDownloadRequest>

#include "StopReason.h"

namespace {

// The codes are Chromium's, which the engine passes on.
constexpr bool sameCode(StopReason::Code ours, QWebEngineDownloadRequest::DownloadInterruptReason engine)
{
    return int(ours) == int(engine);
}
using R = QWebEngineDownloadRequest;
static_assert(sameCode(StopReason::FileNoSpace, R::FileNoSpace) && sameCode(StopReason::NetworkFailed, R::NetworkFailed)
              && sameCode(StopReason::NetworkServerDown, R::NetworkServerDown)
              && sameCode(StopReason::ServerFailed, R::ServerFailed)
              && sameCode(StopReason::ServerBadContent, R::ServerBadContent)
              && sameCode(StopReason::ServerUnreachable, R::ServerUnreachable)
              && sameCode(StopReason::UserCanceled, R::UserCanceled));

} // namespace

WebEngineDownload::WebEngineDownload(QWebEngineDownloadRequest *request)
    : EngineDownload(request)
    , m_request(request)
{
    connect(request, &QWebEngineDownloadRequest::stateChanged, this, &EngineDownload::stateChanged);
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, &EngineDownload::finishedChanged);
    connect(request, &QWebEngineDownloadRequest::totalBytesChanged, this, &EngineDownload::totalBytesChanged);
    connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, this, &EngineDownload::receivedBytesChanged);
}

quint32 WebEngineDownload::id() const
{
    return m_request->id();
}

EngineDownload::State WebEngineDownload::state() const
{
    switch (m_request->state()) {
    case QWebEngineDownloadRequest::DownloadRequested:
        return State::Requested;
    case QWebEngineDownloadRequest::DownloadInProgress:
        return State::InProgress;
    case QWebEngineDownloadRequest::DownloadCompleted:
        return State::Completed;
    case QWebEngineDownloadRequest::DownloadCancelled:
        return State::Cancelled;
    case QWebEngineDownloadRequest::DownloadInterrupted:
        break;
    }
    return State::Interrupted;
}

bool WebEngineDownload::isFinished() const
{
    return m_request->isFinished();
}

qint64 WebEngineDownload::receivedBytes() const
{
    return m_request->receivedBytes();
}

qint64 WebEngineDownload::totalBytes() const
{
    return m_request->totalBytes();
}

int WebEngineDownload::interruptReason() const
{
    return m_request->interruptReason();
}

QUrl WebEngineDownload::url() const
{
    return m_request->url();
}

QString WebEngineDownload::mimeType() const
{
    return m_request->mimeType();
}

QString WebEngineDownload::suggestedFileName() const
{
    QString name = m_request->suggestedFileName();
    if (name.isEmpty())
        name = m_request->downloadFileName();
    return name.isEmpty() ? m_request->url().fileName() : name;
}

void WebEngineDownload::accept(const QString &path)
{
    const QFileInfo target(path);
    m_request->setDownloadDirectory(target.absolutePath());
    m_request->setDownloadFileName(target.fileName());
    m_request->accept();
}

void WebEngineDownload::pause()
{
    m_request->pause();
}

void WebEngineDownload::resume()
{
    m_request->resume();
}

void WebEngineDownload::cancel()
{
    m_request->cancel();
}

void WebEngineDownload::release()
{
    m_request->deleteLater();
}
