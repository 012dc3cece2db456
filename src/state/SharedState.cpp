#include "SharedState.h"

SharedState &shared()
{
    static SharedState state;
    return state;
}

void resetShared(const QString &siteBase, const QString &homePage)
{
    SharedState &state = shared();
    state = SharedState {};
    state.AppVersion = ProgramVersion;
    state.SiteBase = siteBase;
    state.HomePageAddress = homePage;
}
