#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "Browser.h"

// One click on a file's free download, carried out for the user in one
// hidden browser: loads the file page, clicks the tables that offer the
// file for zero points ("0分") on its first documents under the grant of the
// user's action, and waits for the download as long as the grant lasts. A
// row click and a download started again from its file page go the same way.
class FreeDownloadClick final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FreeDownloadClick)

public:
    // A page that loads itself again when its table is clicked is clicked on
    // no more documents than this.
    static constexpr int Documents = 3;

    // Loads page in browser; from its first document on, lets its pages do
    // what allowance allows.
    FreeDownloadClick(Browser *browser, const QString &page, UserAllowance allowance, QObject *parent = nullptr);

    Browser *browser() const { return m_browser; }
    QString page() const { return m_page; }
    // Until the download came or the click gave up.
    bool isWaiting() const { return m_waiting; }

    // The browser's document completed: its free-download tables are
    // clicked, while documents are left.
    void documentComplete();
    // The download came, or was refused for a reason of its own: nothing
    // more to wait for.
    void answered();
    // The grant's lifetime unless a test shortens it.
    void setDeadline(int milliseconds);

    // Why no download came, in the user's words.
    static QString unreachableText(const LoadFailure &failure);
    static QString noFreeTableText();
    static QString noAnswerText();
    static QString tooLateText();

signals:
    void gaveUp(const QString &reason);

private:
    void giveUp(const QString &reason);

    Browser *m_browser;
    QString m_page;
    UserAllowance m_allowance;
    QTimer m_deadline;
    int m_documentsLeft = Documents;
    bool m_clicked = false; // on any of its documents
    bool m_waiting = true;
};
