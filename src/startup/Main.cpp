#include "Main.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <QUrl>

#include "Descramble.h"
#include "DownloadList.h"
#include "DownloadManager.h"
#include "SharedState.h"
#include "StoredAddresses.h"
#include "Version.h"
#include "WebEngineSession.h"

namespace Module1 {

Form1 *Main(const BrowserFactory &browsers, Form1Services services)
{
    SharedState &state = shared();
    state.AppVersion = 2.01;
    // The seed is converted afresh for each address, as both were scrambled.
    state.SiteBase = Descramble(storedText(StoredSiteBase), static_cast<qint16>(QByteArray(StoredSeed).toShort()));
    state.HomePageAddress
        = Descramble(storedText(StoredHomePage), static_cast<qint16>(QByteArray(StoredSeed).toShort()));

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
    Form1 *form = Main(engineBrowsers(session), std::move(services));
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
