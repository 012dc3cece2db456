#include "DownloadAdmission.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>

#include "DownloadFolder.h"
#include "EngineDownload.h"
#include "FileNames.h"
#include "HiddenPage.h"
#include "Refusals.h"
#include "StopReason.h"

DownloadAdmission::DownloadAdmission(const DownloadFolder &folder)
    : m_folder(folder)
{ }

HiddenPage *DownloadAdmission::payingPage(QWebEngineDownloadRequest *request)
{
    auto *window = qobject_cast<DownloadWindow *>(request->page());
    auto *page = window ? window->opener() : qobject_cast<HiddenPage *>(request->page());
    if (page && page->takeDownload()) {
        if (window)
            window->deleteLater();
        return page;
    }
    Refusals::note("download", request->url().toString());
    request->cancel();
    return nullptr;
}

DownloadAdmission::Decision DownloadAdmission::decide(const EngineDownload *request, const QString &charset,
                                                      const QStringList &busy) const
{
    const QString suggested = request->suggestedFileName();
    const QByteArray addressName
        = QByteArray::fromPercentEncoding(request->url().fileName(QUrl::FullyEncoded).toLatin1());
    const QString name = FileNames::sanitize(FileNames::siteName(suggested, addressName, charset));
    const QString directory = m_folder.path();
    // The desktop's folder is made where it is missing. A chosen one that has
    // gone (a disk or a share no longer mounted) is not made again where it
    // was: its downloads would lie hidden beneath it once it is back.
    if (!(m_folder.isChosen() ? QFileInfo(directory).isDir() : QDir().mkpath(directory)))
        return {.wanted = name, .refusal = StopReason::unwritableText(directory)};
    // Mostly the size is known only later; the transfer's space watch stops
    // it then.
    const qint64 announced = request->totalBytes();
    if (const QString full = m_folder.noRoom(directory, announced, 0); !full.isEmpty())
        return {.wanted = name, .refusal = full};
    const DownloadFolder::Reservation reserved = DownloadFolder::reserveFile(directory, name, busy);
    if (reserved.path.isEmpty())
        return {.wanted = name, .refusal = StopReason::unwritableText(directory)};
    return {.path = reserved.path, .reserved = reserved.reserved, .wanted = name, .announced = announced};
}

void DownloadAdmission::accept(EngineDownload *request, const Decision &decision)
{
    // Saved under its partial name, and moved to its own once complete.
    request->accept(DownloadFolder::reservedPath(decision.path));
}
