#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One window per user session: the first start listens on a local socket in
// the user's runtime directory; a later start asks it to raise its window
// and exits.
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    enum class Role { First, Second };

    explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject *parent = nullptr);
    ~SingleInstance() override;

    static QString defaultSocketPath();

    // Second when a running instance took the request to raise its window.
    // First otherwise, listening from then on; a socket that nobody answers
    // (left by a crashed run) is removed first.
    Role start();

    // True when an instance listening at socketPath took the request to raise
    // its window, or does not answer and does not end either. Needs no
    // application object, so it can run before one.
    static bool askRunningToRaise(const QString &socketPath);

signals:
    // A later start asked for the window; token is its activation token, if any.
    void raiseRequested(const QByteArray &token);

private:
    void answer();

    QString m_path;
    QLocalServer *m_server = nullptr;
};
