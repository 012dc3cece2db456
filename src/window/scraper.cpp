// Result-page scraper.
#include <QCoreApplication>
#include <QPointer>
#include <QScopeGuard>

#include "Browser.h"
#include "ClickLabel.h"
#include "Design.h"
#include "Form1.h"
#include "ResultScan.h"
#include "SharedState.h"
#include "TextOps.h"

namespace {

void setPagingLabel(ClickLabel *label, bool enabled)
{
    label->setEnabled(enabled);
    label->setForeColor(enabled ? Design::PagingActive : Design::ButtonFace);
}

} // namespace

QString Form1::HtmToTxt(const QString &text)
{
    return TextOps::HtmToTxt(text, [] { QCoreApplication::processEvents(); });
}

// What an empty results page leaves: no identifiers, no rows, both paging
// labels off. The scan shows the rows of its own page only, whatever an
// earlier click put back meanwhile.
void Form1::forgetResultsPage()
{
    List1->clear();
    for (QWidget *row : Picture1)
        row->setVisible(false);
    setPagingLabel(Label1, false);
    setPagingLabel(Label2, false);
}

void Form1::stopWaitingForResults()
{
    m_resultsDeadline.stop();
    Timer1->stop();
}

void Form1::W1_DocumentComplete()
{
    if (!shared().searchMode() || resendInSiteEncoding())
        return;
    stopWaitingForResults();
    Label8->setVisible(false);
    const quint64 generation = ++m_scanGeneration;
    forgetResultsPage();
    const QString page = TextOps::Trim(W1->bodyHtml());
    if (page.contains(QStringLiteral("上一页")))
        setPagingLabel(Label1, true);
    if (page.contains(QStringLiteral("下一页")))
        setPagingLabel(Label2, true);

    // Events run between entries so long pages keep the window responsive. A
    // search, page change or newer scan in the meantime owns the rows from then
    // on, and this scan stops, so row n and entry n of List1 always belong to
    // the page scraped last.
    QPointer<Form1> self(this);
    const auto superseded = [&] { return !self || m_scanGeneration != generation; };
    m_scanning = true;
    const auto scanned = qScopeGuard([&] {
        if (!superseded())
            m_scanning = false;
    });
    ResultScanner scanner(page);
    while (const auto entry = scanner.next(Label5->caption())) {
        if (!entry->costsPoints) {
            List1->addItem(entry->identifier);
            if (entry->row < RowCount) {
                const QString title = HtmToTxt(entry->title);
                if (superseded())
                    return;
                Label3[entry->row]->setCaption(
                    TextOps::captionText(title + QLatin1Char('(') + entry->sizeText + QLatin1Char(')')));
                Picture1[entry->row]->setVisible(true);
            }
        }
        QCoreApplication::processEvents();
        if (superseded())
            return;
    }
    if (List1->count() == 0)
        sayNothingListed(scanner.entries());
}
