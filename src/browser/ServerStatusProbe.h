#pragma once

#include <functional>

#include <QObject>

class QNetworkAccessManager;
class QUrl;

// The engine does not tell a server's answer when it refuses a download:
// this asks the same question once more, without the body, and reads the
// HTTP status.
class ServerStatusProbe : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // A HEAD request for url from byte `from`, as the engine asked to
    // continue. done gets the status, 0 when none came; it is not called
    // once context is gone.
    void ask(const QUrl &url, qint64 from, const QObject *context, std::function<void(int status)> done);

    // What a download's server says identifies its file (ETag,
    // Last-Modified) and its length, asked with the file page as Referer;
    // empty and -1 when it says nothing or refuses.
    struct Validators
    {
        QByteArray etag;
        QByteArray modified;
        qint64 length = -1;
    };
    void validators(const QUrl &url, const QUrl &referer, const QObject *context,
                    std::function<void(const Validators &)> done);

private:
    QNetworkAccessManager *network();

    QNetworkAccessManager *m_network = nullptr; // made on first use
};
