#include "TransferFiles.h"

#include "PartialSweep.h"

QString TransferFiles::dataPath(const QString &path) const
{
    return m_data.isEmpty() ? DownloadFolder::enginePartialPath(path) : m_data;
}

QString TransferFiles::journalled(const QString &path, bool kept) const
{
    // The bare reservation before the engine's file is known: the next start
    // looks for it there.
    if (kept)
        return DownloadFolder::reservedPath(path);
    if (m_made.data.isValid() || !m_data.isEmpty())
        return dataPath(path);
    return m_made.reserved.isValid() ? DownloadFolder::reservedPath(path) : QString();
}

bool TransferFiles::noticeEngineFile(const QString &path)
{
    if (m_made.data.isValid())
        return false;
    m_made.data = DownloadFolder::engineFile(path, m_made);
    return m_made.data.isValid();
}

void TransferFiles::engineFinished(const QString &path)
{
    const FileIdentity data = FileIdentity::of(DownloadFolder::reservedPath(path));
    if (!m_made.holds(data))
        m_made.data = data;
    dataAtReservation(path);
}

void TransferFiles::keepEngineData(const QString &path)
{
    if (DownloadFolder::keepData(path, m_made))
        dataAtReservation(path);
}

void TransferFiles::handTo(PartialSweep *sweep, const QString &path)
{
    sweep->add(path, m_made);
    *this = {};
}

void TransferFiles::remove(const QString &path)
{
    DownloadFolder::removePartial(path, m_made);
    *this = {};
}

QString TransferFiles::land(const DownloadFolder &folder, QString from, const QString &path, const QString &name)
{
    const QString landed = folder.landAndTidy(from, m_made, path, name);
    if (landed.isEmpty()) {
        // Its empty reservation beside it goes (a kept download's data may
        // be written into the reservation itself).
        const QString reservation = DownloadFolder::reservedPath(path);
        if (reservation != from && m_made.reserved != m_made.data)
            m_made.reserved.remove(reservation);
    }
    *this = {};
    return landed;
}
