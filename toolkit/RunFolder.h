// The run's own folder in the temporary folder. The program keeps nothing between runs: whatever it
// or Qt's widgets need to put on disk for a while (a document handed to the desktop under another
// name, the file dialog's state) goes into this folder, which is removed when the application ends.
// A run that could not clean up (killed outright, crashed) leaves its folder behind; the next run
// removes it at start. A folder is known to be left over when no process holds its lock any more.
#pragma once

#include <QString>

namespace RunFolder {

// The folder, made on first use ("zrk201-run-XXXXXX" in the temporary folder). Its removal is tied
// to the application object, so it goes when the application ends. Empty when it cannot be made.
QString Path();

// Removes the folders of earlier runs that ended without removing their own.
void RemoveLeftovers();

// Qt's widgets keep their state (the file dialog's folder history, its view) in the run folder
// instead of the user's configuration, so nothing of it outlives the run.
void KeepQtStateInRun();

} // namespace RunFolder
