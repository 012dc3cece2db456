#include "ServerFile.h"

#include <QFileInfo>

#include "DownloadJournal.h"
#include "FileNames.h"
#include "StopReason.h"

namespace {

bool isPage(const QString &type)
{
    return type.startsWith(QLatin1String("text/html"));
}

bool changedFile(const QByteArray &was, const QByteArray &now)
{
    return !was.isEmpty() && !now.isEmpty() && was != now;
}

} // namespace

ServerFile ServerFile::kept(const JournalEntry &kept)
{
    return {.page = kept.page,
            .title = kept.title,
            .landAs = kept.name,
            .etag = kept.etag,
            .modified = kept.modified,
            .mimeType = kept.mimeType};
}

void ServerFile::keepIn(JournalEntry &kept) const
{
    kept.page = page;
    kept.title = title;
    kept.name = landAs;
    kept.etag = etag;
    kept.modified = modified;
    kept.mimeType = mimeType;
}

void ServerFile::begin(const QString &type, const QString &wantedName, const QString &pageCharset)
{
    charset = pageCharset;
    wanted = wantedName;
    mimeType = type;
    landAs.clear();
    etag.clear();
    modified.clear();
}

void ServerFile::expectAgain(const QString &path, qint64 total, bool sameVersion)
{
    expected.total = sameVersion ? total : -1;
    expected.mimeType = typeOf(path);
    expected.etag = sameVersion ? etag : QByteArray();
    expected.modified = sameVersion ? modified : QByteArray();
}

QString ServerFile::refusal(const QString &type, qint64 total) const
{
    if (isPage(type) && !expected.mimeType.isEmpty() && !isPage(expected.mimeType))
        return StopReason::notTheFileText();
    if (expected.total > 0 && total > 0 && total != expected.total)
        return StopReason::otherLengthText(expected.total, total);
    return {};
}

bool ServerFile::changed(const ServerProbe::Validators &said) const
{
    return changedFile(expected.etag, said.etag) || changedFile(expected.modified, said.modified);
}

bool ServerFile::answer(const ServerProbe::Validators &said, qint64 &total)
{
    // Only an answer about the engine's very file identifies and names it.
    if (total > 0 && said.length != total)
        return false;
    etag = said.etag;
    modified = said.modified;
    if (total < 0)
        total = said.length;
    // The name from the server's own bytes: what the engine made of them may
    // have lost its first characters. The data lands under it.
    const QString name = FileNames::dispositionName(said.disposition, charset);
    if (name.isEmpty() || FileNames::sanitize(name) == wanted)
        return false;
    landAs = FileNames::sanitize(name);
    return true;
}

QString ServerFile::typeOf(const QString &path) const
{
    if (!mimeType.isEmpty())
        return mimeType;
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("htm") || suffix == QLatin1String("html")
               ? QStringLiteral("text/html")
               : QStringLiteral("application/octet-stream");
}
