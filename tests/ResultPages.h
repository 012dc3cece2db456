// Results pages as the engine serializes the site's HTML (upper-case tags).
#pragma once

#include <QString>

namespace ResultPages {

QString entry(const QString &id, const QString &title, const QString &size, int points = 0);
QString page(const QString &entries, bool previous = false, bool next = false);

} // namespace ResultPages
