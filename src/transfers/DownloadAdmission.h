#pragma once

#include <QString>

#include "FileIdentity.h"

class DownloadFolder;
class HiddenPage;
class EngineDownload;
class QWebEngineDownloadRequest;

// Whether a download the engine asks about may be saved, and where. The
// user must have paid for it with an action in its page, and it must fit the
// download folder under a name of its own.
class DownloadAdmission
{
public:
    explicit DownloadAdmission(const DownloadFolder &folder);

    // The page whose user action pays for the request, with that download
    // spent; nullptr (the request cancelled, the refusal logged) when none
    // does. A download window's opener pays for it, and the window, its
    // work done, goes.
    static HiddenPage *payingPage(QWebEngineDownloadRequest *request);

    struct Decision
    {
        QString path {};          // where it is saved, reserved empty; empty when refused
        FileIdentity reserved {}; // the reservation made for it
        QString wanted {};        // the name the site meant, before any " (n)"
        qint64 announced = -1;
        QString refusal {}; // why not, in the user's words
        bool accepted() const { return !path.isEmpty(); }
    };
    // Checks the folder and the room in it, then chooses and reserves the
    // name: the one the site meant, in the encoding of its pages (charset),
    // unless busy holds it (a listed download's, or one still swept).
    Decision decide(const EngineDownload *request, const QString &charset, const QStringList &busy) const;
    // Points the engine at an accepted decision's path and lets it start.
    static void accept(EngineDownload *request, const Decision &decision);

private:
    const DownloadFolder &m_folder;
};
