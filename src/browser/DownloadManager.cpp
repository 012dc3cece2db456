#include "DownloadManager.h"

#include "DownloadWidget.h"
#include "HiddenPage.h"
#include "UserGrant.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

namespace {

// 255 bytes per file name, less the engine's ".download" and room for " (n)".
constexpr qsizetype MaxNameBytes = 255 - 9 - 12;
// An extension longer than this is part of the name, not a type.
constexpr qsizetype MaxExtensionBytes = 32;
constexpr int SpaceCheckMs = 500;

qsizetype utf8Length(char32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

qsizetype utf8Length(QStringView s)
{
    qsizetype n = 0;
    for (const char32_t c : s.toUcs4())
        n += utf8Length(c);
    return n;
}

// Cuts name to maxBytes of UTF-8 in one pass, keeping a short extension and
// never splitting a character.
QString fitName(const QString &name, qsizetype maxBytes)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QStringView ext;
    if (dot > 0 && utf8Length(QStringView(name).mid(dot)) <= MaxExtensionBytes)
        ext = QStringView(name).mid(dot);
    const QStringView base = QStringView(name).left(name.size() - ext.size());
    qsizetype budget = maxBytes - utf8Length(ext);
    QString out;
    for (qsizetype i = 0; i < base.size();) {
        const char32_t c = base[i].isHighSurrogate() && i + 1 < base.size()
            ? QChar::surrogateToUcs4(base[i], base[i + 1]) : base[i].unicode();
        const qsizetype units = c > 0xffff ? 2 : 1;
        budget -= utf8Length(c);
        if (budget < 0)
            break;
        out += base.mid(i, units);
        i += units;
    }
    out += ext;
    return out;
}

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(qMax<qint64>(0, bytes));
}

QString folderText(const QString &directory)
{
    return QDir::toNativeSeparators(directory);
}

QString noSpaceText(qint64 total, const QString &directory, qint64 available)
{
    return QStringLiteral("磁盘空间不足：文件有 %1，%2 只剩 %3")
        .arg(total > 0 ? sizeText(total) : QStringLiteral("未知大小"), folderText(directory), sizeText(available));
}

} // namespace

DownloadManager::DownloadManager(QWebEngineProfile *profile, QObject *parent)
    : QObject(parent)
{
    // Direct connection: the request must be accepted inside the signal, or
    // the engine drops it.
    connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadManager::onDownloadRequested,
            Qt::DirectConnection);
    m_spaceWatch.setInterval(SpaceCheckMs);
    connect(&m_spaceWatch, &QTimer::timeout, this, qOverload<>(&DownloadManager::checkSpace));
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

qint64 DownloadManager::freeSpace(const QString &directory) const
{
    if (m_freeSpace)
        return m_freeSpace(directory);
    return QStorageInfo(directory).bytesAvailable();
}

QString DownloadManager::sanitizeFileName(const QString &suggested)
{
    // Only the last path component counts, whichever separator the site used.
    qsizetype start = 0;
    for (qsizetype i = 0; i < suggested.size(); ++i) {
        if (suggested[i] == QLatin1Char('/') || suggested[i] == QLatin1Char('\\'))
            start = i + 1;
    }
    // Control and format characters go: a right-to-left override would show
    // "invoice\u202Etxt.desktop" as "invoicepotksed.txt".
    QString clean;
    clean.reserve(suggested.size() - start);
    for (qsizetype i = start; i < suggested.size(); ++i) {
        const QChar c = suggested[i];
        if (c.isSurrogate()) {
            if (c.isHighSurrogate() && i + 1 < suggested.size() && suggested[i + 1].isLowSurrogate()) {
                const char32_t ucs = QChar::surrogateToUcs4(c, suggested[i + 1]);
                if (QChar::category(ucs) != QChar::Other_Format)
                    clean += QStringView(suggested).mid(i, 2);
                ++i;
            }
            continue; // an unpaired half has no file-system form
        }
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            continue;
        default:
            break;
        }
        clean += QStringLiteral("<>:\"|?*").contains(c) ? QLatin1Char('_') : c;
    }
    clean = clean.trimmed();
    // No hidden ".." tricks and no names that are only dots.
    qsizetype dots = 0;
    while (dots < clean.size() && clean[dots] == QLatin1Char('.'))
        ++dots;
    clean.remove(0, dots);
    qsizetype end = clean.size();
    while (end > 0 && (clean[end - 1] == QLatin1Char('.') || clean[end - 1].isSpace()))
        --end;
    clean.truncate(end);
    if (clean.isEmpty())
        clean = QStringLiteral("download");
    // A desktop would run a saved launcher when it is opened.
    if (clean.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive))
        clean += QStringLiteral(".txt");
    return fitName(clean, MaxNameBytes);
}

QString DownloadManager::reserveFile(const QString &directory, const QString &name)
{
    // The number goes before the extension; ".tar.gz" counts as one.
    qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot > 0 && name.left(dot).endsWith(QLatin1String(".tar"), Qt::CaseInsensitive))
        dot -= 4;
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    const QDir dir(directory);
    for (int n = 0; n < 100000; ++n) {
        const QString path = dir.filePath(n == 0 ? name : QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(ext));
        if (QFileInfo::exists(path + QStringLiteral(".download")))
            continue;
        // Created exclusively, so another program (or another instance of
        // this one) saving the same name can never write over it.
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!QFileInfo::exists(path))
            return {};
    }
    return {};
}

void DownloadManager::refuse(QWebEngineDownloadRequest *request, const QString &reason)
{
    request->cancel();
    emit downloadFailed(QString(), reason);
    if (m_widgetsVisible) {
        auto *widget = new DownloadWidget(sanitizeFileName(request->suggestedFileName()));
        m_widgets.removeAll(nullptr);
        m_widgets.append(widget);
        widget->setFinished(false, reason);
        widget->show();
    }
}

void DownloadManager::onDownloadRequested(QWebEngineDownloadRequest *request)
{
    if (request->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;

    // The engine retrying a dropped download asks again under the same id,
    // with our folder and name forgotten: keep them, and follow the new
    // request object.
    for (Entry *entry : std::as_const(m_running)) {
        if (entry->request && entry->request->id() == request->id() && entry->request != request) {
            entry->request->disconnect(this);
            const QFileInfo target(entry->path);
            request->setDownloadDirectory(target.absolutePath());
            request->setDownloadFileName(target.fileName());
            request->accept();
            watch(entry, request);
            return;
        }
    }

    // Only a download that the user's own action in that page paid for.
    auto *page = qobject_cast<HiddenPage *>(request->page());
    if (!page || !page->grant().take(UserGrant::Download)) {
        Refusals::note("download", request->url().toString());
        request->cancel();
        return;
    }

    // The same address already downloading: the user asked again, so show
    // that one instead of starting it twice.
    for (Entry *entry : std::as_const(m_running)) {
        if (entry->url == request->url()) {
            request->cancel();
            if (entry->widget && m_widgetsVisible)
                entry->widget->bringForward();
            return;
        }
    }

    const QString directory = downloadDirectory();
    if (!QDir().mkpath(directory)) {
        refuse(request, QStringLiteral("无法写入下载文件夹：%1").arg(folderText(directory)));
        return;
    }
    // Mostly the size is known only later; checkSpace() stops it then.
    const qint64 announced = request->totalBytes();
    const qint64 available = freeSpace(directory) - SpareBytes;
    if (announced > 0 && announced > available) {
        refuse(request, noSpaceText(announced, directory, available));
        return;
    }
    QString suggested = request->suggestedFileName();
    if (suggested.isEmpty())
        suggested = request->downloadFileName();
    if (suggested.isEmpty())
        suggested = request->url().fileName();
    const QString path = reserveFile(directory, sanitizeFileName(suggested));
    if (path.isEmpty()) {
        refuse(request, QStringLiteral("无法写入下载文件夹：%1").arg(folderText(directory)));
        return;
    }

    request->setDownloadDirectory(directory);
    request->setDownloadFileName(QFileInfo(path).fileName());
    request->accept();

    auto *entry = new Entry;
    entry->request = request;
    entry->url = request->url();
    entry->path = path;
    entry->widget = new DownloadWidget(entry->path);
    m_widgets.removeAll(nullptr);
    m_widgets.append(entry->widget);
    const auto transferring = std::count_if(m_running.cbegin(), m_running.cend(),
                                            [](const Entry *e) { return !e->queued; });
    entry->queued = transferring >= MaxRunning;
    if (entry->queued)
        request->pause();
    m_running.append(entry);
    m_spaceWatch.start();

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
    // The engine learns the size only once the answer arrives, mostly
    // after the request was accepted.
    connect(request, &QWebEngineDownloadRequest::totalBytesChanged, this, [this, entry] { checkSpace(entry); });
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

void DownloadManager::checkSpace()
{
    if (m_running.isEmpty()) {
        m_spaceWatch.stop();
        return;
    }
    const QList<Entry *> running = m_running;
    for (Entry *entry : running) {
        if (m_running.contains(entry))
            checkSpace(entry);
    }
}

void DownloadManager::checkSpace(Entry *entry)
{
    // A download stops before it would leave less than the reserve free:
    // what it still announces must fit, and what it writes must not outgrow
    // the disk. A waiting one takes no room yet.
    if (!m_running.contains(entry) || !entry->request || entry->queued)
        return;
    const QString directory = QFileInfo(entry->path).absolutePath();
    const qint64 total = entry->request->totalBytes();
    const qint64 remaining = total > 0 ? qMax<qint64>(0, total - entry->request->receivedBytes()) : 0;
    const qint64 available = freeSpace(directory) - SpareBytes;
    if (available >= remaining && available >= 0)
        return;
    finish(entry, false, noSpaceText(total, directory, available));
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
    if (!ok)
        emit downloadFailed(path, message);
    emit downloadFinished(path, ok);
    startQueued();
}

void DownloadManager::startQueued()
{
    qsizetype transferring = 0;
    for (Entry *entry : std::as_const(m_running)) {
        if (!entry->queued)
            ++transferring;
    }
    for (Entry *entry : std::as_const(m_running)) {
        if (transferring >= MaxRunning)
            return;
        if (entry->queued && entry->request) {
            entry->queued = false;
            entry->request->resume();
            ++transferring;
        }
    }
}

void DownloadManager::removePartial(const QString &path)
{
    // The engine writes to "<name>.download" until the download completes;
    // the name itself was reserved empty.
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
