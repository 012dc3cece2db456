#pragma once

#include "Form1.h"

class Downloads;
class QUrl;
class WebEngineSession;

namespace Module1 {

// Start-up: fills in the version and both addresses, runs beforeBuild (if
// any), loads the window (its load logic runs before it is shown), lets
// pending events run once, then shows it. Returns the window, which lives
// until the program ends.
Form1 *Main(const BrowserFactory &browsers, Form1Services services = Form1Services::desktop(),
            const std::function<void()> &beforeBuild = {});

// The same on the real engine: the three browsers on the session's profile,
// the download list and its notifications, and unfinished downloads asked
// about before the program ends.
Form1 *Main(WebEngineSession &session);

// The three hidden browsers on the session's profile, each kept to what its
// slot may do. Reads the site address when a browser is made.
BrowserFactory engineBrowsers(WebEngineSession &session);

// The window's row clicks as entries of the downloads: services that
// register each click and say why one led to nothing, and the answers of
// the downloads that came.
Form1Services withDownloads(Form1Services services, Downloads &downloads);
void answerClicks(Form1 *form, Downloads &downloads);
// Asks what becomes of the unfinished downloads: kept for the next start
// (the default), cancelled, or the program stays. True means it may quit.
bool confirmQuit(Downloads &downloads, QWidget *parent);

// Starts filling the font database and decoding the window's images on other
// threads, while the engine starts on this one: the window needs them. Call after the
// application object exists, before the session.
void prepareWindow();

// The desktop's proxy, host by host: the program's own requests ask Qt
// Network (libproxy: GNOME's and KDE's settings among others) per request;
// the engine, which takes one configuration at its start, gets GNOME's as
// switches (proxies and exempt hosts, or the PAC address), read on another
// thread until the first session starts it (it reads KDE's itself). A proxy
// of the environment wins: the engine reads that one itself, the program's
// own requests follow it as the engine does. Call before the first
// WebEngineSession, best before the application object.
void followDesktopProxy();

// Names the application for the desktop. The program ends only through the
// window's close logic, not when the last window (say, a download's) closes.
void describeApplication();

// Brings the running window to the front for a later start of the program.
void raise(QWidget *window, const QByteArray &token = {});

// Installs Qt's own Chinese translations (Debian's qt6-translations-l10n),
// so stock buttons read 确定/取消 and 是/否. False when they are missing.
bool loadTranslations();

// Why the program cannot start (run as root, where the engine would end it
// without a word), said on the terminal; or nothing.
QString startRefusal();
// Shows it in a box, where there is a screen to show it on.
void showRefusal(const QString &why);

} // namespace Module1
