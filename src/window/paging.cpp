// Result paging: the site's own previous/next links are clicked in W1.
#include <QPointer>

#include "Browser.h"
#include "ClickLabel.h"
#include "Form1.h"

namespace {

// What a page change hides, kept so that a click which loads nothing can be undone.
struct RowsView
{
    std::array<bool, Form1::RowCount> rowShown {};
    QString progressCaption;
    bool progressShown = false;
    bool progressRunning = false;

    static RowsView of(const Form1 &form)
    {
        RowsView view;
        for (int n = 0; n < Form1::RowCount; ++n)
            view.rowShown[n] = !form.Picture1[n]->isHidden();
        view.progressCaption = form.Label8->caption();
        view.progressShown = !form.Label8->isHidden();
        view.progressRunning = form.Timer1->isActive();
        return view;
    }

    void restore(Form1 &form) const
    {
        for (int n = 0; n < Form1::RowCount; ++n)
            form.Picture1[n]->setVisible(rowShown[n]);
        form.Label8->setCaption(progressCaption);
        form.Label8->setVisible(progressShown);
        if (!progressRunning)
            form.Timer1->stop();
    }
};

} // namespace

void Form1::Label1_Click()
{
    changePage(QStringLiteral("上一页"));
}

void Form1::Label2_Click()
{
    changePage(QStringLiteral("下一页"));
}

void Form1::changePage(const QString &needle)
{
    // While a results page is on its way, the links of the page going away are
    // not followed: the click is dropped and the rows stay as they are.
    if (m_resultsDeadline.isActive() || m_pageClickPending)
        return;
    const RowsView before = RowsView::of(*this);
    // A scan still filling the rows stops; it is done again should the page stay.
    const bool scanCut = m_scanning;
    hideRowsAndShowProgress();
    const quint64 generation = m_scanGeneration;
    m_pageClickPending = true;
    // A page at rest is loaded again before its link is clicked: that too
    // may fail, or never end.
    startWaitingForResults();
    QPointer<Form1> self(this);
    ClickElementsByText(W1, QStringLiteral("A"), needle, [self, generation, before, scanCut](int clicked) {
        if (!self)
            return;
        self->m_pageClickPending = false;
        // A search or a newer scan owns the rows by now, or the page's
        // failure was told already.
        if (self->m_scanGeneration != generation || !self->awaitsResults())
            return;
        if (clicked != 0) {
            self->startWaitingForResults(); // the whole of it for the new page
            return;
        }
        // The label's text was in the page but in no link (a script, an
        // attribute, plain text): no page will come, so nothing is awaited.
        self->m_resultsDeadline.stop();
        if (scanCut)
            self->W1_DocumentComplete();
        else
            before.restore(*self);
    });
}
