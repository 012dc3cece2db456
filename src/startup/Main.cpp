#include "Main.h"

#include <QCoreApplication>

#include "Descramble.h"
#include "SharedState.h"
#include "StoredAddresses.h"

namespace Module1 {

Form1 *Main(const BrowserFactory &browsers, Form1Services services)
{
    SharedState &state = shared();
    state.AppVersion = 2.01;
    // The seed is converted afresh for each address, as both were scrambled.
    state.SiteBase = Descramble(storedText(StoredSiteBase), static_cast<qint16>(QByteArray(StoredSeed).toShort()));
    state.HomePageAddress = Descramble(storedText(StoredHomePage), static_cast<qint16>(QByteArray(StoredSeed).toShort()));

    auto *form = new Form1(browsers, std::move(services));
    form->Form_Load();
    QCoreApplication::processEvents();
    form->show();
    return form;
}

} // namespace Module1
