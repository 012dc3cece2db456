#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QElapsedTimer>
#include <QUrl>

class DownloadFolder;
class PartialSweep;
class QNetworkAccessManager;
class Restart;
class ServerProbe;
class Transfer;

// What every download of a session shares: the program's own requests to
// download servers (with the pages' user agent), the way a download starts
// again from its file page or address, the sweep of what ended ones left,
// and whether a transfer slot is free.
struct TransferShared
{
    QNetworkAccessManager *network = nullptr;
    QByteArray userAgent {};
    std::function<std::unique_ptr<Restart>(const QUrl &url, int entry, bool isFilePage)> restart {};
    ServerProbe *probe = nullptr;
    const DownloadFolder *folder = nullptr;
    PartialSweep *leftovers = nullptr;
    QElapsedTimer clock {};
    std::function<bool(const Transfer *)> slotFree {};
};
