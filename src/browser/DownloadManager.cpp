#include "DownloadManager.h"

#include <memory>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

#include "DownloadList.h"
#include "HiddenPage.h"
#include "UserGrant.h"

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
                               ? QChar::surrogateToUcs4(base[i], base[i + 1])
                               : base[i].unicode();
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

QString folderText(const QString &directory)
{
    return QDir::toNativeSeparators(directory);
}

QString noSpaceText(qint64 total, const QString &directory, qint64 available)
{
    return QStringLiteral("磁盘空间不足：文件有 %1，%2 只剩 %3")
        .arg(total > 0 ? DownloadEntry::bytesText(total) : QStringLiteral("未知大小"), folderText(directory),
             DownloadEntry::bytesText(available));
}

QString unwritableText(const QString &directory)
{
    return QStringLiteral("无法写入下载文件夹：%1").arg(folderText(directory));
}

} // namespace

DownloadManager::DownloadManager(QWebEngineProfile *profile, QObject *parent)
    : QObject(parent)
    , m_profile(profile)
{
    // Direct connection: the request must be accepted inside the signal, or
    // the engine drops it.
    connect(profile, &QWebEngineProfile::downloadRequested, this, &DownloadManager::onDownloadRequested,
            Qt::DirectConnection);
    m_spaceWatch.setInterval(SpaceCheckMs);
    connect(&m_spaceWatch, &QTimer::timeout, this, qOverload<>(&DownloadManager::checkSpace));
    // Progress is read on a clock rather than per received chunk: the
    // engine's own work shares this thread.
    m_progress.setInterval(ProgressMs);
    connect(&m_progress, &QTimer::timeout, this, &DownloadManager::sample);
    m_clock.start();
}

DownloadManager::~DownloadManager()
{
    cancelAll();
    delete m_list.data();
    delete m_retryPage;
    qDeleteAll(m_entries);
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
    return std::any_of(m_entries.cbegin(), m_entries.cend(), [](const Entry *e) { return e->view.isUnfinished(); });
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

QString DownloadManager::reasonText(int interruptReason, const QString &folder, int httpStatus)
{
    using R = QWebEngineDownloadRequest;
    switch (interruptReason) {
    case R::FileNoSpace:
        return QStringLiteral("磁盘空间不足：%1").arg(folderText(folder));
    case R::FileAccessDenied:
    case R::FileFailed:
    case R::FileNameTooLong:
    case R::FileTooLarge:
    case R::FileTransientError:
    case R::FileTooShort:
    case R::FileHashMismatch:
        return unwritableText(folder);
    case R::FileVirusInfected:
    case R::FileBlocked:
    case R::FileSecurityCheckFailed:
        return QStringLiteral("文件被系统拦截");
    case R::NetworkFailed:
    case R::NetworkTimeout:
    case R::NetworkDisconnected:
    case R::NetworkServerDown:
    case 38: // the server sent less than it announced: the connection broke
        return QStringLiteral("网络连接中断");
    case R::NetworkInvalidRequest:
        return QStringLiteral("下载地址无效");
    case R::ServerFailed:
    case R::ServerBadContent:
    case R::ServerUnauthorized:
    case R::ServerCertProblem:
    case R::ServerForbidden:
    case R::ServerUnreachable:
    case 31: // the server would not continue from where it stopped
        if (httpStatus > 0)
            return QStringLiteral("服务器拒绝了下载（HTTP %1）").arg(httpStatus);
        if (interruptReason == R::ServerUnauthorized)
            return QStringLiteral("服务器拒绝了下载（HTTP 401）");
        if (interruptReason == R::ServerForbidden)
            return QStringLiteral("服务器拒绝了下载（HTTP 403）");
        if (interruptReason == R::ServerCertProblem)
            return QStringLiteral("服务器证书有问题");
        return QStringLiteral("服务器拒绝了下载");
    case R::UserCanceled:
        return QStringLiteral("已取消");
    default:
        return QStringLiteral("下载中断");
    }
}

DownloadList *DownloadManager::list()
{
    if (!m_list)
        m_list = new DownloadList(this);
    return m_list;
}

QList<DownloadEntry> DownloadManager::entries() const
{
    QList<DownloadEntry> out;
    for (const Entry *e : m_entries)
        out << e->view;
    return out;
}

DownloadEntry DownloadManager::entry(int id) const
{
    const Entry *e = find(id);
    return e ? e->view : DownloadEntry {};
}

DownloadManager::Entry *DownloadManager::find(int id) const
{
    for (Entry *e : m_entries) {
        if (e->view.id == id)
            return e;
    }
    return nullptr;
}

DownloadManager::Entry *DownloadManager::addEntry(DownloadEntry::State state, const QString &name, const QUrl &url)
{
    auto *entry = new Entry;
    entry->view.id = m_nextId++;
    entry->view.state = state;
    entry->view.name = name;
    entry->view.url = url;
    m_entries.append(entry);
    emit entryAdded(entry->view.id);
    if (m_widgetsVisible)
        list()->showWithoutFocus();
    return entry;
}

int DownloadManager::addNothingCame(const QString &title, const QUrl &page, const QString &reason)
{
    Entry *entry = addEntry(DownloadEntry::State::NothingCame, title, page);
    entry->view.reason = reason;
    emit entryChanged(entry->view.id);
    return entry->view.id;
}

void DownloadManager::setState(Entry *entry, DownloadEntry::State state, const QString &reason)
{
    entry->view.state = state;
    entry->view.reason = reason;
    if (state != DownloadEntry::State::Running)
        entry->view.bytesPerSecond = 0;
    emit entryChanged(entry->view.id);
}

void DownloadManager::refuse(QWebEngineDownloadRequest *request, Entry *retried, const QString &reason)
{
    request->cancel();
    Entry *entry = retried ? retried
                           : addEntry(DownloadEntry::State::Failed, sanitizeFileName(request->suggestedFileName()),
                                      request->url());
    entry->view.path.clear();
    setState(entry, DownloadEntry::State::Failed, reason);
    emit downloadFailed(QString(), reason);
}

void DownloadManager::onDownloadRequested(QWebEngineDownloadRequest *request)
{
    if (request->state() != QWebEngineDownloadRequest::DownloadRequested)
        return;

    // The engine resuming a download (by itself or for 继续) asks again
    // under the same id, with our folder and name forgotten: keep them, and
    // follow the new request object.
    for (Entry *entry : std::as_const(m_entries)) {
        if (entry->request && entry->request->id() == request->id() && entry->request != request) {
            entry->request->disconnect(this);
            const QFileInfo target(entry->view.path);
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

    // 重试 of an entry that ended: the same entry starts again.
    Entry *retried = nullptr;
    if (page == m_retryPage) {
        for (Entry *entry : std::as_const(m_retrying)) {
            if (entry->view.url == request->url()) {
                retried = entry;
                break;
            }
        }
        m_retrying.removeAll(retried);
    }

    // The same address already downloading: the user asked again, so show
    // that one instead of starting it twice.
    for (Entry *entry : std::as_const(m_entries)) {
        if (entry != retried && entry->request && isActive(entry) && entry->view.url == request->url()) {
            request->cancel();
            if (m_widgetsVisible)
                list()->showWithoutFocus();
            return;
        }
    }

    const QString directory = downloadDirectory();
    if (!QDir().mkpath(directory)) {
        refuse(request, retried, unwritableText(directory));
        return;
    }
    // Mostly the size is known only later; checkSpace() stops it then.
    const qint64 announced = request->totalBytes();
    const qint64 available = freeSpace(directory) - SpareBytes;
    if (announced > 0 && announced > available) {
        refuse(request, retried, noSpaceText(announced, directory, available));
        return;
    }
    QString suggested = request->suggestedFileName();
    if (suggested.isEmpty())
        suggested = request->downloadFileName();
    if (suggested.isEmpty())
        suggested = request->url().fileName();
    const QString name = sanitizeFileName(suggested);
    const QString path = reserveFile(directory, name);
    if (path.isEmpty()) {
        refuse(request, retried, unwritableText(directory));
        return;
    }

    request->setDownloadDirectory(directory);
    request->setDownloadFileName(QFileInfo(path).fileName());
    request->accept();

    Entry *entry = retried ? retried : addEntry(DownloadEntry::State::Running, QString(), request->url());
    entry->view.name = QFileInfo(path).fileName();
    entry->view.path = path;
    entry->view.received = 0;
    entry->view.total = announced;
    entry->userCancelled = false;
    entry->autoResumed = false;
    entry->existing.clear();
    entry->copyDone = false;
    entry->sampledBytes = 0;
    entry->sampledMs = m_clock.elapsed();
    watch(entry, request);

    // A file of this name already there: compared once the size is known.
    if (QFileInfo(path).fileName() != name)
        entry->existing = QDir(directory).filePath(name);
    if (alreadyThere(entry)) {
        // handled
    } else {
        const auto transferring = std::count_if(m_entries.cbegin(), m_entries.cend(), [entry](const Entry *e) {
            return e != entry && e->view.state == DownloadEntry::State::Running;
        });
        if (transferring >= MaxRunning) {
            request->pause();
            setState(entry, DownloadEntry::State::Waiting);
        } else {
            setState(entry, DownloadEntry::State::Running);
        }
    }
    m_spaceWatch.start();
    m_progress.start();
    emit downloadStarted(entry->view.path);
    onStateChanged(entry); // a tiny file may already be complete
}

void DownloadManager::watch(Entry *entry, QWebEngineDownloadRequest *request)
{
    entry->request = request;
    connect(request, &QWebEngineDownloadRequest::stateChanged, this, [this, entry] { onStateChanged(entry); });
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, entry] { onStateChanged(entry); });
    // The size comes with the server's answer, once; not per chunk.
    connect(request, &QWebEngineDownloadRequest::totalBytesChanged, this, [this, entry] {
        checkSpace(entry);
        if (entry->view.state == DownloadEntry::State::Running || entry->view.state == DownloadEntry::State::Waiting)
            alreadyThere(entry);
    });
}

bool DownloadManager::isActive(const Entry *entry) const
{
    return entry->view.isUnfinished();
}

void DownloadManager::onStateChanged(Entry *entry)
{
    if (!m_entries.contains(entry) || !entry->request || !isActive(entry))
        return;
    switch (entry->request->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted: {
        // Too quick to be paused when its size came: the copy is kept until
        // the user chooses.
        const qint64 size = entry->request->receivedBytes();
        finish(entry, DownloadEntry::State::Finished, QString());
        const QFileInfo existing(entry->existing);
        if (!entry->existing.isEmpty() && existing.isFile() && existing.size() == size) {
            entry->copyDone = true;
            setState(entry, DownloadEntry::State::AlreadyThere, QDir::toNativeSeparators(entry->existing));
        }
        break;
    }
    case QWebEngineDownloadRequest::DownloadCancelled:
        // Only our own cancel is the user's; the engine giving up is not.
        finish(entry, entry->userCancelled ? DownloadEntry::State::Cancelled : DownloadEntry::State::Failed,
               entry->userCancelled ? QString() : QStringLiteral("下载中断"));
        break;
    case QWebEngineDownloadRequest::DownloadInterrupted:
        if (entry->view.state != DownloadEntry::State::Interrupted)
            interrupt(entry, entry->request->interruptReason());
        break;
    case QWebEngineDownloadRequest::DownloadInProgress:
        if (entry->view.state == DownloadEntry::State::Interrupted)
            setState(entry, DownloadEntry::State::Running);
        break;
    default:
        break;
    }
}

void DownloadManager::interrupt(Entry *entry, int reason)
{
    QWebEngineDownloadRequest *request = entry->request;
    const QString folder = QFileInfo(entry->view.path).absolutePath();
    if (request->isFinished()) {
        // The engine cannot continue this one: its partial data is of no use.
        finish(entry, DownloadEntry::State::Failed, reasonText(reason, folder));
        return;
    }
    // Kept under the engine's temporary name for 继续.
    setState(entry, DownloadEntry::State::Interrupted, reasonText(reason, folder));
    const int id = entry->view.id;
    const bool byServer
        = reason >= QWebEngineDownloadRequest::ServerFailed && reason <= QWebEngineDownloadRequest::ServerUnreachable;
    if (byServer) {
        // The engine does not tell the server's answer; ask the same
        // question once more, without the body, and read its status.
        if (!m_network)
            m_network = new QNetworkAccessManager(this);
        QNetworkRequest look(entry->view.url);
        // From where the engine asked to continue: the end of its partial file.
        const qint64 kept = QFileInfo(entry->view.path + QStringLiteral(".download")).size();
        look.setRawHeader("Range", "bytes=" + QByteArray::number(qMax(entry->view.received, kept)) + '-');
        look.setTransferTimeout(5000);
        QNetworkReply *reply = m_network->head(look);
        auto status = std::make_shared<int>(0);
        connect(reply, &QNetworkReply::metaDataChanged, reply,
                [reply, status] { *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(); });
        connect(reply, &QNetworkReply::readyRead, reply, &QNetworkReply::abort);
        connect(reply, &QNetworkReply::finished, this, [this, reply, id, reason, folder, status] {
            reply->deleteLater();
            Entry *e = find(id);
            if (e && e->view.state == DownloadEntry::State::Interrupted && *status >= 400)
                setState(e, DownloadEntry::State::Interrupted, reasonText(reason, folder, *status));
            if (e)
                emit downloadFailed(e->view.path, e->view.reason);
        });
    } else {
        emit downloadFailed(entry->view.path, entry->view.reason);
    }
    // A broken connection gets one more try by itself, a little later.
    const bool byNetwork = reason == 38
                           || (reason >= QWebEngineDownloadRequest::NetworkFailed
                               && reason <= QWebEngineDownloadRequest::NetworkServerDown);
    if (byNetwork && !entry->autoResumed) {
        entry->autoResumed = true;
        QTimer::singleShot(AutoResumeMs, this, [this, id] {
            Entry *e = find(id);
            if (e && e->view.state == DownloadEntry::State::Interrupted)
                act(id, DownloadEntry::Resume);
        });
    }
    startQueued();
}

void DownloadManager::act(int id, DownloadEntry::Action action)
{
    Entry *entry = find(id);
    if (!entry || !entry->view.actions().testFlag(action))
        return;
    QWebEngineDownloadRequest *request = entry->request;
    switch (action) {
    case DownloadEntry::Pause:
        if (request)
            request->pause();
        setState(entry, DownloadEntry::State::Paused);
        startQueued();
        break;
    case DownloadEntry::Resume:
    case DownloadEntry::DownloadAnyway: {
        if (action == DownloadEntry::DownloadAnyway)
            entry->existing.clear();
        if (entry->copyDone) {
            setState(entry, DownloadEntry::State::Finished);
            break;
        }
        if (!request || request->isFinished()) {
            retry(entry);
            break;
        }
        const auto transferring = std::count_if(m_entries.cbegin(), m_entries.cend(), [](const Entry *e) {
            return e->view.state == DownloadEntry::State::Running;
        });
        if (transferring >= MaxRunning) {
            setState(entry, DownloadEntry::State::Waiting);
            break;
        }
        entry->sampledMs = m_clock.elapsed();
        entry->sampledBytes = entry->view.received;
        setState(entry, DownloadEntry::State::Running);
        request->resume();
        m_progress.start();
        m_spaceWatch.start();
        break;
    }
    case DownloadEntry::Cancel:
        entry->userCancelled = true;
        if (request)
            request->cancel();
        if (isActive(entry))
            finish(entry, DownloadEntry::State::Cancelled, QString());
        break;
    case DownloadEntry::OpenExisting: {
        // The file is there already: this copy is not needed.
        const QString existing = entry->existing;
        entry->userCancelled = true;
        if (request)
            request->cancel();
        finish(entry, DownloadEntry::State::Cancelled, QString());
        entry->view.path = existing;
        setState(entry, DownloadEntry::State::Finished);
        break;
    }
    case DownloadEntry::Retry:
        retry(entry);
        break;
    default:
        break;
    }
}

void DownloadManager::retry(Entry *entry)
{
    if (!entry->view.url.isValid())
        return;
    if (entry->request) {
        entry->request->disconnect(this);
        entry->request->cancel();
        entry->request->deleteLater();
        entry->request = nullptr;
    }
    if (!entry->view.path.isEmpty())
        removePartial(entry->view.path);
    // Started again from its address, through a page of our own that the
    // user's click pays for.
    if (!m_retryPage)
        m_retryPage = new HiddenPage(
            m_profile, [](const QUrl &) {}, QString());
    m_retrying.removeAll(entry);
    m_retrying.append(entry);
    m_retryPage->grant().allow(1, 0);
    entry->view.received = 0;
    setState(entry, DownloadEntry::State::Waiting, QStringLiteral("从头重新下载"));
    m_retryPage->download(entry->view.url);
}

bool DownloadManager::alreadyThere(Entry *entry)
{
    // The same name and size already in the folder: most likely this very
    // file, so wait for the user's word instead of saving "name (1)".
    if (entry->existing.isEmpty() || !entry->request || entry->request->totalBytes() <= 0)
        return false;
    const QFileInfo existing(entry->existing);
    if (!existing.isFile() || existing.size() != entry->request->totalBytes()) {
        entry->existing.clear();
        return false;
    }
    entry->request->pause();
    setState(entry, DownloadEntry::State::AlreadyThere, QDir::toNativeSeparators(entry->existing));
    startQueued();
    return true;
}

void DownloadManager::sample()
{
    bool any = false;
    const qint64 now = m_clock.elapsed();
    for (Entry *entry : std::as_const(m_entries)) {
        if (entry->view.state != DownloadEntry::State::Running || !entry->request)
            continue;
        any = true;
        const qint64 received = entry->request->receivedBytes();
        const qint64 total = entry->request->totalBytes();
        // Interrupted requests read 0 until they resume; keep what we had.
        if (received < entry->view.received && received == 0)
            continue;
        const qint64 ms = now - entry->sampledMs;
        if (ms >= 1000 || (entry->view.bytesPerSecond == 0 && ms >= 300)) {
            const qint64 speed = qMax<qint64>(0, received - entry->sampledBytes) * 1000 / qMax<qint64>(1, ms);
            entry->view.bytesPerSecond
                = entry->view.bytesPerSecond == 0 ? speed : (entry->view.bytesPerSecond + speed) / 2;
            entry->sampledBytes = received;
            entry->sampledMs = now;
        }
        if (received != entry->view.received || total != entry->view.total) {
            entry->view.received = received;
            entry->view.total = total;
            if (!alreadyThere(entry))
                emit entryChanged(entry->view.id);
        }
    }
    if (!any)
        m_progress.stop();
}

void DownloadManager::checkSpace()
{
    const bool running = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                     [](const Entry *e) { return e->view.state == DownloadEntry::State::Running; });
    if (!running) {
        m_spaceWatch.stop();
        return;
    }
    for (Entry *entry : std::as_const(m_entries))
        checkSpace(entry);
}

void DownloadManager::checkSpace(Entry *entry)
{
    // A download stops before it would leave less than the reserve free:
    // what it still announces must fit, and what it writes must not outgrow
    // the disk. A waiting one takes no room yet.
    if (entry->view.state != DownloadEntry::State::Running || !entry->request)
        return;
    const QString directory = QFileInfo(entry->view.path).absolutePath();
    const qint64 total = entry->request->totalBytes();
    const qint64 remaining = total > 0 ? qMax<qint64>(0, total - entry->request->receivedBytes()) : 0;
    const qint64 available = freeSpace(directory) - SpareBytes;
    if (available >= remaining && available >= 0)
        return;
    finish(entry, DownloadEntry::State::Failed, noSpaceText(total, directory, available));
}

void DownloadManager::finish(Entry *entry, DownloadEntry::State state, const QString &reason)
{
    const bool ok = state == DownloadEntry::State::Finished;
    const QString path = entry->view.path;
    m_retrying.removeAll(entry);
    if (!ok && !path.isEmpty())
        removePartial(path);
    if (QWebEngineDownloadRequest *request = entry->request) {
        request->disconnect(this);
        if (ok) {
            entry->view.received = request->receivedBytes();
            entry->view.total = request->totalBytes();
        }
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
        entry->request = nullptr;
    }
    setState(entry, state, reason);
    if (!ok)
        emit downloadFailed(path, state == DownloadEntry::State::Cancelled ? QStringLiteral("已取消") : reason);
    emit downloadFinished(path, ok);
    startQueued();
}

void DownloadManager::startQueued()
{
    auto transferring = std::count_if(m_entries.cbegin(), m_entries.cend(),
                                      [](const Entry *e) { return e->view.state == DownloadEntry::State::Running; });
    for (Entry *entry : std::as_const(m_entries)) {
        if (transferring >= MaxRunning)
            return;
        if (entry->view.state == DownloadEntry::State::Waiting && entry->request) {
            setState(entry, DownloadEntry::State::Running);
            entry->request->resume();
            ++transferring;
            m_progress.start();
            m_spaceWatch.start();
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
    for (Entry *entry : std::as_const(m_entries)) {
        if (!isActive(entry))
            continue;
        entry->userCancelled = true;
        if (entry->request)
            entry->request->cancel();
        if (isActive(entry))
            finish(entry, DownloadEntry::State::Cancelled, QString());
    }
}

bool DownloadManager::confirmQuit(QWidget *parent)
{
    if (!hasRunningDownloads())
        return true;
    const auto answer
        = QMessageBox::question(parent, QStringLiteral("下载"), QStringLiteral("有下载尚未完成，是否停止下载并退出？"),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return false;
    cancelAll();
    return true;
}
