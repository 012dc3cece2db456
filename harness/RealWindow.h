// The real window on the real engine, for the engine tests, the soak and the
// benchmarks: a wait that lets events run and the window set up against a site.
#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "Form1.h"

class WebEngineSession;

// Lets events run until done() holds; false after timeoutMs. QTest::qWaitFor
// sleeps in steps that cost seconds while the window animates.
bool spinUntil(const std::function<bool()> &done, int timeoutMs = 30000);

// Services that reach nothing outside: no browser, no prompt, no quitting.
Form1Services inertServices();

// Fresh shared state pointing at the given sites, as start-up leaves it.
void pointAt(const QString &siteBase, const QString &homePage);

std::unique_ptr<Form1> realWindow(WebEngineSession &session, Form1Services services = inertServices());
