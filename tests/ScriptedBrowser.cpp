#include "ScriptedBrowser.h"

#include <QLineEdit>
#include <QtTest>

#include "ClickLabel.h"
#include "SharedState.h"

void ScriptedBrowser::Navigate(const QString &address)
{
    navigations << address;
    m_loaded = false;
    if (onNavigate)
        onNavigate(address);
}

void ScriptedBrowser::clickElementsByText(const QString &tagName, const QString &needle, ClickDone done)
{
    int clicked = 0;
    const QList<Element> collection = m_loaded ? elements : QList<Element>(); // taken once, like the page's
    for (const Element &element : collection) {
        if (element.tag.compare(tagName, Qt::CaseInsensitive) == 0 && element.text.contains(needle)) {
            clicks << element.text;
            ++clicked;
        }
    }
    clicked = clickAnswer.value_or(clicked);
    if (done && answersClicks)
        QMetaObject::invokeMethod(
            this, [done = std::move(done), clicked] { done(clicked); }, Qt::QueuedConnection);
}

void ScriptedBrowser::complete(const QString &bodyHtml, const QString &bodyText, QList<Element> els)
{
    html = bodyHtml;
    text = bodyText;
    elements = std::move(els);
    m_loaded = true;
    emit DocumentComplete();
}

ScriptedWindow::ScriptedWindow()
{
    resetShared(QStringLiteral("http://site.test"), QStringLiteral("http://home.test"));
    Form1Services services;
    services.openUrl = [this](const QUrl &url) { opened << url; };
    services.askUpdate = [this](QWidget *) {
        ++prompts;
        return answer;
    };
    services.mayQuit = [this](QWidget *) { return stopDownloads; };
    services.quit = [this] { ++quits; };
    services.clickRegistered = [this](const QString &title, const QUrl &page) -> std::optional<int> {
        if (downloading.contains(page.toString()))
            return std::nullopt;
        const int entry = int(registered.size()) + 1;
        registered << QStringLiteral("%1|%2|%3").arg(entry).arg(title, page.toString());
        return entry;
    };
    services.nothingCame
        = [this](int entry, const QString &why) { notices << QStringLiteral("%1|%2").arg(entry).arg(why); };
    services.siteCharsetLearned = [this](const QString &charset) { charsets << charset; };
    services.showDownloads = [this](bool focus) { listShown << focus; };
    const auto factory = [this](const QString &name, QObject *parent) {
        auto *b = new ScriptedBrowser(parent);
        if (name == QLatin1String("W1"))
            w1 = b;
        else if (name == QLatin1String("W3"))
            w3 = b;
        else
            filePages << b;
        return b;
    };
    form = std::make_unique<Form1>(factory, services);
    form->Form_Load();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void ScriptedWindow::search(const QString &keyword)
{
    form->Text1->setText(keyword);
    QTest::keyClick(form->Text1, Qt::Key_Return);
}

QList<bool> ScriptedWindow::rowsShown() const
{
    QList<bool> out;
    for (QWidget *row : form->Picture1)
        out << row->isVisible();
    return out;
}

QStringList ScriptedWindow::captions(int rows) const
{
    QStringList out;
    for (int n = 0; n < rows; ++n)
        out << form->Label3[n]->caption();
    return out;
}
