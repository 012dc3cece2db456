#pragma once

#include <QWidget>

#include "DownloadEntry.h"

class QLabel;
class QProgressBar;
class QPushButton;

// One row of the download list: name, size, bar, state and the buttons that
// fit the entry's state.
class DownloadRow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadRow)

public:
    explicit DownloadRow(QWidget *parent = nullptr);
    void setEntry(const DownloadEntry &entry);
    const DownloadEntry &entry() const { return m_entry; }
    // Left to right.
    QList<QPushButton *> buttons() const;

signals:
    void triggered(int id, DownloadEntry::Action action);
    // Another state brought other buttons: the list puts them in its tab order.
    void buttonsReplaced();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showButtons(DownloadEntry::Actions actions);
    void showName();

    DownloadEntry m_entry;
    // All bits set: no buttons made yet.
    DownloadEntry::Actions m_shownActions = DownloadEntry::Actions::fromInt(~0);
    QLabel *m_name = nullptr;
    QLabel *m_size = nullptr;
    QProgressBar *m_bar = nullptr;
    QLabel *m_status = nullptr;
    QWidget *m_buttons = nullptr;
};
