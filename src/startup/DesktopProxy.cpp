#include "DesktopProxy.h"

#include <algorithm>
#include <dlfcn.h>
#include <memory>

#include <QNetworkProxy>
#include <QUrl>

namespace DesktopProxy {

namespace {

// GSettings comes with GLib, which Qt loads anyway; opened at run time, the
// few calls below need no GLib headers to build. Its objects are opaque.
struct Gio
{
    void *(*sourceDefault)();
    void *(*lookup)(void *source, const char *id, int recursive);
    void (*schemaUnref)(void *schema);
    void *(*settingsNew)(void *schema, void *backend, const char *path);
    char *(*getString)(void *settings, const char *key);
    int (*getInt)(void *settings, const char *key);
    char **(*getStrv)(void *settings, const char *key);
    void (*objectUnref)(void *object);
    void (*free)(void *memory);
    void (*strfreev)(char **strings);
};

template<typename F> bool resolve(void *library, const char *name, F &function)
{
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

// Opened once and never closed: GLib's types cannot be unloaded.
const Gio *gio()
{
    static const std::optional<Gio> loaded = []() -> std::optional<Gio> {
        void *library = dlopen("libgio-2.0.so.0", RTLD_LAZY | RTLD_LOCAL);
        Gio g {};
        if (!library || !resolve(library, "g_settings_schema_source_get_default", g.sourceDefault)
            || !resolve(library, "g_settings_schema_source_lookup", g.lookup)
            || !resolve(library, "g_settings_schema_unref", g.schemaUnref)
            || !resolve(library, "g_settings_new_full", g.settingsNew)
            || !resolve(library, "g_settings_get_string", g.getString)
            || !resolve(library, "g_settings_get_int", g.getInt) || !resolve(library, "g_settings_get_strv", g.getStrv)
            || !resolve(library, "g_object_unref", g.objectUnref) || !resolve(library, "g_free", g.free)
            || !resolve(library, "g_strfreev", g.strfreev))
            return std::nullopt;
        return g;
    }();
    return loaded ? &*loaded : nullptr;
}

// One schema's settings; null where it is not installed (GSettings would abort).
class Settings
{
public:
    Settings(const Gio &g, const char *schemaId)
        : m_gio(g)
    {
        void *source = g.sourceDefault();
        void *schema = source ? g.lookup(source, schemaId, 1) : nullptr;
        if (schema) {
            m_settings = g.settingsNew(schema, nullptr, nullptr);
            g.schemaUnref(schema);
        }
    }
    ~Settings()
    {
        if (m_settings)
            m_gio.objectUnref(m_settings);
    }
    Settings(const Settings &) = delete;
    Settings &operator=(const Settings &) = delete;

    explicit operator bool() const { return m_settings != nullptr; }

    QString string(const char *key) const
    {
        char *value = m_gio.getString(m_settings, key);
        const QString out = QString::fromUtf8(value);
        m_gio.free(value);
        return out;
    }
    QStringList strings(const char *key) const
    {
        char **values = m_gio.getStrv(m_settings, key);
        QStringList out;
        for (char **v = values; v && *v; ++v)
            out << QString::fromUtf8(*v);
        m_gio.strfreev(values);
        return out;
    }
    Server server() const { return {string("host"), m_gio.getInt(m_settings, "port")}; }

private:
    const Gio &m_gio;
    void *m_settings = nullptr;
};

// The switches are split at spaces; a host holds none, nor separators.
bool plain(const QString &text)
{
    return !text.isEmpty()
           && std::none_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace() || c == u';' || c == u','; });
}

QByteArray hostPort(const Server &s)
{
    return s.host.toUtf8() + ':' + QByteArray::number(s.port);
}

bool usable(const Server &s)
{
    return plain(s.host) && s.port > 0 && s.port < 65536;
}

QNetworkProxy proxyOf(const QString &address)
{
    const QUrl url = QUrl::fromUserInput(address);
    if (address.isEmpty() || !url.isValid() || url.host().isEmpty())
        return QNetworkProxy::NoProxy;
    const bool socks = url.scheme().startsWith(QLatin1String("socks"));
    return QNetworkProxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy, url.host(),
                         quint16(url.port(socks ? 1080 : 80)), url.userName(), url.password());
}

QString variable(const char *lower, const char *upper)
{
    return qEnvironmentVariableIsEmpty(lower) ? qEnvironmentVariable(upper) : qEnvironmentVariable(lower);
}

class EnvironmentProxy final : public QNetworkProxyFactory
{
public:
    EnvironmentProxy()
        : m_all(proxyOf(variable("all_proxy", "ALL_PROXY")))
        , m_http(proxyOf(variable("http_proxy", "HTTP_PROXY")))
        , m_https(proxyOf(variable("https_proxy", "HTTPS_PROXY")))
    {
        for (const QString &host : variable("no_proxy", "NO_PROXY").split(u',', Qt::SkipEmptyParts))
            m_exempt << host.trimmed().section(u':', 0, 0);
    }
    bool any() const
    {
        return m_all.type() != QNetworkProxy::NoProxy || m_http.type() != QNetworkProxy::NoProxy
               || m_https.type() != QNetworkProxy::NoProxy;
    }

    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        const QString host = query.url().host();
        for (const QString &exempt : m_exempt) {
            const QString domain = exempt.startsWith(u'.') ? exempt.mid(1) : exempt;
            if (exempt == QLatin1String("*") || host == domain || host.endsWith(u'.' + domain))
                return {QNetworkProxy::NoProxy};
        }
        if (m_all.type() != QNetworkProxy::NoProxy)
            return {m_all};
        return {query.url().scheme() == QLatin1String("https") ? m_https : m_http};
    }

private:
    QNetworkProxy m_all, m_http, m_https;
    QStringList m_exempt;
};

} // namespace

void keepPacEngine()
{
    dlopen("libjavascriptcoregtk-4.0.so.18", RTLD_LAZY | RTLD_LOCAL | RTLD_NODELETE);
}

QNetworkProxyFactory *environmentProxy()
{
    auto factory = std::make_unique<EnvironmentProxy>();
    return factory->any() ? factory.release() : nullptr;
}

bool isGnomeDesktop()
{
    const QString session = qEnvironmentVariable("DESKTOP_SESSION");
    return !qEnvironmentVariableIsEmpty("GNOME_DESKTOP_SESSION_ID") || session.startsWith(QLatin1String("gnome"))
           || qEnvironmentVariable("XDG_CURRENT_DESKTOP")
                  .split(u':')
                  .contains(QLatin1String("GNOME"), Qt::CaseInsensitive);
}

std::optional<GnomeSettings> readGnome()
{
    const Gio *g = gio();
    if (!g)
        return std::nullopt;
    const Settings proxy(*g, "org.gnome.system.proxy");
    const Settings http(*g, "org.gnome.system.proxy.http");
    const Settings https(*g, "org.gnome.system.proxy.https");
    const Settings socks(*g, "org.gnome.system.proxy.socks");
    if (!proxy || !http || !https || !socks)
        return std::nullopt;
    return GnomeSettings {.mode = proxy.string("mode"),
                          .autoconfigUrl = proxy.string("autoconfig-url"),
                          .ignoreHosts = proxy.strings("ignore-hosts"),
                          .http = http.server(),
                          .https = https.server(),
                          .socks = socks.server()};
}

QByteArray engineSwitches(const GnomeSettings &settings)
{
    if (settings.mode == QLatin1String("auto")) {
        // No address: the network's own (WPAD), as GNOME does.
        return plain(settings.autoconfigUrl) ? "--proxy-pac-url=" + settings.autoconfigUrl.toUtf8()
                                             : QByteArray("--proxy-auto-detect");
    }
    if (settings.mode != QLatin1String("manual"))
        return {};
    // As libproxy answers the program's own requests: a SOCKS proxy, where
    // set, for everything; else one for each scheme.
    QByteArrayList rules;
    if (usable(settings.socks)) {
        rules << "socks5://" + hostPort(settings.socks);
    } else {
        if (usable(settings.http))
            rules << "http=" + hostPort(settings.http);
        if (usable(settings.https))
            rules << "https=" + hostPort(settings.https);
    }
    if (rules.isEmpty())
        return {};
    QByteArrayList bypass;
    for (const QString &host : settings.ignoreHosts) {
        if (plain(host))
            bypass << host.toUtf8();
    }
    QByteArray out = "--proxy-server=" + rules.join(';');
    if (!bypass.isEmpty())
        out += " --proxy-bypass-list=" + bypass.join(';');
    return out;
}

} // namespace DesktopProxy
