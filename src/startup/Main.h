#pragma once

#include "Form1.h"

namespace Module1 {

// Start-up: fills in the version and both addresses, loads the window (its
// load logic runs before it is shown), lets pending events run once, then
// shows it. Returns the window, which lives until the program ends.
Form1 *Main(const BrowserFactory &browsers, Form1Services services = Form1Services::desktop());

} // namespace Module1
