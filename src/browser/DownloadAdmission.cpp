#include "DownloadAdmission.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadRequest>

#include "DownloadFolder.h"
#include "FileNames.h"
#include "HiddenPage.h"
#include "Refusals.h"
#include "StopReason.h"

DownloadAdmission::DownloadAdmission(const DownloadFolder &folder)
    : m_folder(folder)
{ }

HiddenPage *DownloadAdmission::payingPage(QWebEngineDownloadRequest *request)
{
    auto *page = qobject_cast<HiddenPage *>(request->page());
    if (page && page->takeDownload())
        return page;
    Refusals::note("download", request->url().toString());
    request->cancel();
    return nullptr;
}

DownloadAdmission::Decision DownloadAdmission::decide(QWebEngineDownloadRequest *request) const
{
    const QString directory = m_folder.path();
    if (!QDir().mkpath(directory))
        return {.refusal = StopReason::unwritableText(directory)};
    // Mostly the size is known only later; the manager's space watch stops
    // it then.
    const qint64 announced = request->totalBytes();
    const qint64 room = m_folder.room(directory);
    if (announced > 0 && announced > room)
        return {.refusal = StopReason::noSpaceText(announced, directory, room)};
    QString suggested = request->suggestedFileName();
    if (suggested.isEmpty())
        suggested = request->downloadFileName();
    if (suggested.isEmpty())
        suggested = request->url().fileName();
    const QString name = FileNames::sanitize(suggested);
    const QString path = DownloadFolder::reserveFile(directory, name);
    if (path.isEmpty())
        return {.refusal = StopReason::unwritableText(directory)};
    return {.path = path, .wanted = name, .announced = announced};
}

void DownloadAdmission::accept(QWebEngineDownloadRequest *request, const Decision &decision)
{
    const QFileInfo target(decision.path);
    request->setDownloadDirectory(target.absolutePath());
    request->setDownloadFileName(target.fileName());
    request->accept();
}
