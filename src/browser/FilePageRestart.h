#pragma once

#include <QObject>
#include <QTimer>
#include <QUrl>

class QWebEngineProfile;
class WebEngineBrowser;

// Starts a download again from its file page, as the user's click on its
// row did: loads the page in a hidden browser that stays on the page's
// site, and clicks its free download once, with the user's 继续 as the
// action that grants that one download.
class FilePageRestart : public QObject
{
    Q_OBJECT

public:
    FilePageRestart(QWebEngineProfile *profile, const QUrl &page, QObject *parent = nullptr);
    ~FilePageRestart() override;

    // Whether a download the engine asks about comes from this restart.
    bool holds(const QObject *page) const;

signals:
    // No download came of it, and why, in the user's words.
    void gaveUp(const QString &reason);

private:
    void giveUp(const QString &reason);

    WebEngineBrowser *m_browser = nullptr;
    QTimer m_deadline;
    int m_documentsLeft;
    bool m_clicked = false;
};
