#pragma once

#include <QObject>
#include <QUrl>

class FreeDownloadClick;
class QWebEngineProfile;
class WebEngineBrowser;

// Starts a download again from its file page, as the user's click on its
// row did: loads the page in a hidden browser that stays on the page's
// site, and clicks its free download, with the user's 继续 as the action
// that grants that one download, for the entry it continues.
class FilePageRestart final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilePageRestart)

public:
    FilePageRestart(QWebEngineProfile *profile, const QUrl &page, int entry, QObject *parent = nullptr);
    ~FilePageRestart() override;

signals:
    // No download came of it, and why, in the user's words.
    void gaveUp(const QString &reason);

private:
    WebEngineBrowser *m_browser = nullptr;
    FreeDownloadClick *m_click = nullptr;
};
