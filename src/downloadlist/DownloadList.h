#pragma once

#include <QHash>
#include <QPointer>
#include <QWidget>

#include "DownloadEntry.h"

class Downloads;
class DownloadRow;
class QVBoxLayout;

// The session's one download list: a small window that shows every entry of
// the downloads, newest last, and passes its buttons on. It shows itself,
// without taking the focus, when an entry comes or the downloads want the
// user's attention. Closing it only hides it.
class DownloadList : public QWidget
{
    Q_OBJECT

public:
    explicit DownloadList(Downloads &downloads, QWidget *parent = nullptr);

    // Shown (and raised) without taking the keyboard focus from the window
    // the user is typing in.
    void showWithoutFocus();

    DownloadRow *row(int id) const { return m_rows.value(id); }

private:
    void add(int id);
    void update(int id);
    void onAction(int id, DownloadEntry::Action action);

    QPointer<Downloads> m_downloads;
    QVBoxLayout *m_rowsLayout = nullptr;
    QHash<int, DownloadRow *> m_rows;
};
