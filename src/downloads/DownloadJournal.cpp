#include "DownloadJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include "DownloadFolder.h"
#include "FileNames.h"

namespace {

// 2: the identities of the files each download made. 1: the earlier
// version's, without them.
constexpr int Format = 2;
constexpr int EarlierFormat = 1;
// A journal of this size is not ours.
constexpr qint64 MaxBytes = 4 << 20;

// Devices, inodes and birth times as text: a double would round them.
QJsonArray toJson(const FileIdentity &f)
{
    QJsonArray a {QString::number(f.device), QString::number(f.inode)};
    if (f.born != 0)
        a.append(QString::number(f.born));
    return a;
}

FileIdentity identityFrom(const QJsonValue &v)
{
    const QJsonArray a = v.toArray();
    return {a.at(0).toString().toULongLong(), a.at(1).toString().toULongLong(), a.at(2).toString().toLongLong()};
}

QJsonObject toJson(const DownloadFolder::Files &files)
{
    return {{QStringLiteral("reserved"), toJson(files.reserved)}, {QStringLiteral("data"), toJson(files.data)}};
}

DownloadFolder::Files filesFrom(const QJsonValue &v)
{
    return {.reserved = identityFrom(v.toObject().value(QLatin1String("reserved"))),
            .data = identityFrom(v.toObject().value(QLatin1String("data")))};
}

QJsonObject toJson(const JournalEntry &e)
{
    return {
        {QStringLiteral("files"), toJson(e.files)},
        {QStringLiteral("complete"), e.complete},
        {QStringLiteral("existing"), e.existing},
        {QStringLiteral("url"), e.url.toString(QUrl::FullyEncoded)},
        {QStringLiteral("page"), e.page.toString(QUrl::FullyEncoded)},
        {QStringLiteral("title"), e.title},
        {QStringLiteral("path"), e.path},
        {QStringLiteral("name"), e.name},
        {QStringLiteral("partial"), e.partial},
        {QStringLiteral("bytes"), double(e.bytes)},
        {QStringLiteral("total"), double(e.total)},
        {QStringLiteral("etag"), QString::fromLatin1(e.etag)},
        {QStringLiteral("modified"), QString::fromLatin1(e.modified)},
        {QStringLiteral("mime"), e.mimeType},
    };
}

JournalEntry fromJson(const QJsonObject &o)
{
    JournalEntry e;
    e.url = QUrl(o.value(QLatin1String("url")).toString(), QUrl::StrictMode);
    e.page = QUrl(o.value(QLatin1String("page")).toString(), QUrl::StrictMode);
    e.title = o.value(QLatin1String("title")).toString();
    e.path = o.value(QLatin1String("path")).toString();
    // A plain name in the folder, whatever the file says.
    if (const QString name = o.value(QLatin1String("name")).toString(); !name.isEmpty())
        e.name = FileNames::sanitize(name);
    e.partial = o.value(QLatin1String("partial")).toString();
    e.bytes = qint64(o.value(QLatin1String("bytes")).toDouble());
    e.total = qint64(o.value(QLatin1String("total")).toDouble(-1));
    e.etag = o.value(QLatin1String("etag")).toString().toLatin1();
    e.modified = o.value(QLatin1String("modified")).toString().toLatin1();
    e.mimeType = o.value(QLatin1String("mime")).toString();
    e.files = filesFrom(o.value(QLatin1String("files")));
    e.complete = o.value(QLatin1String("complete")).toBool();
    e.existing = o.value(QLatin1String("existing")).toString();
    return e;
}

bool webAddress(const QUrl &url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// Its partial file is one of the two names the download itself uses.
bool ownPartial(const JournalEntry &e)
{
    return QFileInfo(e.path).isAbsolute()
           && (e.partial == DownloadFolder::enginePartialPath(e.path)
               || e.partial == DownloadFolder::reservedPath(e.path));
}

} // namespace

QString DownloadJournal::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/downloads.json");
}

JournalContents DownloadJournal::read() const
{
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxBytes)
        return {};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    const int format = doc.object().value(QLatin1String("format")).toInt();
    if (format != Format && format != EarlierFormat)
        return {};
    JournalContents out;
    // Nothing proves an earlier version's leftovers are still its own: they stay.
    for (const QJsonValue &v : doc.object().value(QLatin1String("leftovers")).toArray()) {
        const QString path = v.toObject().value(QLatin1String("path")).toString();
        if (format == Format && QFileInfo(path).isAbsolute())
            out.leftovers << JournalLeftover {path, filesFrom(v.toObject().value(QLatin1String("files")))};
    }
    for (const QJsonValue &v : doc.object().value(QLatin1String("downloads")).toArray()) {
        JournalEntry e = fromJson(v.toObject());
        // The earlier version listed these as its unfinished downloads: the
        // regular files at their own names are taken for the ones it made,
        // so that an upgrade loses none of them.
        if (format == EarlierFormat && ownPartial(e))
            e.files = {.reserved = FileIdentity::of(DownloadFolder::reservedPath(e.path)),
                       .data = FileIdentity::of(DownloadFolder::enginePartialPath(e.path))};
        // Its data at the engine's name, which the reservation proves the
        // engine's; or nothing of it on disk yet, to start again.
        if (const FileIdentity engines = DownloadFolder::engineFile(e.path, e.files);
            !e.files.data.isValid() && engines.isValid()) {
            e.files.data = engines;
            e.partial = DownloadFolder::enginePartialPath(e.path);
        }
        // The engine finished just before the program ended, unheard: its
        // one rename put the file it was writing over the reservation.
        if (const QString reservation = DownloadFolder::reservedPath(e.path);
            e.files.data.isValid() && e.partial != reservation
            && DownloadFolder::finishedFile(e.path, e.files).isValid()) {
            e.partial = reservation;
            e.complete = e.total >= 0 && QFileInfo(reservation).size() == e.total;
        }
        const bool nothing = e.partial.isEmpty() && !e.files.reserved.isValid() && !e.files.data.isValid();
        if (nothing)
            e.complete = false;
        const QFileInfo partial(e.partial);
        if (!webAddress(e.url) || !(nothing || (ownPartial(e) && e.files.holds(FileIdentity::of(e.partial)))))
            continue;
        if (!webAddress(e.page))
            e.page.clear();
        if (e.total < 0)
            e.total = -1;
        // The file is the truth: the journal may lag behind it, or claim
        // bytes a power cut never let reach the disk.
        e.bytes = nothing ? 0 : partial.size();
        if (e.total >= 0 && e.bytes > e.total)
            continue;
        // Complete data cut short (a power cut before the disk had it all):
        // its rest is fetched, never landed as it is.
        e.complete = e.complete && e.bytes == e.total;
        out.downloads << e;
    }
    return out;
}

bool DownloadJournal::write(const JournalContents &contents) const
{
    if (contents.isEmpty())
        return !QFileInfo::exists(m_file) || QFile::remove(m_file);
    QJsonArray list;
    for (const JournalEntry &e : contents.downloads)
        list.append(toJson(e));
    QJsonArray leftovers;
    for (const JournalLeftover &l : contents.leftovers)
        leftovers.append(QJsonObject {{QStringLiteral("path"), l.path}, {QStringLiteral("files"), toJson(l.files)}});
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath()))
        return false;
    QSaveFile file(m_file);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QJsonObject journal {{QStringLiteral("format"), Format},
                               {QStringLiteral("downloads"), list},
                               {QStringLiteral("leftovers"), leftovers}};
    return file.write(QJsonDocument(journal).toJson(QJsonDocument::Compact)) >= 0 && file.commit();
}
