#include "Design.h"

#include <QFontMetrics>
#include <QHash>
#include <QMap>
#include <QWidget>

#include "AnsiCodePage.h"
#include "SharedState.h"

namespace Design {

const QList<Control> &controls()
{
    using K = Kind;
    // clang-format off
    static const QList<Control> table = {
        // name      kind           container   left  top   width height tab visible enabled caption                                    fore        back        hand   auto   bold   count step tabstep
        {"Picture2", K::PictureBox, "Form1",    0,    0,    7500, 5250,  2,  true,  true,  nullptr,                                    0x80000008, 0x80000005, false, false, false},
        {"Picture1", K::PictureBox, "Picture2", 0,    1260, 7455, 375,   21, true,  true,  nullptr,                                    0,          0x00FFFFFF, false, false, false, 10,   360, -2},
        {"Image1",   K::Image,      "Picture1", 60,   100,  195,  195,   -1, true,  true,  nullptr,                                    0,          0,          false, false, false, 10},
        {"Label3",   K::Label,      "Picture1", 360,  120,  0,    180,   22, true,  true,  nullptr,                                    0x00FF0000, 0,          true,  true,  false, 10,   0,   -2},
        {"Text1",    K::TextBox,    "Picture2", 2760, 525,  3135, 210,   0,  true,  true,  "",                                         0x80000011, 0,          false, false, false},
        {"Label8",   K::Label,      "Picture2", 2820, 2880, 1860, 180,   32, true,  true,  "正在搜索，请稍侯",                         0x00808080, 0,          false, true,  false},
        {"Label7",   K::Label,      "Picture2", 60,   60,   2115, 795,   30, true,  true,  "",                                         0,          0,          true,  false, false},
        {"Label6",   K::Label,      "Picture2", 120,  960,  4305, 180,   29, true,  true,  "海量资源免费下载!没有搜不到的，只有想不到的!", 0x000040C0, 0,      false, true,  true},
        {"Label1",   K::Label,      "Picture2", 6060, 4980, 540,  180,   25, true,  false, "上一页",                                   0x8000000B, 0,          true,  true,  false},
        {"Label2",   K::Label,      "Picture2", 6780, 4980, 540,  180,   24, true,  false, "下一页",                                   0x8000000B, 0,          true,  true,  false},
        {"Label4",   K::Label,      "Picture2", 6000, 420,  1335, 375,   23, true,  true,  "",                                         0,          0,          true,  false, false},
        {"Timer1",   K::Timer,      "Form1",    0,    0,    0,    0,     -1, true,  false, nullptr,                                    0,          0,          false, false, false},
        {"W1",       K::Browser,    "Form1",    300,  360,  3135, 1155,  26, true,  true,  nullptr,                                    0,          0,          false, false, false},
        {"W2",       K::Browser,    "Form1",    240,  1740, 3255, 1215,  27, true,  true,  nullptr,                                    0,          0,          false, false, false},
        {"List1",    K::ListBox,    "Form1",    240,  3180, 3255, 780,   28, false, true,  nullptr,                                    0,          0,          false, false, false},
        {"W3",       K::Browser,    "Form1",    4440, 3180, 1455, 555,   31, true,  true,  nullptr,                                    0,          0,          false, false, false},
        {"Label5",   K::Label,      "Form1",    120,  120,  1515, 255,   1,  true,  true,  "href=\"/f/",                               0,          0x8000000F, false, false, false},
    };
    // clang-format on
    return table;
}

const Control &control(const char *name)
{
    for (const Control &c : controls()) {
        if (qstrcmp(c.name, name) == 0)
            return c;
    }
    qFatal("no control named %s", name);
}

QString designName(const Control &c, int index)
{
    return c.count > 1 ? QStringLiteral("%1(%2)").arg(QLatin1String(c.name)).arg(index) : QString::fromLatin1(c.name);
}

void applyTabOrder(QWidget *form)
{
    QMap<int, QWidget *> byTabIndex;
    for (const Control &c : controls()) {
        if (c.tabIndex < 0)
            continue;
        for (int n = 0; n < c.count; ++n) {
            auto *widget = form->findChild<QWidget *>(designName(c, n));
            // Labels and picture boxes take no focus here, so Tab skips them.
            if (widget && (widget->focusPolicy() & Qt::TabFocus))
                byTabIndex.insert(c.tabIndex + c.tabStep * n, widget);
        }
    }
    QWidget *previous = nullptr;
    for (QWidget *widget : std::as_const(byTabIndex)) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

QString windowCaption()
{
    return QStringLiteral("Ondrix V") + QString::number(ProgramVersion);
}

QString advertisedTitle(int row)
{
    static const char *const titles[RowCount] = {
        "Ondrix 资源搜索使用指南(356KB)", "免费影视资源大全|高清电影合集(12.5MB)",
        "Ondrix 绿色版 V2.01(1.2MB)",     "热门软件下载排行榜(2.3MB)",
        "海量电子书免费下载(45MB)",       "音乐播放器 V3.5 正式版(8.6MB)",
        "高清壁纸每日更新(650KB)",        "更多精彩资源敬请期待(1KB)",
        "更多精彩资源敬请期待(1KB)",      "更多精彩资源敬请期待(1KB)",
    };
    return row >= 0 && row < RowCount ? QString::fromUtf8(titles[row]) : QString();
}

QColor color(quint32 stored)
{
    if (stored & 0x80000000u) {
        // Classic desktop defaults of the system colours the window uses.
        static const QHash<quint32, QRgb> system = {
            {0x05, qRgb(255, 255, 255)}, // window background
            {0x08, qRgb(0, 0, 0)},       // window text
            {0x0B, qRgb(212, 208, 200)}, // inactive border
            {0x0F, qRgb(212, 208, 200)}, // button face
            {0x11, qRgb(128, 128, 128)}, // grey text
        };
        return QColor(system.value(stored & 0xFF, qRgb(0, 0, 0)));
    }
    return QColor(int(stored & 0xFF), int((stored >> 8) & 0xFF), int((stored >> 16) & 0xFF));
}

int autoWidth(const QString &caption, const QFontMetrics &metrics)
{
    int pixels = 0;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        const QChar ch = caption[i];
        if (ch.isHighSurrogate() && i + 1 < caption.size() && caption[i + 1].isLowSurrogate()) {
            pixels += metrics.horizontalAdvance(caption.mid(i++, 2));
            continue;
        }
        if (const auto code = AnsiCodePage::code(ch))
            pixels += (*code < 0 || *code > 255) ? 12 : 6;
        else
            pixels += metrics.horizontalAdvance(ch);
    }
    return pixels * TwipsPerPixel;
}

} // namespace Design
