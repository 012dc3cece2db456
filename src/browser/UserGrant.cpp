#include "UserGrant.h"

#include <QLoggingCategory>

#include <atomic>

namespace {
constexpr qint64 GrantLifetimeMs = 2 * 60 * 1000;
Q_LOGGING_CATEGORY(lcRefused, "ondrix.browser.refused")
std::atomic<int> g_refusals {0};
} // namespace

void UserGrant::allow(int downloads, int desktopAddresses)
{
    m_downloads = downloads;
    m_addresses = desktopAddresses;
    m_until.setRemainingTime(GrantLifetimeMs);
}

void UserGrant::clear()
{
    m_downloads = 0;
    m_addresses = 0;
}

bool UserGrant::allows(Effect effect) const
{
    return !m_until.hasExpired() && (effect == Download ? m_downloads : m_addresses) > 0;
}

bool UserGrant::take(Effect effect)
{
    if (!allows(effect))
        return false;
    --left(effect);
    return true;
}

namespace Refusals {

void note(const char *what, const QString &detail)
{
    ++g_refusals;
    // A page can repeat a refused request many times a second; the log line
    // must not grow with whatever the page chose to put in it.
    qCInfo(lcRefused).noquote() << "refused" << what << detail.left(200);
}

int count()
{
    return g_refusals;
}

} // namespace Refusals
