#pragma once

#include <QDeadlineTimer>

#include "Browser.h"

// What the user's latest action in one hidden browser lets its pages do. The
// pages are never seen, so nothing they do by themselves may reach the desktop:
// a download or an address handed to the desktop browser must be paid for by
// an action of the user that the program carried out in that browser.
class UserGrant
{
public:
    enum Effect { Download, DesktopAddress };
    static constexpr qint64 LifetimeMs = Browser::UserActionMs;

    // Allows nothing.
    UserGrant() = default;
    // Allows what the action allows, for LifetimeMs from now.
    explicit UserGrant(UserAllowance allowance);

    bool allows(Effect effect) const;
    bool allowsAnything() const { return allows(Download) || allows(DesktopAddress); }
    // The entry the action's download belongs to; it stays when the effects
    // are spent.
    int entry() const { return m_left.entry; }
    // Uses up one of the effect; false when none is left.
    bool take(Effect effect);

private:
    // The count of one effect in a, const or not.
    template<typename A> static auto &left(A &a, Effect effect)
    {
        return effect == Download ? a.downloads : a.desktopAddresses;
    }

    UserAllowance m_left;
    QDeadlineTimer m_until; // expired: allows nothing
};
