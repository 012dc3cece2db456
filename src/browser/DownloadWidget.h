#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

// The small window of one download: name, progress, speed, Cancel; when done
// the saved path and a button that opens the folder.
class DownloadWidget : public QWidget
{
    Q_OBJECT

public:
    DownloadWidget(const QString &filePath, QWidget *parent = nullptr);

    void setProgress(qint64 received, qint64 total);
    void setFinished(bool ok, const QString &message);
    bool isFinished() const { return m_finished; }
    void bringForward();

signals:
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QString m_path;
    QLabel *m_name = nullptr;
    QProgressBar *m_bar = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_savedPath = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_openFolder = nullptr;
    QElapsedTimer m_clock;
    bool m_finished = false;
};
