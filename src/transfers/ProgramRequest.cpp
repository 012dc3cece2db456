#include "ProgramRequest.h"

QNetworkRequest programRequest(const QUrl &url, const QUrl &referer, const QByteArray &userAgent, int timeoutMs)
{
    QNetworkRequest request(url);
    if (referer.isValid())
        request.setRawHeader("Referer", referer.toEncoded());
    if (!userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, userAgent);
    request.setRawHeader("Accept-Encoding", "identity");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(timeoutMs);
    return request;
}
