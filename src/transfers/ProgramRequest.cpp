#include "ProgramRequest.h"

#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>

namespace {

// The file page the request started from, kept for every hop.
constexpr auto FilePage = QNetworkRequest::Attribute(QNetworkRequest::User + 35);

// As the engine follows them.
constexpr int MaxHops = 20;

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(-1) == b.port(-1);
}

// strict-origin-when-cross-origin: the whole address to its own origin, the
// origin elsewhere, nothing from https to http.
QByteArray refererFor(const QUrl &page, const QUrl &target)
{
    if (!page.isValid() || (page.scheme() == QLatin1String("https") && target.scheme() != QLatin1String("https")))
        return {};
    if (sameOrigin(page, target))
        return page.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment).toEncoded();
    return page.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment).toEncoded()
           + '/';
}

// Whether the file page's host is of the cookie's own domain: then page and
// hop are of one site. (Where the cookie's domain is a subdomain the page
// is not in, the engine might still take them for one site; such a Strict
// cookie stays home.)
bool pageOfCookieSite(const QUrl &page, const QNetworkCookie &cookie)
{
    const QString host = page.host();
    const QString domain = cookie.domain();
    if (!domain.startsWith(u'.'))
        return host == domain;
    return host == QStringView(domain).mid(1) || host.endsWith(domain);
}

QNetworkRequest hopRequest(QNetworkAccessManager *network, const QNetworkRequest &first, const QUrl &url)
{
    QNetworkRequest request(first);
    request.setUrl(url);
    const QUrl page = first.attribute(FilePage).toUrl();
    request.setRawHeader("Referer", refererFor(page, url)); // none when null
    QList<QNetworkCookie> cookies = network->cookieJar()->cookiesForUrl(url);
    // No page: the user's own request, which is of every site.
    if (page.isValid()) {
        cookies.removeIf([&page](const QNetworkCookie &c) {
            return c.sameSitePolicy() == QNetworkCookie::SameSite::Strict && !pageOfCookieSite(page, c);
        });
    }
    request.setHeader(QNetworkRequest::CookieHeader, cookies.isEmpty() ? QVariant() : QVariant::fromValue(cookies));
    return request;
}

void sendHop(QNetworkAccessManager *network, const QByteArray &verb, const QNetworkRequest &first, const QUrl &url,
             int hopsLeft, QPointer<const QObject> context, const std::function<void(QNetworkReply *)> &hop)
{
    const QNetworkRequest request = hopRequest(network, first, url);
    // Qt reads the answer to a HEAD it was given as a custom verb as though
    // it had a body.
    QNetworkReply *reply = verb == "HEAD" ? network->head(request) : network->get(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    // Before the caller's: a redirect's reply is cut off from them unseen.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [=] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QUrl next = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        if (!redirect || !next.isValid() || hopsLeft <= 0 || !context)
            return;
        const QUrl target = url.resolved(next);
        if (target.scheme() != QLatin1String("http") && target.scheme() != QLatin1String("https"))
            return;
        dropReply(reply, context);
        sendHop(network, verb, first, target, hopsLeft - 1, context, hop);
    });
    hop(reply);
}

} // namespace

QNetworkRequest programRequest(const QUrl &url, const QUrl &referer, const QByteArray &userAgent, int timeoutMs)
{
    QNetworkRequest request(url);
    if (referer.isValid()) {
        request.setAttribute(FilePage, referer);
        request.setRawHeader("Referer", refererFor(referer, url));
    }
    if (!userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setRawHeader("Accept-Encoding", "identity");
    // Each hop is sent afresh (sendProgramRequest), with the jar's cookies
    // as they are for it.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(timeoutMs);
    return request;
}

void sendProgramRequest(QNetworkAccessManager *network, const QByteArray &verb, const QNetworkRequest &request,
                        const QObject *context, const std::function<void(QNetworkReply *)> &hop)
{
    sendHop(network, verb, request, request.url(), MaxHops, context, hop);
}

void dropReply(QNetworkReply *reply, const QObject *context)
{
    // Not reply->disconnect(): Qt's own connections, which end the request
    // in the network thread, would go too.
    reply->disconnect(reply);
    if (context)
        reply->disconnect(context);
    reply->deleteLater();
}

bool contentRange(const QByteArray &header, qint64 &first, qint64 &total)
{
    static const QRegularExpression form(QStringLiteral(R"(^bytes\s+(\d+)-(\d+)/(\d+|\*)$)"));
    const QRegularExpressionMatch m = form.match(QString::fromLatin1(header.trimmed()));
    if (!m.hasMatch())
        return false;
    first = m.captured(1).toLongLong();
    total = m.captured(3) == QLatin1String("*") ? -1 : m.captured(3).toLongLong();
    return true;
}
