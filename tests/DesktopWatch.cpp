#include "DesktopWatch.h"

#include <QDesktopServices>

static constexpr const char *Schemes[] = {"http", "https", "smb", "mailto", "ftp", "ondrix-x", "file"};

DesktopWatch::DesktopWatch()
{
    for (const char *scheme : Schemes)
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
}

DesktopWatch::~DesktopWatch()
{
    for (const char *scheme : Schemes)
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}
