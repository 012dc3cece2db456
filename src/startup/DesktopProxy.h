#pragma once

#include <optional>

#include <QByteArray>
#include <QNetworkProxyFactory>
#include <QString>
#include <QStringList>

// GNOME's proxy settings (GNOME Settings → Network → Proxy), read straight
// from GSettings, and the engine's start-up switches that say the same:
// the engine cannot ask the desktop per host itself. And the environment's
// proxy for the program's own requests, which libproxy would put after
// GNOME's.
namespace DesktopProxy {

struct Server
{
    QString host;
    int port = 0;
};

struct GnomeSettings
{
    QString mode; // "none", "manual" or "auto"
    QString autoconfigUrl;
    QStringList ignoreHosts;
    Server http;
    Server https;
    Server socks;
};

// Whether the desktop keeps its proxy in GNOME's settings, as libproxy,
// which the program's own requests ask, decides it.
bool isGnomeDesktop();

// GNOME's settings, or nothing where GSettings or the schema is missing.
// Takes a few milliseconds the first time (GIO's modules); any thread.
std::optional<GnomeSettings> readGnome();

// The engine's switches for these settings, e.g. "--proxy-server=...
// --proxy-bypass-list=...", "--proxy-pac-url=..."; empty for none.
QByteArray engineSwitches(const GnomeSettings &settings);

// Keeps the JavaScript engine that libproxy evaluates PAC scripts with
// (its WebKit plugin) loaded to the end: libproxy unloads it when Qt's
// thread that asks it ends, before that thread's own clean-up runs into it,
// and the program would crash on quitting. Nothing where it is not installed.
void keepPacEngine();

// The environment's proxy for the program's own requests, as the engine
// reads it: all_proxy, else http_proxy and https_proxy by scheme; no_proxy's
// hosts and their subdomains ("*" all) go direct. Null where none is set.
QNetworkProxyFactory *environmentProxy();

} // namespace DesktopProxy
