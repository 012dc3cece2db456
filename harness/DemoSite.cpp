#include "DemoSite.h"

#include <csignal>
#include <sys/prctl.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUrl>

QByteArray DemoReply::header(const QByteArray &name) const
{
    for (const auto &h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

DemoSite::DemoSite() = default;

DemoSite::~DemoSite()
{
    stop();
}

bool DemoSite::start(const QStringList &extraArgs)
{
    stop();
    m_proc = std::make_unique<QProcess>();
    m_proc->setProgram(QStringLiteral(ONDRIX_DEMO_SITE_BIN));
    m_logDir = std::make_unique<QTemporaryDir>();
    m_proc->setArguments(QStringList {QStringLiteral("--site-port"), QStringLiteral("0"), QStringLiteral("--home-port"),
                                      QStringLiteral("0"), QStringLiteral("--catalogue"),
                                      QStringLiteral(ONDRIX_DEMO_CATALOGUE), QStringLiteral("--log"),
                                      m_logDir->filePath(QStringLiteral("requests.log"))}
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

void DemoSite::stop()
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

qint64 DemoSite::processId() const
{
    return m_proc ? m_proc->processId() : 0;
}

QStringList DemoSite::requests() const
{
    QFile log(m_logDir ? m_logDir->filePath(QStringLiteral("requests.log")) : QString());
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QList<DemoRow> DemoSite::freeRows(const QByteArray &encodedKey, int page) const
{
    return freeRows(m_siteBase, encodedKey, page);
}

QList<DemoRow> DemoSite::freeRows(const QString &siteBase, const QByteArray &encodedKey, int page)
{
    const DemoReply r = get(siteBase, "/search.php?key=" + encodedKey + "&page=" + QByteArray::number(page));
    static const QRegularExpression entry(QStringLiteral(
        R"(<a href="/f/(\w+)\.html"[^>]*>(.*?)</a></div><div class="m">(<span[^>]*>[^<]*</span> )?(?:大小:([^|<]*)\|)?)"));
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QList<DemoRow> rows;
    // A site in GBK says so in its pages, or says nothing at all.
    QStringDecoder decoder
        = r.body.contains("charset=\"utf-8\"") ? QStringDecoder(QStringConverter::Utf8) : QStringDecoder("GBK");
    for (auto it = entry.globalMatch(decoder.decode(r.body)); it.hasNext();) {
        const auto m = it.next();
        if (!m.captured(3).isEmpty())
            continue;
        // The window shows the references the site writes as their
        // characters. An entry without a size shows "title()".
        QString title = m.captured(2).remove(tag);
        title.replace(QLatin1String("&quot;"), QLatin1String("\""))
            .replace(QLatin1String("&#39;"), QLatin1String("'"))
            .replace(QLatin1String("&lt;"), QLatin1String("<"))
            .replace(QLatin1String("&gt;"), QLatin1String(">"))
            .replace(QLatin1String("&amp;"), QLatin1String("&"));
        rows.append({m.captured(1), title + QLatin1Char('(') + m.captured(4) + QLatin1Char(')')});
    }
    return rows;
}

QByteArray DemoSite::fileBytes(const QString &id, int revision)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QStringLiteral(ONDRIX_DEMO_SITE_BIN),
            {QStringLiteral("--catalogue"), QStringLiteral(ONDRIX_DEMO_CATALOGUE), QStringLiteral("--revision"),
             QString::number(revision), QStringLiteral("--dump-file"), id});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

DemoReply DemoSite::get(const QString &base, const QByteArray &target)
{
    DemoReply reply;
    const QUrl url(base);
    QTcpSocket socket;
    socket.connectToHost(url.host(), quint16(url.port(80)));
    if (!socket.waitForConnected(10000))
        return reply;
    socket.write("GET " + target + " HTTP/1.1\r\nHost: " + url.authority().toLatin1()
                 + "\r\nConnection: close\r\n\r\n");
    QByteArray raw;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        raw += socket.readAll();
    raw += socket.readAll();

    const qsizetype headEnd = raw.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return reply;
    const QList<QByteArray> lines = raw.left(headEnd).split('\n');
    reply.status = lines.value(0).trimmed().split(' ').value(1).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            reply.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
    }
    reply.body = raw.mid(headEnd + 4);
    return reply;
}

bool DemoSite::portFree(const QString &host, int port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress(host), quint16(port));
}

int DemoSite::closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    return probe.serverPort(); // closed again as the probe goes
}
