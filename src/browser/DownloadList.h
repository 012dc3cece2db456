#pragma once

#include <functional>

#include <QHash>
#include <QPointer>
#include <QWidget>

#include "DownloadEntry.h"

class DownloadManager;
class QLabel;
class QProgressBar;
class QVBoxLayout;

// One row of the list: name, size, bar, state and the buttons that fit.
class DownloadRow : public QWidget
{
    Q_OBJECT

public:
    explicit DownloadRow(QWidget *parent = nullptr);
    void setEntry(const DownloadEntry &entry);
    const DownloadEntry &entry() const { return m_entry; }

signals:
    void triggered(int id, DownloadEntry::Action action);

private:
    DownloadEntry m_entry;
    DownloadEntry::Actions m_shownActions = DownloadEntry::NoAction;
    bool m_first = true;
    QLabel *m_name = nullptr;
    QLabel *m_size = nullptr;
    QProgressBar *m_bar = nullptr;
    QLabel *m_status = nullptr;
    QWidget *m_buttons = nullptr;
};

// The session's one download list: a small window that shows every entry of
// the download manager, newest last, and passes its buttons on. Closing it
// only hides it.
class DownloadList : public QWidget
{
    Q_OBJECT

public:
    explicit DownloadList(DownloadManager *manager, QWidget *parent = nullptr);

    // Shown (and raised) without taking the keyboard focus from the window
    // the user is typing in.
    void showWithoutFocus();
    // Where "在浏览器中打开" sends a file page; the desktop's browser by default.
    void setUrlOpener(std::function<void(const QUrl &)> opener) { m_openUrl = std::move(opener); }

    DownloadRow *row(int id) const { return m_rows.value(id); }

private:
    void add(int id);
    void update(int id);
    void onAction(int id, DownloadEntry::Action action);

    QPointer<DownloadManager> m_manager;
    QVBoxLayout *m_rowsLayout = nullptr;
    QHash<int, DownloadRow *> m_rows;
    std::function<void(const QUrl &)> m_openUrl;
};
