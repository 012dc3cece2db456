// Starts ondrix-demo-site on free loopback ports for a test and stops it
// again. Also a minimal blocking HTTP/1.1 client so tests can look at the
// exact bytes on the wire without pulling in Qt Network.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <csignal>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <memory>

#ifndef ONDRIX_DEMO_SITE_BIN
#error "ONDRIX_DEMO_SITE_BIN must name the ondrix-demo-site executable"
#endif
#ifndef ONDRIX_DEMO_CATALOGUE
#error "ONDRIX_DEMO_CATALOGUE must name the demo catalogue file"
#endif

struct DemoReply {
    int status = 0; // 0: no answer at all
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers) {
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        }
        return {};
    }
};

class DemoSite
{
public:
    DemoSite() = default;
    DemoSite(const DemoSite &) = delete;
    DemoSite &operator=(const DemoSite &) = delete;
    ~DemoSite() { stop(); }

    // Set ONDRIX_DEMO_SITE_LOG=1 to see the server's access log.
    bool start(const QStringList &extraArgs = {})
    {
        stop();
        m_proc = std::make_unique<QProcess>();
        m_proc->setProgram(QStringLiteral(ONDRIX_DEMO_SITE_BIN));
        m_proc->setArguments(QStringList{QStringLiteral("--site-port"), QStringLiteral("0"),
                                         QStringLiteral("--home-port"), QStringLiteral("0"),
                                         QStringLiteral("--catalogue"), QStringLiteral(ONDRIX_DEMO_CATALOGUE)}
                             + extraArgs);
        // Never leave stderr in an undrained pipe: a full pipe would block the
        // server's logging while a test sits in a blocking call.
        if (qEnvironmentVariableIsSet("ONDRIX_DEMO_SITE_LOG"))
            m_proc->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        else
            m_proc->setStandardErrorFile(QProcess::nullDevice());
        // A test that dies without cleaning up must not leave the server running.
        m_proc->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_proc->start();
        if (!m_proc->waitForStarted(10000)) {
            m_error = m_proc->errorString();
            return false;
        }
        const QDeadlineTimer deadline(10000);
        while (m_siteBase.isEmpty() || m_homePage.isEmpty()) {
            if (m_proc->canReadLine()) {
                const QString line = QString::fromUtf8(m_proc->readLine()).trimmed();
                if (line.startsWith(QLatin1String("resource site: ")))
                    m_siteBase = line.mid(15);
                else if (line.startsWith(QLatin1String("home site: ")))
                    m_homePage = line.mid(11);
                continue;
            }
            if (deadline.hasExpired() || !m_proc->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
                if (m_proc->canReadLine())
                    continue;
                m_error = QStringLiteral("demo site did not announce its ports (state %1, exit code %2)")
                              .arg(int(m_proc->state()))
                              .arg(m_proc->exitCode());
                stop();
                return false;
            }
        }
        return true;
    }

    void stop()
    {
        if (m_proc) {
            if (m_proc->state() != QProcess::NotRunning) {
                m_proc->terminate();
                if (!m_proc->waitForFinished(5000)) {
                    m_proc->kill();
                    m_proc->waitForFinished(5000);
                }
            }
            m_proc.reset();
        }
        m_siteBase.clear();
        m_homePage.clear();
    }

    // The server's process id, 0 when not running (soak excludes it from memory).
    qint64 processId() const { return m_proc ? m_proc->processId() : 0; }
    QString siteBase() const { return m_siteBase; }
    QString homePage() const { return m_homePage; }
    QString errorString() const { return m_error; }

    // The exact bytes the resource site serves at /d/ID (empty if unknown).
    static QByteArray fileBytes(const QString &id)
    {
        QProcess p;
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(QStringLiteral(ONDRIX_DEMO_SITE_BIN),
                {QStringLiteral("--catalogue"), QStringLiteral(ONDRIX_DEMO_CATALOGUE), QStringLiteral("--dump-file"),
                 id});
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
            return {};
        return p.readAllStandardOutput();
    }

    // One request on its own connection. `target` goes on the request line
    // verbatim (already percent-encoded), e.g. "/search.php?key=C%23".
    static DemoReply get(const QString &base, const QByteArray &target, const QByteArray &method = "GET")
    {
        DemoReply reply;
        const QUrl url(base);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(quint16(url.port(80)));
        if (inet_pton(AF_INET, url.host().toLatin1().constData(), &addr.sin_addr) != 1)
            return reply;
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0)
            return reply;
        timeval tv{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        QByteArray raw;
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            const QByteArray request = method + ' ' + target + " HTTP/1.1\r\nHost: " + url.authority().toLatin1()
                                       + "\r\nConnection: close\r\n\r\n";
            if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
                char buf[65536];
                for (;;) {
                    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                    if (n <= 0)
                        break;
                    raw.append(buf, qsizetype(n));
                }
            }
        }
        ::close(fd);

        const qsizetype headEnd = raw.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return reply;
        const QList<QByteArray> lines = raw.left(headEnd).split('\n');
        const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
        reply.status = statusLine.value(1).toInt();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                reply.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        reply.body = raw.mid(headEnd + 4);
        return reply;
    }

private:
    std::unique_ptr<QProcess> m_proc;
    QString m_siteBase;
    QString m_homePage;
    QString m_error;
};
