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
// (or Esc) only hides it. Its buttons take the keyboard in reading order.
class DownloadList final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadList)

public:
    // Asks the user for a folder, starting at current; empty when they cancel.
    using FolderChooser = std::function<QString(QWidget *parent, const QString &current)>;

    explicit DownloadList(Downloads &downloads, QWidget *parent = nullptr);

    // The main window, which the list opens beside; where no side of the
    // screen has room it may cover the window, but never its title bar nor
    // keepVisible (what the user types in and the button that searches).
    void setAnchor(QWidget *window, const QList<QWidget *> &keepVisible = {});
    // The desktop's folder dialog by default.
    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    // Shown (and raised) without taking the keyboard focus from the window
    // the user is typing in.
    void showWithoutFocus();
    // Shown for the keyboard, asked for (Ctrl+J).
    void activate();

    DownloadRow *row(int id) const { return m_rows.value(id); }

protected:
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QScrollArea *makeRows();
    QHBoxLayout *makeBar();
    void add(int id);
    void update(int id);
    void remove(const QList<int> &ids);
    QList<DownloadRow *> rowsInOrder() const;
    void orderTabs();
    void reveal(DownloadRow *row);
    void restripe();
    void enableClear();
    void onAction(int id, DownloadEntry::Action action);
    void chooseFolder();
    void showFolder();
    void placeBesideAnchor();
    QRect keptVisible() const;

    QPointer<Downloads> m_downloads;
    QScrollArea *m_scroll = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    QHash<int, DownloadRow *> m_rows;
    QLabel *m_folder = nullptr;
    QPushButton *m_change = nullptr;
    QPushButton *m_clear = nullptr;
    FolderChooser m_chooseFolder;
    QPointer<QWidget> m_anchor;
    QList<QPointer<QWidget>> m_keepVisible;
    // Where the list last opened by itself, and how large; once the user has
    // moved it, it keeps the place they gave it. It opens narrower where the
    // screen has less room, but at the size wanted where it has.
    QPoint m_placedAt;
    QSize m_placedSize;
    QSize m_wanted;
    bool m_placed = false;
    bool m_movedByUser = false;
};
