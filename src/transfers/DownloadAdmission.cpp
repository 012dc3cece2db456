#include "DownloadAdmission.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>

#include "DownloadFolder.h"
#include "FileNames.h"
#include "HiddenPage.h"
#include "PartialSweep.h"
#include "Refusals.h"
#include "StopReason.h"

DownloadAdmission::DownloadAdmission(const DownloadFolder &folder, const PartialSweep &leftovers)
    : m_folder(folder)
    , m_leftovers(leftovers)
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

DownloadAdmission::Decision DownloadAdmission::decide(QWebEngineDownloadRequest *request, const QString &charset) const
{
    QString suggested = request->suggestedFileName();
    if (suggested.isEmpty())
        suggested = request->downloadFileName();
    if (suggested.isEmpty())
        suggested = request->url().fileName();
    const QByteArray addressName
        = QByteArray::fromPercentEncoding(request->url().fileName(QUrl::FullyEncoded).toLatin1());
    const QString name = FileNames::sanitize(FileNames::siteName(suggested, addressName, charset));
    const QString directory = m_folder.path();
    if (!QDir().mkpath(directory))
        return {.wanted = name, .refusal = StopReason::unwritableText(directory)};
    // Mostly the size is known only later; the manager's space watch stops
    // it then.
    const qint64 announced = request->totalBytes();
    const qint64 free = m_folder.freeSpace(directory);
    if (announced > 0 && announced > free - DownloadFolder::SpareBytes)
        return {.wanted = name, .refusal = StopReason::noSpaceText(announced, directory, free)};
    const DownloadFolder::Reservation reserved = DownloadFolder::reserveFile(directory, name, m_leftovers.paths());
    if (reserved.path.isEmpty())
        return {.wanted = name, .refusal = StopReason::unwritableText(directory)};
    return {.path = reserved.path, .reserved = reserved.reserved, .wanted = name, .announced = announced};
}

void DownloadAdmission::accept(QWebEngineDownloadRequest *request, const Decision &decision)
{
    // Saved under its partial name, and moved to its own once complete.
    const QFileInfo target(DownloadFolder::reservedPath(decision.path));
    request->setDownloadDirectory(target.absolutePath());
    request->setDownloadFileName(target.fileName());
    request->accept();
}
