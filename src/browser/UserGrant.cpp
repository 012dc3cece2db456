#include "UserGrant.h"

#include <atomic>

#include <QElapsedTimer>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcRefused, "ondrix.browser.refused")
std::atomic<int> g_refusals {0};
} // namespace

void UserGrant::allow(int downloads, int desktopAddresses)
{
    m_downloads = downloads;
    m_addresses = desktopAddresses;
    m_until.setRemainingTime(LifetimeMs);
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
    // A page can repeat a refused request many times a second: at most ten
    // lines a second, and none longer than the page makes it.
    static QElapsedTimer second;
    static int lines = 0;
    static int skipped = 0;
    if (!second.isValid() || second.elapsed() >= 1000) {
        if (skipped > 0)
            qCInfo(lcRefused) << "refused" << skipped << "more";
        second.start();
        lines = skipped = 0;
    }
    if (++lines > 10) {
        ++skipped;
        return;
    }
    qCInfo(lcRefused).noquote() << "refused" << what << detail.left(200);
}

int count()
{
    return g_refusals;
}

} // namespace Refusals
