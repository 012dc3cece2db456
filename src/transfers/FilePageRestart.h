#pragma once

#include <QObject>
#include <QUrl>

class FreeDownloadClick;
class HiddenPage;
class QWebEngineProfile;
class WebEngineBrowser;

// Starts a transfer's download again, with the user's action (重试 or
// 继续) as the grant of that one download, for the entry it continues.
class Restart : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Restart)

public:
    using QObject::QObject;
    ~Restart() override = default;

signals:
    // No download came of it, and why, in the user's words.
    void gaveUp(const QString &reason);
};

// From its file page, as the user's click on its row did: loads the page in
// a hidden browser that stays on the page's site, and clicks its free
// download.
class FilePageRestart final : public Restart
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FilePageRestart)

public:
    FilePageRestart(QWebEngineProfile *profile, const QUrl &page, int entry, QObject *parent = nullptr);
    ~FilePageRestart() override;

private:
    WebEngineBrowser *m_browser = nullptr;
    FreeDownloadClick *m_click = nullptr;
};

// From its address, where no file page is known: through a page of its own,
// which may go to any web address and hands nothing to the desktop.
class AddressRestart final : public Restart
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddressRestart)

public:
    AddressRestart(QWebEngineProfile *profile, const QUrl &address, int entry, QObject *parent = nullptr);
    ~AddressRestart() override;

private:
    HiddenPage *m_page = nullptr;
};
