#pragma once

#include <QString>

#include <functional>

// The one guard that every entry point from the event loop (a click, a tick,
// a completion) runs its body through. An error that the body does not handle
// ends the body and is shown in the standard error box; exceptions never
// travel through Qt code.
namespace guard {

using ErrorBox = std::function<void(const QString &caption, const QString &message)>;

// The application title, the caption of every error box.
QString applicationTitle();

// The text shown for an error message: a full stop is appended when its last
// character sorts after ".".
QString boxText(const QString &message);

// Replaces the error box (the window installs the real one; tests a recorder).
// Returns the previous one.
ErrorBox setErrorBox(ErrorBox box);

// Shows message in the current error box.
void showError(const QString &message);

// Runs body; reports whatever it throws. Returns false when it threw.
bool run(const std::function<void()> &body) noexcept;

} // namespace guard
