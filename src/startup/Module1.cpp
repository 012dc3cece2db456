#include "Module1.h"

#include <cstdio>
#include <future>
#include <memory>

#include <QApplication>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkProxyFactory>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QThreadPool>
#include <QTranslator>
#include <QUrl>

#include "ClickLabel.h"
#include "Descramble.h"
#include "DesktopProxy.h"
#include "DownloadFolder.h"
#include "DownloadList.h"
#include "DownloadManager.h"
#include "DownloadNotices.h"
#include "Images.h"
#include "SharedState.h"
#include "StoredAddresses.h"
#include "Version.h"
#include "WebEngineBrowser.h"
#include "WebEngineSession.h"

namespace Module1 {

namespace {

// Normally a few milliseconds; a bound, so that a slow engine does not keep
// the window away.
constexpr int FirstRequestWaitMs = 100;

// The encoding of the site's pages, learnt from them; with the download
// folder the only settings the program keeps.
const QString SiteCharsetKey = QStringLiteral("site/charset");

// The advertisement browser is made first and its request let out before
// the window is built: the engine runs on this thread, so building the
// window would hold the request back. Form_Load's Navigate joins it.
class AdvertFirst
{
public:
    explicit AdvertFirst(BrowserFactory made)
        : m_made(std::move(made))
    { }

    // Makes W3 and lets its request out.
    void requestFirst()
    {
        *m_early = m_made(QStringLiteral("W3"), nullptr);
        if (auto *ad = qobject_cast<WebEngineBrowser *>(m_early->data())) {
            ad->preload(Form1::advertisementAddress());
            ad->waitForLoadStart(FirstRequestWaitMs);
        }
    }

    // The window's factory: W3 as made early, the others new. The window
    // keeps it for the file pages it makes later, so it holds its own.
    BrowserFactory browsers() const
    {
        return [made = m_made, early = m_early](const QString &name, QObject *parent) -> Browser * {
            if (name == QLatin1String("W3") && *early) {
                (*early)->setParent(parent);
                return std::exchange(*early, nullptr);
            }
            return made(name, parent);
        };
    }

private:
    BrowserFactory m_made;
    std::shared_ptr<QPointer<Browser>> m_early = std::make_shared<QPointer<Browser>>();
};

// The download list window, made when it is first wanted rather than at
// start-up, and gone with this object.
class ListOnDemand : public QObject
{
public:
    explicit ListOnDemand(Downloads &downloads)
        : m_downloads(downloads)
    {
        // Once made, the list shows itself for these.
        connect(&downloads, &Downloads::entryAdded, this, &ListOnDemand::showIfUnmade);
        connect(&downloads, &Downloads::attentionWanted, this, &ListOnDemand::showIfUnmade);
    }
    ~ListOnDemand() override { delete m_list.data(); }

    // The main window, which the list opens beside, and what of it the list
    // never covers.
    void setAnchor(QWidget *window, const QList<QWidget *> &keepVisible)
    {
        m_anchor = window;
        m_keepVisible = keepVisible;
    }

    void show(bool focus = false)
    {
        if (!m_list) {
            m_list = new DownloadList(m_downloads);
            // The widgets to keep in sight live as long as their window.
            m_list->setAnchor(m_anchor, m_anchor ? m_keepVisible : QList<QWidget *> {});
        }
        if (focus)
            m_list->activate();
        else
            m_list->showWithoutFocus();
    }

private:
    void showIfUnmade()
    {
        if (!m_list)
            show();
    }

    Downloads &m_downloads;
    QPointer<DownloadList> m_list;
    QPointer<QWidget> m_anchor;
    QList<QWidget *> m_keepVisible;
};

} // namespace

bool confirmQuit(Downloads &downloads, QWidget *parent)
{
    if (!downloads.hasUnfinished())
        return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("下载"), downloads.unfinishedText(), QMessageBox::NoButton,
                    parent);
    box.setInformativeText(
        QStringLiteral("保留的下载在下次启动时列出，未完成的下载可点“继续”从已下载的部分接着下载。"));
    QPushButton *keep = box.addButton(QStringLiteral("保留，下次继续"), QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton(QStringLiteral("取消下载"), QMessageBox::DestructiveRole);
    QPushButton *stay = box.addButton(QStringLiteral("不退出"), QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(stay);
    // Downloads go on while it asks: what it says is what is unfinished now,
    // and once nothing is, there is nothing to ask.
    bool allDone = false;
    const auto recount = [&] {
        if (downloads.hasUnfinished()) {
            box.setText(downloads.unfinishedText());
        } else {
            allDone = true;
            box.reject();
        }
    };
    QObject::connect(&downloads, &Downloads::entryChanged, &box, recount);
    QObject::connect(&downloads, &Downloads::entriesRemoved, &box, recount);
    box.exec();
    if (allDone)
        return true;
    if (box.clickedButton() == keep) {
        if (downloads.keepAll())
            return true;
        // Nothing would list them at the next start: the user knows now.
        return QMessageBox::warning(parent, QStringLiteral("下载"),
                                    QStringLiteral("无法保存未完成的下载记录，下次启动时不会列出这些下载。"),
                                    QMessageBox::Close | QMessageBox::Cancel, QMessageBox::Cancel)
               == QMessageBox::Close;
    }
    if (box.clickedButton() == cancel) {
        downloads.cancelAll();
        return true;
    }
    return false;
}

Form1 *Main(const BrowserFactory &browsers, Form1Services services, const std::function<void()> &beforeBuild)
{
    // The seed is converted afresh for each address, as both were scrambled.
    resetShared(Descramble(storedText(StoredSiteBase), static_cast<qint16>(QByteArray(StoredSeed).toShort())),
                Descramble(storedText(StoredHomePage), static_cast<qint16>(QByteArray(StoredSeed).toShort())));
    if (beforeBuild)
        beforeBuild();
    auto *form = new Form1(browsers, std::move(services));
    form->Form_Load();
    QCoreApplication::processEvents();
    form->show();
    return form;
}

Form1Services withDownloads(Form1Services services, Downloads &downloads)
{
    services.clickRegistered = [&downloads](const QString &title, const QUrl &page) -> std::optional<int> {
        const int entry = downloads.addClick(title, page);
        return entry > 0 ? std::optional<int>(entry) : std::nullopt;
    };
    services.nothingCame = [&downloads](int entry, const QString &reason) { downloads.clickGaveUp(entry, reason); };
    return services;
}

void answerClicks(Form1 *form, Downloads &downloads)
{
    // A download that began for a click's entry, or that was refused with a
    // reason, is word enough: the list shows it.
    QObject::connect(&downloads, &Downloads::clickAnswered, form, &Form1::downloadAnswered);
}

void followDesktopProxy()
{
    // The environment's proxy wins; the engine reads it itself.
    if (QNetworkProxyFactory *environment = DesktopProxy::environmentProxy()) {
        QNetworkProxyFactory::setApplicationProxyFactory(environment);
        return;
    }
    // The program's own requests ask Qt Network, and so libproxy, for each
    // host as they go.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    if (!DesktopProxy::isGnomeDesktop())
        return;
    // Read while the application starts, taken when the engine starts.
    std::shared_future<QByteArray> switches = std::async(std::launch::async, [] {
        const auto gnome = DesktopProxy::readGnome();
        if (gnome && gnome->mode == QLatin1String("auto"))
            DesktopProxy::keepPacEngine();
        return gnome ? DesktopProxy::engineSwitches(*gnome) : QByteArray();
    });
    WebEngineSession::setStartSwitches([switches] { return switches.get(); });
}

Form1 *Main(WebEngineSession &session)
{
    DownloadManager &downloads = *session.downloads();
    // The desktop's download folder unless the user chose another.
    if (const QString folder = DownloadFolder::remembered(); !folder.isEmpty())
        downloads.setFolderPath(folder);
    auto *list = new ListOnDemand(downloads); // owned by the window, once there is one
    Form1Services services = withDownloads(Form1Services::desktop(), downloads);
    services.mayQuit = [&downloads](QWidget *parent) { return confirmQuit(downloads, parent); };
    services.showDownloads = [list](bool focus) { list->show(focus); };
    services.siteCharsetLearned = [](const QString &charset) { QSettings().setValue(SiteCharsetKey, charset); };
    // What the pages may hand to the desktop goes where the logo's link does.
    session.setUrlOpener(services.openUrl);
    AdvertFirst advert(engineBrowsers(session));
    // Before the first request goes out, which is the advertisement page's.
    Form1 *form = Main(advert.browsers(), std::move(services), [&advert] { advert.requestFirst(); });
    // The first search goes out as the site read the last one.
    form->setSiteCharset(QSettings().value(SiteCharsetKey).toString());
    list->setParent(form);
    list->setAnchor(form, QList<QWidget *> {form->Text1, form->Label4});
    new DownloadNotices(downloads, form);
    answerClicks(form, downloads);
    // What an earlier run left unfinished comes back into the list, which
    // shows itself beside the window.
    downloads.useJournal(DownloadJournal::defaultFile());
    return form;
}

bool loadTranslations()
{
    // The program speaks Chinese whatever the desktop's language, so Qt's
    // own buttons (确定/取消, 是/否) must too.
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

QString startRefusal()
{
    if (!WebEngineSession::refusesRoot())
        return {};
    const QString why = QStringLiteral("Ondrix 不能以 root 身份运行，请以普通用户身份启动。\n"
                                       "网页引擎只在沙盒中运行，而沙盒不能以 root 身份运行。"
                                       "设置 QTWEBENGINE_DISABLE_SANDBOX=1 可不用沙盒运行，但网页将不再受隔离。");
    std::fputs(qPrintable(why + u'\n'), stderr);
    return why;
}

void showRefusal(const QString &why)
{
    // Where nobody would see it, nobody could close it either.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    loadTranslations();
    QMessageBox::critical(nullptr, QStringLiteral("Ondrix"), why);
}

BrowserFactory engineBrowsers(WebEngineSession &session)
{
    return [&session](const QString &name, QObject *parent) {
        // The results and file pages stay on the resource site; the
        // advertisement page's links may lead anywhere on the web.
        const QString siteHost = name == QLatin1String("W3") ? QString() : QUrl(shared().SiteBase).host();
        return session.createBrowser(parent, siteHost);
    };
}

void prepareWindow()
{
    // Some milliseconds of fontconfig and image decoding that would otherwise
    // run on this thread while the advertisement page loads. The font
    // database is shared and locked, so the window finds it filled.
    QThreadPool::globalInstance()->start([] { QFontDatabase::families(); });
    Images::preload();
}

void describeApplication()
{
    // QSettings then keeps the program's one file at ~/.config/Ondrix/Ondrix.conf
    // (without an organisation it would be "Unknown Organization", in error).
    QApplication::setOrganizationName(QStringLiteral("Ondrix"));
    QApplication::setApplicationName(QStringLiteral("Ondrix"));
    QApplication::setApplicationVersion(QStringLiteral(ONDRIX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(ONDRIX_APP_ID));
    // Every window's, a box without a parent's too.
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/icon.png")));
    QApplication::setQuitOnLastWindowClosed(false);
}

void raise(QWidget *window, const QByteArray &token)
{
    // The Wayland shell passes focus on with the token of the start that asked.
    if (!token.isEmpty() && QGuiApplication::platformName() == QLatin1String("wayland"))
        qputenv("XDG_ACTIVATION_TOKEN", token);
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace Module1
