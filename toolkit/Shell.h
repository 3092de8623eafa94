// The desktop's "open" verb: opens a document with the program associated with it, or a web address
// in the browser. The outcome is not reported; a failure is the desktop's to show.
#pragma once

#include <QString>

#include <functional>

// A relative document name is looked up in the current folder.
void ShellOpen(const QString& documentOrAddress);

// Tests see what would be opened instead of opening it; an empty function restores the desktop.
void SetShellOpenHook(std::function<void(const QString& target)> hook);
