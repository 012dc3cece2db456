// Starts ondrix-demo-site on free loopback ports for a test or a benchmark and
// stops it again; reads what the site serves, to compare the window against.
#pragma once

#include <memory>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class QProcess;
class QTemporaryDir;

struct DemoReply
{
    int status = 0; // 0: no answer at all
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const;
};

// A free entry of a results page as the window should show it.
struct DemoRow
{
    QString id;
    QString caption; // "title(size)"
};

class DemoSite
{
public:
    DemoSite();
    DemoSite(const DemoSite &) = delete;
    DemoSite &operator=(const DemoSite &) = delete;
    ~DemoSite();

    // Set ONDRIX_DEMO_SITE_LOG=1 to see the server's access log. Later
    // arguments win, so --site-port and --home-port override the free ports.
    bool start(const QStringList &extraArgs = {});
    void stop();

    qint64 processId() const; // 0 when not running
    QString siteBase() const { return m_siteBase; }
    QString homePage() const { return m_homePage; }
    QString errorString() const { return m_error; }

    // The requests the site has answered since it started, oldest first, each
    // "[site] METHOD TARGET range=RANGE STATUS" with the target as sent, or
    // "[site] METHOD TARGET range=RANGE if-range=VALIDATOR STATUS" for one
    // that sent If-Range (a date validator has spaces of its own).
    QStringList requests() const;

    // The free entries of the results page for this (already encoded) key.
    QList<DemoRow> freeRows(const QByteArray &encodedKey, int page = 1) const;
    // The same from a demo site at siteBase that another process runs.
    static QList<DemoRow> freeRows(const QString &siteBase, const QByteArray &encodedKey, int page = 1);

    // The exact bytes the resource site serves at /d/ID (empty if unknown),
    // in a site started with --revision `revision`.
    static QByteArray fileBytes(const QString &id, int revision = 0);
    // One GET on its own connection. `target` goes on the request line
    // verbatim (already percent-encoded), e.g. "/search.php?key=C%23".
    static DemoReply get(const QString &base, const QByteArray &target);
    // Whether nothing listens on this loopback address and port (the demo
    // site shares ports through SO_REUSEPORT, so a bind is the only reliable
    // test).
    static bool portFree(const QString &host, int port);
    // A loopback port where nothing listens.
    static int closedPort();

private:
    std::unique_ptr<QProcess> m_proc;
    std::unique_ptr<QTemporaryDir> m_logDir;
    QString m_siteBase;
    QString m_homePage;
    QString m_error;
};
