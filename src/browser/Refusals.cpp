#include "Refusals.h"

#include <QElapsedTimer>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcRefused, "ondrix.browser.refused")
} // namespace

namespace Refusals {

void note(const char *what, const QString &detail)
{
    // A page can repeat a refused request many times a second: at most ten
    // lines a second.
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

} // namespace Refusals
