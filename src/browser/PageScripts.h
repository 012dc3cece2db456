#pragma once

#include <QString>

// The scripts we run in our pages. Each is a small immediately-invoked function
// that returns plain data; they run in the isolated application world so that
// whatever the page does to its own globals and prototypes cannot reach them.
namespace PageScripts {

// Returns {text: body.innerText, html: <upper-case tag serialization>,
// charset: document.characterSet}.
QString snapshot();

// Clicks every <tagName> whose text contains needle, in document order.
// Returns the number of clicks.
QString clickByText(const QString &tagName, const QString &needle);

} // namespace PageScripts
