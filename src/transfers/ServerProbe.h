#pragma once

#include <functional>

#include <QByteArray>
#include <QObject>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

// The program's own questions to a download's server, which the engine does
// not pass on: the HTTP status with which it refused a download, and what it
// says identifies and names the file.
class ServerProbe : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServerProbe)

public:
    // network: the program's own, with the pages' cookies; userAgent: the pages'.
    ServerProbe(QNetworkAccessManager *network, QByteArray userAgent, QObject *parent = nullptr);

    // A HEAD request for url from byte `from`, as the engine asked to
    // continue, with the file page as Referer. done gets the status, 0 when
    // none came or the server answers no HEAD; it is not called once
    // context is gone.
    virtual void ask(const QUrl &url, qint64 from, const QUrl &referer, const QObject *context,
                     std::function<void(int status)> done);

    // What a download's server says identifies its file (ETag,
    // Last-Modified), its length and its name (the Content-Disposition as
    // sent, raw bytes), asked with the file page as Referer: a HEAD request,
    // or the first byte where the server refuses HEAD. Empty and -1 when it
    // says nothing or refuses.
    struct Validators
    {
        QByteArray etag;
        QByteArray modified;
        qint64 length = -1;
        QByteArray disposition;
    };
    virtual void validators(const QUrl &url, const QUrl &referer, const QObject *context,
                            std::function<void(const Validators &)> done);

private:
    void firstByte(const QNetworkRequest &request, const QObject *context,
                   std::function<void(const Validators &)> done);

    QNetworkAccessManager *m_network;
    QByteArray m_userAgent;
};
