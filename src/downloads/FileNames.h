#pragma once

#include <QString>

// The name a download is saved under, from the name a site suggests. Sites
// are not trusted with it: it must be a plain name in the download folder,
// must not pass for another file, and must fit the file system.
namespace FileNames {

// A plain file name from a suggested one ("download" when nothing is left),
// short enough for " (n)" and the engine's partial-file suffix.
QString sanitize(const QString &suggested);

// The name a site meant, from the one the engine made of it. The engine reads
// a name sent as raw bytes as Latin-1, and one taken from the address as
// UTF-8 (U+FFFD where it is not); bytes that are not UTF-8 were written in
// the encoding of the site's pages (`charset`), as the site's own visitors'
// browsers read them. addressName is the last segment of the download's
// address, percent-decoded. A name the engine read right (RFC 5987
// filename*, valid UTF-8) stays as it is.
QString siteName(const QString &engineName, const QByteArray &addressName, const QString &charset);

// The name a Content-Disposition header gives, read from the server's own
// bytes (the engine takes a backslash in them for a path separator, and GBK
// and Big5 characters hold that byte): UTF-8 where they are, else in the
// encoding of the site's pages (charset). The value is then read as browsers
// read it: an RFC 5987 filename* wins; in filename=, quoted pairs,
// RFC 2047 words and percent-escapes, as UTF-8 where they are, else in
// charset, as the site's visitors' browsers read them in its code page.
// Empty when the header names nothing.
QString dispositionName(const QByteArray &header, const QString &charset);

} // namespace FileNames
