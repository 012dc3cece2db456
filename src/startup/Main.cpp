#include "Main.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QPointer>
#include <QThreadPool>
#include <QTranslator>
#include <QUrl>

#include "Descramble.h"
#include "DownloadList.h"
#include "DownloadManager.h"
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
} // namespace

Form1 *Main(const BrowserFactory &browsers, Form1Services services, const std::function<void()> &beforeBuild)
{
    SharedState &state = shared();
    state.AppVersion = 2.01;
    // The seed is converted afresh for each address, as both were scrambled.
    state.SiteBase = Descramble(storedText(StoredSiteBase), static_cast<qint16>(QByteArray(StoredSeed).toShort()));
    state.HomePageAddress
        = Descramble(storedText(StoredHomePage), static_cast<qint16>(QByteArray(StoredSeed).toShort()));

    if (beforeBuild)
        beforeBuild();
    auto *form = new Form1(browsers, std::move(services));
    form->Form_Load();
    QCoreApplication::processEvents();
    form->show();
    return form;
}

Form1 *Main(WebEngineSession &session)
{
    Form1Services services = Form1Services::desktop();
    services.mayQuit = [&session](QWidget *parent) { return session.downloads()->confirmQuit(parent); };
    // The advertisement browser is made first and its request let out before
    // the window is built: the engine runs on this thread, so building the
    // window would hold the request back. Form_Load's Navigate joins it.
    const BrowserFactory made = engineBrowsers(session);
    QPointer<Browser> early;
    const auto requestFirst = [&] {
        early = made(QStringLiteral("W3"), nullptr);
        if (auto *ad = qobject_cast<WebEngineBrowser *>(early.data())) {
            ad->preload(Form1::advertisementAddress());
            ad->waitForLoadStart(FirstRequestWaitMs);
        }
    };
    const BrowserFactory browsers = [&](const QString &name, QObject *parent) -> Browser * {
        if (name == QLatin1String("W3") && early) {
            early->setParent(parent);
            return std::exchange(early, nullptr);
        }
        return made(name, parent);
    };
    Form1 *form = Main(browsers, std::move(services), requestFirst);
    DownloadManager *downloads = session.downloads();
    Form1Downloads notices;
    notices.showList = [downloads] { downloads->list()->showWithoutFocus(); };
    notices.nothingCame = [downloads](const QString &title, const QUrl &page, const QString &reason) {
        downloads->addNothingCame(title, page, reason);
    };
    form->setDownloads(std::move(notices));
    // A download that began, or that was refused with a reason, is word
    // enough: the list shows it.
    QObject::connect(downloads, &DownloadManager::downloadStarted, form, &Form1::DownloadBegan);
    QObject::connect(downloads, &DownloadManager::downloadFailed, form, &Form1::DownloadBegan);
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
    Form1::preloadImages();
}

void describeApplication()
{
    QApplication::setApplicationName(QStringLiteral("Ondrix"));
    QApplication::setApplicationVersion(QStringLiteral(ONDRIX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(ONDRIX_APP_ID));
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
