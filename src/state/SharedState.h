#pragma once

#include <optional>

#include <QString>

// The program-wide values that the window's handlers share. They start zeroed,
// live for the whole process and are never saved.
struct SharedState
{
    double AppVersion = 0.0;
    QString SiteBase;
    QString HomePageAddress;
    // Unset until the first search; an unset value reads as false.
    std::optional<bool> SearchMode;
    qint16 UpdateOffered = 0; // -1 once the update has been offered
    double RemoteVersion = 0.0;

    bool searchMode() const { return SearchMode.value_or(false); }
};

SharedState &shared();

// The version the window's caption shows and the update check compares with
// the advertisement page's, which start-up puts in AppVersion. The package's
// version (--version, from CMakeLists.txt's project()) is another number.
inline constexpr double ProgramVersion = 2.01;

// The shared state as start-up leaves it: the version and the two
// addresses, everything else zeroed.
void resetShared(const QString &siteBase, const QString &homePage);
