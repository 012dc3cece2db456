#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QUrl>

// A request of the program's own to a download's server, made as the pages'
// requests are: their User-Agent, the file page as Referer (such sites check
// it), and the bytes exactly as the server stores them.
QNetworkRequest programRequest(const QUrl &url, const QUrl &referer, const QByteArray &userAgent, int timeoutMs);
