#pragma once

#include <QString>

// The name a download is saved under, from the name a site suggests. Sites
// are not trusted with it: it must be a plain name in the download folder,
// must not pass for another file, and must fit the file system.
namespace FileNames {

// A plain file name from a suggested one ("download" when nothing is left),
// short enough for " (n)" and the engine's partial-file suffix.
QString sanitize(const QString &suggested);

} // namespace FileNames
