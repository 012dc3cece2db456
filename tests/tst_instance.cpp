#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "SingleInstance.h"

class InstanceTest : public QObject
{
    Q_OBJECT

private slots:
    void secondStartRaisesFirstAndExits()
    {
        // The program's socket in a runtime directory of its own.
        QTemporaryDir runtime;
        QVERIFY(QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        SingleInstance first(runtime.path() + "/ondrix.socket");
        QCOMPARE(first.start(), SingleInstance::Role::First);
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);

        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_ACTIVATION_TOKEN", "token-1");
        second.setProcessEnvironment(env);
        second.start(ONDRIX_BIN, {"-platform", "offscreen"});
        QVERIFY(raised.wait(20000));
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(raised.size(), 1);
        QCOMPARE(raised.at(0).at(0).toByteArray(), QByteArray("token-1"));
    }

    void leftOverSocketDoesNotBlock()
    {
        // A socket file bound and never removed, as a crashed run leaves it.
        QTemporaryDir runtime;
        const QString path = runtime.path() + "/ondrix.socket";
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);

        SingleInstance next(path);
        QCOMPARE(next.start(), SingleInstance::Role::First);
        QLocalSocket later;
        later.connectToServer(path);
        QVERIFY(later.waitForConnected());
    }

    // A start while the first one ends (its window gone, its engine winding
    // down, no longer answering) opens the window once the first has gone.
    void aStartAsTheFirstEndsOpensTheWindow()
    {
        QTemporaryDir runtime;
        const QString path = runtime.path() + "/ondrix.socket";
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QCOMPARE(::listen(fd, 4), 0);
        QProcess next;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        next.setProcessEnvironment(env);
        next.start(ONDRIX_BIN, {"-platform", "offscreen"});
        pollfd asked {fd, POLLIN, 0};
        QCOMPARE(::poll(&asked, 1, 60000), 1);
        ::close(::accept(fd, nullptr, nullptr));
        ::close(fd); // the first has gone
        QTRY_VERIFY_WITH_TIMEOUT(SingleInstance::askRunningToRaise(path), 60000);
        next.kill();
        next.waitForFinished();
    }

    // Run as root, where the engine would end the process without a word,
    // the program says why.
    void asRootItSaysWhyItCannotRun()
    {
        if (::geteuid() != 0)
            QSKIP("not run as root");
        QTemporaryDir runtime;
        QProcess start;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QTWEBENGINE_DISABLE_SANDBOX");
        env.remove("QTWEBENGINE_CHROMIUM_FLAGS");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        start.setProcessEnvironment(env);
        start.start(ONDRIX_BIN, {"-platform", "offscreen"});
        QVERIFY(start.waitForFinished(60000));
        QCOMPARE(start.exitCode(), 1);
        const QByteArray said = start.readAllStandardError();
        QVERIFY2(said.contains("不能以 root 身份运行"), said.constData());
    }
};

QTEST_GUILESS_MAIN(InstanceTest)
#include "tst_instance.moc"
