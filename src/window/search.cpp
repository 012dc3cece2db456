// Search command and progress indicator.
#include <utility>

#include <QLineEdit>

#include "Browser.h"
#include "ClickLabel.h"
#include "Design.h"
#include "Form1.h"
#include "SharedState.h"
#include "TextOps.h"

namespace {

constexpr int ProgressSteps = 7;

// The design's caption of Label8 and 0 to 6 dots.
QString progressCaption(int step)
{
    return QString::fromUtf8(Design::control("Label8").caption) + QString(step, QLatin1Char('.'));
}

bool isProgressCaption(const QString &caption)
{
    for (int step = 0; step < ProgressSteps; ++step) {
        if (caption == progressCaption(step))
            return true;
    }
    return false;
}

} // namespace

QString Form1::searchFailedText(const LoadFailure &failure)
{
    // Only a connection that could not be made is the network's doing.
    switch (failure.kind) {
    case LoadFailure::Unreachable:
        return QStringLiteral("搜索失败，请检查网络后重试");
    case LoadFailure::HttpError:
        return failure.httpStatus == 503 ? QStringLiteral("网站繁忙（HTTP 503），请稍后再试")
                                         : QStringLiteral("网站出错（HTTP %1），请稍后再试").arg(failure.httpStatus);
    case LoadFailure::NoAnswer:
        return QStringLiteral("网站没有响应，请稍后再试");
    case LoadFailure::Refused:
        break;
    }
    return QStringLiteral("网站出错，请稍后再试");
}

QString Form1::nothingFreeText(int entries)
{
    return entries == 0 ? QStringLiteral("没有找到相关的免费资源")
                        : QStringLiteral("找到 %1 个结果，都需要积分").arg(entries);
}

void Form1::hideRowsAndShowProgress()
{
    ++m_scanGeneration;
    m_scanning = false;
    for (QWidget *row : Picture1)
        row->setVisible(false);
    Label8->setVisible(true);
    // The dots carry on where the last search left them, or from the plain
    // text after a failed one, whatever word stood in their place meanwhile.
    // A new caption is announced as it is set; the same one is said again.
    if (!isProgressCaption(Label8->caption()))
        Label8->setCaption(m_dotsBehindWord.isEmpty() ? progressCaption(0) : m_dotsBehindWord);
    else
        Label8->announce();
    Timer1->start();
}

void Form1::startWaitingForResults()
{
    m_resultsDeadline.start();
}

void Form1::Label4_Click()
{
    hideRowsAndShowProgress();
    // Results replace the advertised titles: of the advertisement page only
    // its version text is read from now on, which the window has.
    if (!shared().searchMode())
        W3->restNow();
    shared().SearchMode = true;
    m_keyword = TextOps::Trim(Text1->text());
    m_keywordResent = false;
    sendKeyword(m_siteCharset);
    startWaitingForResults();
}

void Form1::sendKeyword(const QString &charset)
{
    // As the site's own search form sends it: in the encoding of its pages,
    // so that "&", "#", "%", "+" and spaces reach it as typed, and what the
    // encoding lacks as the "&#N;" a browser writes.
    m_keywordCharset = charset.isEmpty() ? QStringLiteral("UTF-8") : charset;
    m_keywordPending = true;
    W1->Navigate(shared().SiteBase + QStringLiteral("/search.php?key=")
                 + QString::fromLatin1(TextOps::formValue(m_keyword, m_keywordCharset)));
}

bool Form1::resendInSiteEncoding()
{
    // The site tells its encoding by the pages it serves.
    const QString charset = W1->characterSet();
    if (!charset.isEmpty() && charset != m_siteCharset) {
        m_siteCharset = charset;
        m_services.siteCharsetLearned(charset);
    }
    if (!std::exchange(m_keywordPending, false) || m_keywordResent || charset.isEmpty()
        || TextOps::formValue(m_keyword, charset) == TextOps::formValue(m_keyword, m_keywordCharset))
        return false;
    // The keyword went out in another encoding than the site reads: its
    // answer is about a garbled keyword, so the search goes once more.
    m_keywordResent = true;
    sendKeyword(charset);
    startWaitingForResults();
    return true;
}

void Form1::Text1_KeyPress(int &keyAscii)
{
    if (keyAscii == 13) {
        Label4_Click();
        keyAscii = 0;
    }
}

void Form1::Timer1_Timer()
{
    const QString caption = Label8->caption();
    for (int step = 0; step < ProgressSteps; ++step) {
        if (caption == progressCaption(step)) {
            Label8->setCaption(progressCaption((step + 1) % ProgressSteps));
            return;
        }
    }
}

void Form1::searchFailed(const LoadFailure &failure)
{
    // A dead site must not look like a slow one: stop the dots and say so.
    stopWaitingForResults();
    m_keywordPending = false;
    // A page click still unanswered holds back no later one.
    m_pageClickPending = false;
    m_dotsBehindWord = progressCaption(0);
    Label8->setCaption(searchFailedText(failure));
    Label8->setVisible(true);
    // The old page's links and identifiers are gone with it.
    forgetResultsPage();
}

void Form1::sayNothingListed(int entries)
{
    // A blank results area looks like a fault: say why no row shows, in the
    // progress text's place and font.
    if (isProgressCaption(Label8->caption()))
        m_dotsBehindWord = Label8->caption();
    Label8->setCaption(nothingFreeText(entries));
    Label8->setVisible(true);
}
