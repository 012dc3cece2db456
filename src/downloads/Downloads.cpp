#include "Downloads.h"

#include <algorithm>

bool Downloads::hasUnfinished() const
{
    const QList<DownloadEntry> all = entries();
    return std::any_of(all.cbegin(), all.cend(), [](const DownloadEntry &e) { return e.isUnfinished(); });
}
