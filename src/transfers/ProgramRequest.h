#pragma once

#include <functional>

#include <QByteArray>
#include <QNetworkRequest>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;

// A request of the program's own to a download's server, made as the pages'
// requests are: their User-Agent, the file page as Referer (such sites check
// it) as far as the engine sends it, and the bytes exactly as the server
// stores them.
QNetworkRequest programRequest(const QUrl &url, const QUrl &referer, const QByteArray &userAgent, int timeoutMs);

// Sends such a request (verb "HEAD", else GET) and follows its redirects here,
// as the engine does: each hop a request of its own, with the Referer the
// engine's policy (strict-origin-when-cross-origin) gives it, and the
// cookies the network's jar holds for that hop alone, less the SameSite=Strict
// ones where the file page is of another site. (Qt's own following keeps the
// first hop's Referer, and its Cookie where the jar has none for the next
// host.) hop gets the first reply and each one after a redirect, before any
// of their signals, and connects to them with the reply or context as the
// receiver; each reply is deleted once it has finished, a redirect's
// dropped (dropReply) as the next one is sent. Nothing is sent on once
// context is gone.
void sendProgramRequest(QNetworkAccessManager *network, const QByteArray &verb, const QNetworkRequest &request,
                        const QObject *context, const std::function<void(QNetworkReply *)> &hop);

// Lets reply go unheard: the connections that have it or context as their
// receiver go (hop's must), and deleting it ends its request. Not abort():
// the network thread may have sent its error on already, and a reply cut off
// before that error came would end twice.
void dropReply(QNetworkReply *reply, const QObject *context);

// A Content-Range answer, "bytes 100-199/200": its first byte and the whole
// file's length (-1 for "*"); false when it is none.
bool contentRange(const QByteArray &header, qint64 &first, qint64 &total);
