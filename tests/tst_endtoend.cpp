// The whole road through the real engine and the demo site: keyword, Enter,
// rows, next page, a click, and the file in the download folder.
#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "Browser.h"
#include "ClickLabel.h"
#include "DemoSite.h"
#include "RealWindow.h"
#include "DownloadManager.h"
#include "Form1.h"
#include "SharedState.h"
#include "WebEngineSession.h"

// A loopback port where nothing listens.
static int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &length);
    ::close(fd);
    return ntohs(addr.sin_port);
}

class EndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void searchPageAndDownload();
    void acceptedUpdateDownloadsNewVersion();
    void deadSiteIsReported();

private:
    QStringList ids() const;
    void startForm(const QString &siteBase, const QString &homePage);

    DemoSite site;
    std::unique_ptr<QTemporaryDir> downloads;
    std::unique_ptr<WebEngineSession> session;
    std::unique_ptr<Form1> form;
    int prompts = 0;
    QList<QUrl> opened;
};

void EndToEndTest::initTestCase()
{
    QVERIFY2(site.start({QStringLiteral("--version"), QStringLiteral("2.02")}), qPrintable(site.errorString()));
}

void EndToEndTest::init()
{
    downloads = std::make_unique<QTemporaryDir>();
    session = std::make_unique<WebEngineSession>();
    session->downloads()->setDownloadDirectory(downloads->path());
    session->downloads()->setWidgetsVisible(false);
    session->setUrlOpener([this](const QUrl &url) { opened << url; });
    prompts = 0;
}

void EndToEndTest::cleanup()
{
    form.reset();
    session.reset();
}

void EndToEndTest::startForm(const QString &siteBase, const QString &homePage)
{
    pointAt(siteBase, homePage);
    Form1Services services = inertServices();
    services.openUrl = [this](const QUrl &url) { opened << url; };
    services.askUpdate = [this](QWidget *) { ++prompts; return true; };
    form = realWindow(*session, services);
    form->Form_Load();
    form->show();
}

QStringList EndToEndTest::ids() const
{
    QStringList out;
    for (int i = 0; i < form->List1->count(); ++i)
        out << form->List1->item(i)->text();
    return out;
}

void EndToEndTest::searchPageAndDownload()
{
    startForm(site.siteBase(), site.homePage());
    form->Text1->setText(QStringLiteral("教程"));
    QTest::keyClick(form->Text1, Qt::Key_Return);
    QVERIFY(form->Label8->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!form->Label8->isVisible(), 30000);
    const QStringList first = ids();
    QVERIFY(first.size() > 1 && first.size() <= 10);
    QVERIFY(form->Picture1[0]->isVisible());
    QVERIFY(form->Label3[0]->caption().contains(QStringLiteral("教程")));
    QVERIFY(form->Label3[0]->caption().endsWith(QLatin1Char(')')));
    QVERIFY(form->Label2->isEnabled());
    QVERIFY(!form->Label1->isEnabled());

    QTest::mouseClick(form->Label2, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!form->Label8->isVisible(), 30000);
    QVERIFY(ids() != first);
    QVERIFY(form->Label1->isEnabled());

    const QString id = ids().first().trimmed();
    QSignalSpy finished(session->downloads(), &DownloadManager::downloadFinished);
    QTest::mouseClick(form->Label3[0], Qt::LeftButton);
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().at(1).toBool(), true);
    QFile file(finished.first().at(0).toString());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), DemoSite::fileBytes(id));
    QTest::qWait(500);
    QCOMPARE(QDir(downloads->path()).entryList(QDir::Files).size(), 1);
}

void EndToEndTest::acceptedUpdateDownloadsNewVersion()
{
    startForm(site.siteBase(), site.homePage());
    QTRY_VERIFY_WITH_TIMEOUT(form->W3->hasDocument(), 30000);
    QSignalSpy finished(session->downloads(), &DownloadManager::downloadFinished);
    form->close();
    QCOMPARE(prompts, 1);
    QVERIFY(form->isVisible());
    QVERIFY(finished.wait(30000));
    QVERIFY(finished.first().at(0).toString().endsWith(QStringLiteral("ondrix-setup-2.02.bin")));
}

void EndToEndTest::deadSiteIsReported()
{
    const QString dead = QStringLiteral("http://127.0.0.1:%1").arg(closedPort());
    startForm(dead, site.homePage());
    form->Text1->setText(QStringLiteral("x"));
    QTest::keyClick(form->Text1, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(form->Label8->caption(), Form1::searchFailedText(), 30000);
    QVERIFY(!form->Timer1->isActive());
}

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
