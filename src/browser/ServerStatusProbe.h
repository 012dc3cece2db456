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

private:
    QNetworkAccessManager *m_network = nullptr; // made on first use
};
