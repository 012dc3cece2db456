#pragma once

#include <QColor>
#include <QString>

class QFontMetrics;
class QWidget;

// The window's design-time properties, as one table in the design's twips.
namespace Design {

constexpr int TwipsPerPixel = 15;
constexpr int px(int twips)
{
    return twips / TwipsPerPixel;
}

enum class Kind { Window, PictureBox, Image, Label, TextBox, ListBox, Timer, Browser };

struct Control
{
    const char *name;
    Kind kind;
    const char *container;        // nullptr for the window itself
    int left, top, width, height; // twips; for arrays, of element 0
    int tabIndex;                 // -1: none
    bool visible;
    bool enabled;
    const char *caption; // UTF-8
    quint32 foreColor;   // 0x00BBGGRR or 0x800000nn (system colour); 0: default
    quint32 backColor;   // as foreColor; 0: transparent or default
    bool handCursor;
    bool autoSize;
    bool boldFont;
    // Control arrays: element n sits `topStep * n` lower, with tab index
    // `tabIndex + tabStep * n`.
    int count = 1;
    int topStep = 0;
    int tabStep = 0;
};

// Every control, in creation order.
const QList<Control> &controls();
const Control &control(const char *name);
// The name a control carries: "Text1", array elements by index as "Picture1(3)".
QString designName(const Control &c, int index = 0);
// Chains the form's controls that take focus, found by design name, in the
// order of their tab indexes.
void applyTabOrder(QWidget *form);

// The window's caption ("Ondrix V" and the version), client size and the
// advertised titles of the rows.
QString windowCaption();
// Every CJK character 12 pixels wide, every ASCII character 6, lines 12 high.
inline constexpr const char *FontFamily = "WenQuanYi Zen Hei Mono";
constexpr int FontPixelSize = 12;
constexpr int ClientWidth = 7500;
constexpr int ClientHeight = 5265;
constexpr int RowCount = 10;
constexpr int RowsShownAtStart = 7;
constexpr int TimerInterval = 200;
constexpr int TextMaxLength = 50;
QString advertisedTitle(int row);

// A stored colour as the screen shows it; system colours take the classic
// desktop defaults.
QColor color(quint32 stored);

// The colours that the scraper gives the paging labels.
constexpr quint32 ButtonFace = 0x8000000F;
constexpr quint32 PagingActive = 0x000040C0;

// Auto-sized labels are six pixels wide per byte of their caption in the
// code page, so the layout does not depend on the installed font. A character
// the code page lacks takes the font's own advance, so it is never cut off.
int autoWidth(const QString &caption, const QFontMetrics &metrics);

} // namespace Design
