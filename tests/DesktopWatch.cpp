#include "DesktopWatch.h"

#include <QDesktopServices>

namespace {
constexpr const char *Schemes[] = {"http", "https", "smb", "mailto", "ftp", "ondrix-x", "file"};
} // namespace

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
