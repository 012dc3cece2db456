#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QWebEngineDownloadRequest;

// A download as the engine carries it out: what the transfers see of it, so
// that they are driven the same by the engine and by a test's stand-in.
class EngineDownload : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EngineDownload)

public:
    enum class State { Requested, InProgress, Completed, Cancelled, Interrupted };

    using QObject::QObject;
    ~EngineDownload() override = default;

    // The same for a download the engine resumes under a new request.
    virtual quint32 id() const = 0;
    virtual State state() const = 0;
    // Nothing more will come of it, not even a resume.
    virtual bool isFinished() const = 0;
    virtual qint64 receivedBytes() const = 0;
    virtual qint64 totalBytes() const = 0; // -1 while unknown
    virtual int interruptReason() const = 0;
    virtual QUrl url() const = 0;
    virtual QString mimeType() const = 0;
    // The name its server or page gave it, as the engine read it.
    virtual QString suggestedFileName() const = 0;

    // Saves it to path, and lets it start.
    virtual void accept(const QString &path) = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual void cancel() = 0;
    // Done with it: the engine may forget it.
    virtual void release() = 0;

signals:
    void stateChanged();
    void finishedChanged();
    void totalBytesChanged();
    void receivedBytesChanged();
};

// The engine's own, a child of its request.
class WebEngineDownload final : public EngineDownload
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEngineDownload)

public:
    explicit WebEngineDownload(QWebEngineDownloadRequest *request);

    quint32 id() const override;
    State state() const override;
    bool isFinished() const override;
    qint64 receivedBytes() const override;
    qint64 totalBytes() const override;
    int interruptReason() const override;
    QUrl url() const override;
    QString mimeType() const override;
    QString suggestedFileName() const override;
    void accept(const QString &path) override;
    void pause() override;
    void resume() override;
    void cancel() override;
    void release() override;

private:
    QWebEngineDownloadRequest *m_request;
};
