#include "ResultScan.h"

#include "TextOps.h"

using TextOps::FindText;
using TextOps::SubText;

namespace {
// The identifier starts this far after the marker, whatever the marker's text.
constexpr qsizetype IdentifierOffset = 9;
const QString Html = QStringLiteral(".html");
const QString TagEnd = QStringLiteral(">");
const QString DivEnd = QStringLiteral("</DIV>");
const QString Size = QStringLiteral("大小:");
const QString Bar = QStringLiteral("|");
const QString Points = QStringLiteral("积分");
} // namespace

ResultScanner::ResultScanner(QString page)
    : m_page(std::move(page))
{ }

std::optional<ResultEntry> ResultScanner::next(const QString &marker)
{
    if (m_done || marker.isEmpty())
        return std::nullopt;
    const qsizetype p1 = FindText(m_page, marker, m_start);
    const qsizetype p2 = p1 ? FindText(m_page, Html, p1) : 0;
    const qsizetype p3 = p2 ? FindText(m_page, TagEnd, p2) : 0;
    const qsizetype p4 = p3 ? FindText(m_page, DivEnd, p3) : 0;
    // An entry without ".html", ">" or "</DIV>" after its marker would send the
    // scan back to the same marker for ever: the page ends there.
    if (p4 == 0) {
        m_done = true;
        return std::nullopt;
    }

    ResultEntry entry;
    entry.identifier = SubText(m_page, p1 + IdentifierOffset, p2 - p1 - IdentifierOffset).value_or(QString());
    entry.title = SubText(m_page, p3 + 1, p4 - p3 - 1).value_or(QString());

    // "大小:" and "|" count only inside this entry: taken from a later entry they
    // would show another file's size or a stretch of the page.
    const qsizetype nextMarker = FindText(m_page, marker, p4);
    const qsizetype entryEnd = nextMarker ? nextMarker : m_page.size() + 1;
    // Both are looked for only as far as they could still start inside the
    // entry, so that a page whose entries lack them is read once, not once
    // per entry.
    const QStringView sizeArea = QStringView(m_page).left(entryEnd - 1 + Size.size() - 1);
    qsizetype p5 = FindText(sizeArea, Size, p4);
    if (p5 >= entryEnd)
        p5 = 0;
    const qsizetype p6 = p5 ? FindText(QStringView(m_page).left(entryEnd - 1), Bar, p5) : 0;
    if (p5 && p6 && p6 < entryEnd)
        entry.sizeText = m_page.mid(p5 + Size.size() - 1, p6 - p5 - Size.size());
    const qsizetype blockEnd = p5 ? p5 : entryEnd;
    const QStringView block = QStringView(m_page).mid(p4 - 1, blockEnd - p4);
    entry.costsPoints = block.contains(Points);
    if (!entry.costsPoints)
        entry.row = m_rows++;
    ++m_entries;

    m_start = p4;
    if (nextMarker == 0)
        m_done = true;
    return entry;
}
