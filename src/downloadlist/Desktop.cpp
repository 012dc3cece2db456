#include "Desktop.h"

#include <optional>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHash>
#include <QObject>
#include <QVariantMap>

namespace {

const QString FileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");

void openFolder(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

// Answers the notifications' buttons; lives as long as the application.
class NotificationActions : public QObject
{
    Q_OBJECT

public:
    static NotificationActions &instance()
    {
        static NotificationActions actions;
        return actions;
    }

    void remember(uint id, const QString &path) { m_paths.insert(id, path); }

private:
    NotificationActions()
    {
        QDBusConnection::sessionBus().connect(NotificationsService, QStringLiteral("/org/freedesktop/Notifications"),
                                              NotificationsService, QStringLiteral("ActionInvoked"), this,
                                              SLOT(onAction(uint, QString)));
    }

public slots:
    void onAction(uint id, const QString &key)
    {
        const QString path = m_paths.take(id);
        if (path.isEmpty())
            return;
        if (key == QLatin1String("open"))
            Desktop::openFile(path);
        else if (key == QLatin1String("folder"))
            Desktop::showInFolder(path);
    }

private:
    QHash<uint, QString> m_paths;
};

bool serviceAnswers(const QString &service)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusReply<bool> registered = bus.interface()->isServiceRegistered(service);
    if (registered.isValid() && registered.value())
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(service);
}

QDBusMessage notificationsCall(const QString &method)
{
    return QDBusMessage::createMethodCall(NotificationsService, QStringLiteral("/org/freedesktop/Notifications"),
                                          NotificationsService, method);
}

// Whether the notification server shows the body as it is rather than
// reading markup in it (where a site's "<h1>" would be a heading). Asked once
// and without waiting, as a server started on demand answers seconds later;
// escaped until it has said.
bool bodyAsItIs()
{
    static std::optional<bool> known;
    static bool asking = false;
    if (!known && !asking) {
        asking = true;
        auto *asked = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(
            notificationsCall(QStringLiteral("GetCapabilities")), Desktop::AnswerMs));
        QObject::connect(asked, &QDBusPendingCallWatcher::finished, asked, [asked] {
            const QDBusPendingReply<QStringList> capabilities = *asked;
            if (!capabilities.isError())
                known = !capabilities.value().contains(QLatin1String("body-markup"));
            asking = false;
            asked->deleteLater();
        });
    }
    return known.value_or(false);
}

} // namespace

namespace Desktop {

void openFile(const QString &path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void showInFolder(const QString &path, int answerMs)
{
    if (!serviceAnswers(FileManagerService)) {
        openFolder(path);
        return;
    }
    QDBusMessage call
        = QDBusMessage::createMethodCall(FileManagerService, QStringLiteral("/org/freedesktop/FileManager1"),
                                         FileManagerService, QStringLiteral("ShowItems"));
    call << QStringList {QUrl::fromLocalFile(path).toString()} << QString();
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, answerMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, path] {
        // One that is there, or started for the call, and slow to answer
        // shows the folder all the same: opening it too would make a second
        // window.
        if (watcher->isError() && watcher->error().type() != QDBusError::NoReply)
            openFolder(path);
        watcher->deleteLater();
    });
}

void notify(const QString &summary, const QString &body, const QString &path, bool finished)
{
    if (!serviceAnswers(NotificationsService))
        return;
    QStringList actions;
    if (finished && !path.isEmpty())
        actions = {QStringLiteral("open"), QStringLiteral("打开"), QStringLiteral("folder"),
                   QStringLiteral("打开所在文件夹")};
    QDBusMessage call = notificationsCall(QStringLiteral("Notify"));
    call << QStringLiteral("Ondrix") << uint(0) << QStringLiteral("ondrix") << summary
         << (bodyAsItIs() ? body : body.toHtmlEscaped()) << actions << QVariantMap() << int(-1);
    NotificationActions::instance(); // listening before the first button can be pressed
    // Sent at once, even as the program ends (a download landed as it quits).
    auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, AnswerMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, path, finished] {
        const QDBusPendingReply<uint> reply = *watcher;
        if (!reply.isError() && finished)
            NotificationActions::instance().remember(reply.value(), path);
        watcher->deleteLater();
    });
}

} // namespace Desktop

#include "Desktop.moc"
