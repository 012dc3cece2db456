#pragma once

#include <array>
#include <functional>

#include <QListWidget>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "Browser.h"
#include "Design.h"

class ClickLabel;
class QLabel;
class QLineEdit;
class QKeyEvent;
class QMovie;

// Creates the hidden browser of one slot ("W1", "W2" or "W3").
using BrowserFactory = std::function<Browser *(const QString &name, QObject *parent)>;

// What the window asks of the desktop and of the download list; tests
// replace each of these, and an empty one does nothing.
struct Form1Services
{
    std::function<void(const QUrl &)> openUrl; // hands an address to the default browser
    std::function<bool(QWidget *)> askUpdate;  // true when the user takes the newer version
    std::function<bool(QWidget *)> mayQuit;    // false keeps the program running (downloads)
    std::function<void()> quit;                // ends the program
    std::function<void()> showDownloads;       // Ctrl+J
    // A result click led to no download: the result's title, its file page
    // and why, for an entry that offers the page in the user's own browser.
    std::function<void(const QString &title, const QUrl &page, const QString &reason)> nothingCame;

    // The desktop's browser and message boxes; no download list.
    static Form1Services desktop();
};

// The one window. Controls carry the design's names; each group of handlers
// lives in its own source (search, scraper, paging, activation, advert,
// keyboard, accessibility, downloads).
class Form1 : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RowCount = Design::RowCount;
    // How many documents of W2 get their zero-point tables clicked per row click.
    static constexpr int FileDocumentsPerClick = 3;

    explicit Form1(const BrowserFactory &browsers, Form1Services services = Form1Services::desktop(),
                   QWidget *parent = nullptr);
    ~Form1() override;

    // Load logic, run once before the window is shown.
    void Form_Load();
    // The page Form_Load loads into W3.
    static QString advertisementAddress();

    // Search command and progress indicator.
    void Label4_Click();
    void Text1_KeyPress(int &keyAscii);
    void Timer1_Timer();

    // Result-page scraper.
    void W1_DocumentComplete();
    QString HtmToTxt(const QString &text);

    // Result paging.
    void Label1_Click();
    void Label2_Click();

    // Result activation and download trigger.
    void Label3_Click(int index);
    void W2_DocumentComplete();

    // Advertisement page, home-page link and exit prompt.
    void Form_QueryUnload(int &cancel);
    void Label7_Click();

    // Keyboard: the arrows move through the shown rows, Enter activates one,
    // Page Up/Down page, Esc and typing return to the keyword box. True when
    // the key was handled.
    bool Form_KeyDown(QObject *watched, QKeyEvent *key);

    // Download notices (downloads.cpp): word that a download began, or was
    // refused with a reason, ends the wait for one.
    static constexpr int DownloadDeadlineMs = Browser::UserActionMs;
    void downloadAnswered();
    void setDownloadDeadline(int milliseconds) { m_downloadDeadline.setInterval(milliseconds); }

    // The progress text shown when the results page did not arrive.
    static QString searchFailedText();
    // What the progress text says of a results page that lists no row: it had
    // no entry at all, or that many entries, each costing points.
    static QString nothingFreeText(int entries);
    // How long a search waits for its results page.
    void setResultsDeadline(int milliseconds) { m_resultsDeadline.setInterval(milliseconds); }

    // Controls, by their design names.
    QLabel *Picture2 = nullptr;
    std::array<QWidget *, RowCount> Picture1 {};
    std::array<QLabel *, RowCount> Image1 {};
    std::array<ClickLabel *, RowCount> Label3 {};
    QLineEdit *Text1 = nullptr;
    ClickLabel *Label1 = nullptr;
    ClickLabel *Label2 = nullptr;
    ClickLabel *Label4 = nullptr;
    ClickLabel *Label5 = nullptr;
    ClickLabel *Label6 = nullptr;
    ClickLabel *Label7 = nullptr;
    ClickLabel *Label8 = nullptr;
    QTimer *Timer1 = nullptr;
    QListWidget *List1 = nullptr;
    Browser *W1 = nullptr;
    Browser *W2 = nullptr;
    Browser *W3 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void connectHandlers();
    void hideRowsAndShowProgress();
    void sendKeyword(const QString &charset);
    bool resendInSiteEncoding();
    void startWaitingForResults();
    void stopWaitingForResults();
    void searchFailed();
    void sayNothingListed(int entries);
    void forgetResultsPage();
    void changePage(const QString &needle);
    void prepareKeyboard();
    void describeForReaders();
    int shownRow(int from, int step) const;
    void setUpDownloadNotices();
    void expectDownload(int index, const QString &address);
    void fileTablesClicked(int clicked);
    void noDownload(const QString &reason);

    Form1Services m_services;
    QMovie *m_downloadIcon = nullptr;
    // Gives up on a results page that never arrives; running while one is
    // awaited.
    QTimer m_resultsDeadline;
    // A paging click waits for the number of links it clicked.
    bool m_pageClickPending = false;
    // The keyword of the last search, the encoding it went out in, and the
    // site's encoding as its pages tell it (empty until the first).
    QString m_keyword;
    QString m_keywordCharset;
    QString m_siteCharset;
    bool m_keywordPending = false; // its results page has not come yet
    bool m_keywordResent = false;
    // The progress caption that a word in Label8 stands in front of; the
    // next search's dots go on from it.
    QString m_dotsBehindWord;
    // Raised by every scan, search and page change, so an interrupted scan
    // knows that a newer one owns the rows.
    quint64 m_scanGeneration = 0;
    int m_fileDocumentsLeft = 0;
    // The result whose click should bring a download, until one begins.
    QTimer m_downloadDeadline;
    bool m_awaitingDownload = false;
    bool m_tablesClicked = false; // by this row click, on any of its file pages
    QString m_clickedTitle;
    QUrl m_clickedPage;
};
