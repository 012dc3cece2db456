#include "SingleInstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

constexpr int AnswerMs = 2000;
// How long a running instance that does not answer may take to end.
constexpr int EndingMs = 30000;
const QByteArray RaiseRequest = QByteArrayLiteral("raise");
const QByteArray Done = QByteArrayLiteral("ok\n");

// Whatever the desktop gave this start to pass focus on (Wayland, then X11).
QByteArray activationToken()
{
    QByteArray token = qgetenv("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qgetenv("DESKTOP_STARTUP_ID") : token;
}

} // namespace

SingleInstance::SingleInstance(QString socketPath, QObject *parent)
    : QObject(parent)
    , m_path(std::move(socketPath))
    , m_server(new QLocalServer(this))
{
    // No socket options: with them Qt renames its socket over an existing one,
    // and the runtime directory is the user's own already.
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::answer);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/ondrix.socket");
}

SingleInstance::Role SingleInstance::start()
{
    if (m_server->listen(m_path))
        return Role::First;
    if (askRunningToRaise(m_path))
        return Role::Second;
    // Nobody answers on the socket: a crashed run left it behind.
    QLocalServer::removeServer(m_path);
    if (!m_server->listen(m_path))
        qWarning("ondrix: cannot listen on %s: %s", qPrintable(m_path), qPrintable(m_server->errorString()));
    return Role::First;
}

bool SingleInstance::askRunningToRaise(const QString &socketPath)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(AnswerMs))
        return false;
    socket.write(RaiseRequest + ' ' + activationToken() + '\n');
    socket.flush();
    while (socket.bytesAvailable() < Done.size() && socket.waitForReadyRead(AnswerMs)) { }
    // Slow to answer: still starting, and it answers in the end; or ending
    // (its window gone, its engine winding down), and this start takes its
    // place once it has let go; or stuck, and one is enough.
    if (socket.bytesAvailable() < Done.size() && socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(EndingMs);
    return socket.bytesAvailable() >= Done.size() || socket.state() == QLocalSocket::ConnectedState;
}

void SingleInstance::answer()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine(4096).trimmed();
            // The later start may go at once; the window is raised after.
            socket->write(Done);
            socket->flush();
            socket->disconnectFromServer();
            if (line == RaiseRequest || line.startsWith(RaiseRequest + ' '))
                emit raiseRequested(line.mid(RaiseRequest.size()).trimmed());
        });
    }
}
