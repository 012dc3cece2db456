// Counts what reaches the desktop through QDesktopServices, including what
// the engine would hand it by itself (unknown schemes).
#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

class DesktopWatch : public QObject
{
    Q_OBJECT

public:
    DesktopWatch();
    ~DesktopWatch() override;
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};
