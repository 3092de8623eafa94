// The application's default error box and the guard every event handler runs under. An error raised
// inside a handler ends that handler and is shown in a message box with the error icon, an "OK" button,
// the application's title as caption and the message, to which a full stop is added when its last
// character sorts after ".". Errors never travel into Qt's event loop or through a C entry point.
#pragma once

#include <QString>

#include <exception>
#include <functional>

namespace Application {

// The application's title: the program file's name without its extension.
QString Title();

// The text the error box shows for an error message.
QString ErrorBoxText(const QString& message);

// Shows the default error box for an error.
void ShowException(const std::exception& error);

// Replaces how the error box is shown (tests record it instead); an empty function restores the box.
using ErrorBoxHook = std::function<void(const QString& title, const QString& text)>;
void SetErrorBoxHook(ErrorBoxHook hook);

// Runs a handler; an error it raises is shown in the error box and goes no further.
void Guard(const std::function<void()>& handler) noexcept;

// A request to end the program from outside (SIGTERM, SIGINT, SIGHUP) ends it in order: every event
// loop is left, so the program returns from main and cleans up as after closing its window. Needs the
// application object.
void EndOnTerminationRequest();
// The signal of such a request once one has arrived, or 0.
int TerminationRequest();

} // namespace Application
