// Advertisement page, home-page link and exit prompt.
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QUrl>

#include "Browser.h"
#include "Form1.h"
#include "SharedState.h"
#include "TextOps.h"

void Form1::Form_Load()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    W3->Navigate(advertisementAddress());
}

QString Form1::advertisementAddress()
{
    return shared().HomePageAddress + QStringLiteral("/ad/365.htm");
}

void Form1::Form_QueryUnload(int &cancel)
{
    SharedState &state = shared();
    if (state.UpdateOffered == -1)
        return;
    // Whatever page W3 holds now is read, even one an advertised link led to.
    if (const auto version = TextOps::readVersion(W3->bodyText()))
        state.RemoteVersion = *version;
    if (!(state.AppVersion < state.RemoteVersion))
        return;
    // Offered once, whatever the answers: the downloads question may keep the
    // window open after Cancel too.
    state.UpdateOffered = -1;
    if (!m_services.askUpdate(this))
        return;
    cancel = 1;
    // The user's answer may start one download there.
    W3->allowUserAction({.downloads = 1});
    ClickElementsByText(W3, QStringLiteral("A"), QStringLiteral("365"),
                        [self = QPointer<Form1>(this), ended = endW3GrantUnlessClicked()](int clicked) {
                            ended(clicked);
                            // No download link to follow: the home page is where the new version is.
                            if (self && clicked == 0)
                                self->m_services.openUrl(QUrl(shared().HomePageAddress));
                        });
}

Browser::ClickDone Form1::endW3GrantUnlessClicked()
{
    // A click that clicked nothing gives the page nothing to act on; a later
    // click's grant is that click's.
    return [self = QPointer<Form1>(this), click = ++m_w3Clicks](int clicked) {
        if (self && clicked == 0 && click == self->m_w3Clicks)
            self->W3->allowUserAction({});
    };
}

void Form1::Label7_Click()
{
    m_services.openUrl(QUrl(shared().HomePageAddress));
}
