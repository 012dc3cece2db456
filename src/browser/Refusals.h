#pragma once

#include <QString>

// What the pages were refused: logged under "ondrix.browser.refused", never
// shown to the user.
namespace Refusals {

// Logs one refusal; detail is cut to 200 characters.
void note(const char *what, const QString &detail);

} // namespace Refusals
