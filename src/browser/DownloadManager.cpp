#include "DownloadManager.h"

#include "DownloadWidget.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStandardPaths>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

DownloadManager::DownloadManager(QWebEngineProfile *profile, QObject *parent)
    : QObject(parent)
{
    // Direct connection: the request must be accepted inside the signal, or
    // the engine drops it.
    connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadManager::onDownloadRequested,
            Qt::DirectConnection);
}

DownloadManager::~DownloadManager()
{
    cancelAll();
    for (const auto &widget : std::as_const(m_widgets))
        delete widget.data();
}

void DownloadManager::setDownloadDirectory(const QString &directory)
{
    m_directory = directory;
}

QString DownloadManager::downloadDirectory() const
{
    if (!m_directory.isEmpty())
        return m_directory;
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (dir.isEmpty())
        dir = QDir::homePath();
    return dir;
}

bool DownloadManager::hasRunningDownloads() const
{
    return !m_running.isEmpty();
}

QString DownloadManager::sanitizeFileName(const QString &suggested)
{
    // Only the last path component counts, whichever separator the site used.
    QString name = suggested;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name = name.section(QLatin1Char('/'), -1);
    QString clean;
    clean.reserve(name.size());
    for (const QChar c : std::as_const(name)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || QStringLiteral("<>:\"|?*").contains(c))
            clean += QLatin1Char('_');
        else
            clean += c;
    }
    clean = clean.trimmed();
    // No hidden ".." tricks and no names that are only dots.
    while (clean.startsWith(QLatin1Char('.')))
        clean.remove(0, 1);
    while (clean.endsWith(QLatin1Char('.')) || clean.endsWith(QLatin1Char(' ')))
        clean.chop(1);
    if (clean.isEmpty())
        clean = QStringLiteral("download");
    // Keep within the usual 255-byte file name limit.
    while (clean.toUtf8().size() > 200)
        clean.remove(clean.size() / 2, 1);
    return clean;
}

QString DownloadManager::uniqueFileName(const QString &directory, const QString &name,
                                        const QSet<QString> &reserved)
{
    const QDir dir(directory);
    auto taken = [&](const QString &candidate) {
        const QString path = dir.filePath(candidate);
        return QFileInfo::exists(path) || QFileInfo::exists(path + QStringLiteral(".download"))
            || reserved.contains(path);
    };
    if (!taken(name))
        return name;
    // The number goes before the extension; ".tar.gz" counts as one.
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && name.left(dot).endsWith(QLatin1String(".tar"), Qt::CaseInsensitive))
        dot -= 4;
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    for (int i = 1;; ++i) {
        const QString candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(i).arg(ext);
        if (!taken(candidate))
            return candidate;
    }
}

void DownloadManager::onDownloadRequested(QWebEngineDownloadRequest *request)
{
    if (request->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;

    for (Entry *entry : std::as_const(m_running)) {
        // The engine retrying a dropped download asks again under the same
        // id, with our folder and name forgotten: keep them, and follow the
        // new request object.
        if (entry->request && entry->request->id() == request->id() && entry->request != request) {
            entry->request->disconnect(this);
            const QFileInfo target(entry->path);
            request->setDownloadDirectory(target.absolutePath());
            request->setDownloadFileName(target.fileName());
            request->accept();
            watch(entry, request);
            return;
        }
        // The same address already downloading: show that one instead.
        if (entry->url == request->url()) {
            request->cancel();
            if (entry->widget && m_widgetsVisible)
                entry->widget->bringForward();
            return;
        }
    }

    const QString directory = downloadDirectory();
    QDir().mkpath(directory);
    QString suggested = request->suggestedFileName();
    if (suggested.isEmpty())
        suggested = request->downloadFileName();
    if (suggested.isEmpty())
        suggested = request->url().fileName();
    QSet<QString> reserved;
    for (const Entry *entry : std::as_const(m_running))
        reserved.insert(entry->path);
    const QString name = uniqueFileName(directory, sanitizeFileName(suggested), reserved);

    request->setDownloadDirectory(directory);
    request->setDownloadFileName(name);
    request->accept();

    auto *entry = new Entry;
    entry->request = request;
    entry->url = request->url();
    entry->path = QDir(directory).filePath(name);
    entry->widget = new DownloadWidget(entry->path);
    m_widgets.removeAll(nullptr);
    m_widgets.append(entry->widget);
    m_running.append(entry);

    connect(entry->widget, &DownloadWidget::cancelRequested, this, [this, entry] {
        if (m_running.contains(entry) && entry->request)
            entry->request->cancel();
        if (m_running.contains(entry))
            finish(entry, false, QStringLiteral("已取消"));
    });
    watch(entry, request);

    if (m_widgetsVisible)
        entry->widget->show();
    emit downloadStarted(entry->path);
    onStateChanged(entry); // a tiny file may already be complete
}

void DownloadManager::watch(Entry *entry, QWebEngineDownloadRequest *request)
{
    entry->request = request;
    connect(request, &QWebEngineDownloadRequest::receivedBytesChanged, this, [entry] {
        if (entry->widget && entry->request)
            entry->widget->setProgress(entry->request->receivedBytes(), entry->request->totalBytes());
    });
    connect(request, &QWebEngineDownloadRequest::stateChanged, this, [this, entry] { onStateChanged(entry); });
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, entry] { onStateChanged(entry); });
}

void DownloadManager::onStateChanged(Entry *entry)
{
    if (!m_running.contains(entry) || !entry->request)
        return;
    switch (entry->request->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        finish(entry, true, QString());
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        finish(entry, false, QStringLiteral("已取消"));
        break;
    case QWebEngineDownloadRequest::DownloadInterrupted:
        finish(entry, false, entry->request->interruptReasonString());
        break;
    default:
        break;
    }
}

void DownloadManager::finish(Entry *entry, bool ok, const QString &message)
{
    m_running.removeAll(entry);
    const QString path = entry->path;
    if (!ok)
        removePartial(path);
    if (QWebEngineDownloadRequest *request = entry->request) {
        request->disconnect(this);
        if (ok || request->isFinished()) {
            // Done requests are of no more use; the profile would keep them.
            request->deleteLater();
        } else {
            // Cancelled by us and not yet wound down, or interrupted (which
            // the engine keeps for resuming): cancel for good, release the
            // request when the engine is done, and sweep the partial file
            // once more then.
            connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [request, path] {
                removePartial(path);
                request->deleteLater();
            });
            if (request->state() != QWebEngineDownloadRequest::DownloadCancelled)
                request->cancel();
        }
    }
    if (entry->widget) {
        if (ok && entry->request)
            entry->widget->setProgress(entry->request->receivedBytes(), entry->request->totalBytes());
        entry->widget->setFinished(ok, message);
        // Nobody can close a window that is never shown.
        if (!m_widgetsVisible)
            entry->widget->deleteLater();
    }
    delete entry;
    emit downloadFinished(path, ok);
}

void DownloadManager::removePartial(const QString &path)
{
    // The engine writes to "<name>.download" until the download completes.
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".download"));
}

void DownloadManager::cancelAll()
{
    const QList<Entry *> running = m_running;
    for (Entry *entry : running) {
        if (entry->request)
            entry->request->cancel();
        if (m_running.contains(entry))
            finish(entry, false, QStringLiteral("已取消"));
    }
}

bool DownloadManager::confirmQuit(QWidget *parent)
{
    if (!hasRunningDownloads())
        return true;
    const auto answer = QMessageBox::question(parent, QStringLiteral("下载"),
                                              QStringLiteral("有下载正在进行，是否停止下载并退出？"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return false;
    cancelAll();
    return true;
}
