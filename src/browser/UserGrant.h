#pragma once

#include <QDeadlineTimer>

// What the user's latest action in one hidden browser lets its pages do. The
// pages are never seen, so nothing they do by themselves may reach the desktop:
// a download or an address handed to the desktop browser must be paid for by
// an action of the user that the program carried out in that browser.
class UserGrant
{
public:
    enum Effect { Download, DesktopAddress };
    static constexpr qint64 LifetimeMs = 2 * 60 * 1000;

    // Replaces whatever was left of the last grant. Some sites count down
    // before the download starts, hence the generous lifetime.
    void allow(int downloads, int desktopAddresses);
    void clear();

    bool allows(Effect effect) const;
    // Uses up one of the effect; false when none is left.
    bool take(Effect effect);

private:
    int &left(Effect effect) { return effect == Download ? m_downloads : m_addresses; }

    int m_downloads = 0;
    int m_addresses = 0;
    QDeadlineTimer m_until;
};

// Refused effects of the pages: logged under "ondrix.browser.refused" and
// counted, never shown to the user.
namespace Refusals {
void note(const char *what, const QString &detail);
int count();
} // namespace Refusals
