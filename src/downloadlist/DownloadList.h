#pragma once

#include <functional>

#include <QHash>
#include <QPointer>
#include <QWidget>

#include "DownloadEntry.h"

class Downloads;
class DownloadRow;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

// The session's one download list: a small window that shows every entry of
// the downloads, newest first, passes its buttons on, and shows the folder
// new downloads go to with a button to change it. It shows itself, without
// taking the focus, when an entry comes or the downloads want the user's
// attention, beside the main window until the user moves it. Closing it
// only hides it.
class DownloadList final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadList)

public:
    // Asks the user for a folder, starting at current; empty when they cancel.
    using FolderChooser = std::function<QString(QWidget *parent, const QString &current)>;

    explicit DownloadList(Downloads &downloads, QWidget *parent = nullptr);

    // The main window, which the list opens beside and never covers.
    void setAnchor(QWidget *window) { m_anchor = window; }
    // The desktop's folder dialog by default.
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    // Shown (and raised) without taking the keyboard focus from the window
    // the user is typing in.
    void showWithoutFocus();

    DownloadRow *row(int id) const { return m_rows.value(id); }

protected:
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QScrollArea *makeRows();
    QHBoxLayout *makeBar();
    void add(int id);
    void update(int id);
    void remove(const QList<int> &ids);
    void reveal(DownloadRow *row);
    void restripe();
    void enableClear();
    void onAction(int id, DownloadEntry::Action action);
    void chooseFolder();
    void showFolder();
    void placeBesideAnchor();

    QPointer<Downloads> m_downloads;
    QScrollArea *m_scroll = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    QHash<int, DownloadRow *> m_rows;
    QLabel *m_folder = nullptr;
    QPushButton *m_clear = nullptr;
    FolderChooser m_chooseFolder;
    QPointer<QWidget> m_anchor;
    // Where the list last opened by itself; once the user has moved it, it
    // keeps the place they gave it.
    QPoint m_placedAt;
    bool m_placed = false;
    bool m_movedByUser = false;
};
