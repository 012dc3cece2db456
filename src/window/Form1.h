#pragma once

#include <array>
#include <functional>
#include <optional>

#include <QListWidget>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "Browser.h"
#include "Design.h"

class ClickLabel;
class FilePages;
class QLabel;
class QLineEdit;
class QKeyEvent;
class QMovie;

// Creates the hidden browser of one slot ("W1", "W2" or "W3").
using BrowserFactory = std::function<Browser *(const QString &name, QObject *parent)>;

// What the window asks of the desktop, of the download list and of the
// settings. Each does nothing unless set (the update is declined, quitting
// is allowed), so a test or a window without a download list sets only
// what it needs.
struct Form1Services
{
    // Hands an address to the default browser.
    std::function<void(const QUrl &)> openUrl = [](const QUrl &) {};
    // True when the user takes the newer version.
    std::function<bool(QWidget *)> askUpdate = [](QWidget *) { return false; };
    // False keeps the program running (for its downloads).
    std::function<bool(QWidget *)> mayQuit = [](QWidget *) { return true; };
    // Ends the program.
    std::function<void()> quit = [] {};
    // The download list: with the focus for Ctrl+J; without it for a row
    // clicked again while its file page is opening (its entry is there).
    std::function<void(bool focus)> showDownloads = [](bool) {};
    // A result row was clicked: the download list's entry its download
    // belongs to (0: none), or nothing when that file page is opening or its
    // file downloading already, which the list then shows.
    std::function<std::optional<int>(const QString &title, const QUrl &page)> clickRegistered
        = [](const QString &, const QUrl &) { return std::optional<int>(0); };
    // A row click led to no download: its entry, and why.
    std::function<void(int entry, const QString &reason)> nothingCame = [](int, const QString &) {};
    // The site's pages told their encoding: kept for the next start.
    std::function<void(const QString &charset)> siteCharsetLearned = [](const QString &) {};

    // The desktop's browser and message boxes; no download list.
    static Form1Services desktop();
};

// The one window. Controls carry the design's names; each group of handlers
// lives in its own source (search, scraper, paging, activation, advert,
// keyboard, accessibility, downloads).
class Form1 final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    static constexpr int RowCount = Design::RowCount;

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

    // Result activation and download trigger. Each row click has a file page
    // of its own (W2, or another while W2 serves an earlier click).
    void Label3_Click(int index);

    // Advertisement page, home-page link and exit prompt.
    void Form_QueryUnload(int &cancel);
    void Label7_Click();

    // Keyboard: the arrows move through the shown rows, Enter activates one,
    // Page Up/Down page, Esc and typing return to the keyword box. True when
    // the key was handled.
    bool Form_KeyDown(QObject *watched, QKeyEvent *key);

    // Download notices (downloads.cpp): word that the download of a click's
    // entry began, or was refused with a reason, ends that click's wait.
    void downloadAnswered(int entry);
    void setDownloadDeadline(int milliseconds);
    // The file pages serving row clicks now.
    int filePagesInUse() const;

    // The encoding the site's pages are in, as an earlier start learnt it:
    // the first search goes out in it.
    void setSiteCharset(const QString &charset) { m_siteCharset = charset; }

    // The progress text shown when the results page did not arrive: the
    // network, or the site, and its status.
    static QString searchFailedText(const LoadFailure &failure);
    // What the progress text says of a results page that lists no row: it had
    // no entry at all, or that many entries, each costing points.
    static QString nothingFreeText(int entries);
    // How long a search waits for its results page.
    void setResultsDeadline(int milliseconds) { m_resultsDeadline.setInterval(milliseconds); }
    // A results page is awaited, and fails the search should it not come.
    bool awaitsResults() const { return m_resultsDeadline.isActive(); }

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
    void searchFailed(const LoadFailure &failure);
    void sayNothingListed(int entries);
    void forgetResultsPage();
    void changePage(const QString &needle);
    void prepareKeyboard();
    void describeForReaders();
    int shownRow(int from, int step) const;
    void setUpDownloadNotices();
    Browser::ClickDone endW3GrantUnlessClicked();

    BrowserFactory m_browsers; // for the file pages beyond W2
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
    bool m_scanning = false; // the newest scan is still filling the rows
    FilePages *m_filePages = nullptr;
    int m_w3Clicks = 0; // the advertisement page's, so that an old answer is known
};
