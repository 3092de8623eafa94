// Replacing a file so that a failure, a crash or a power cut leaves either the old content or the new
// one under its name, complete, and never an empty or partial file:
//
// 1. links are followed to the file they name (a chain of them too), so that every link stays a link;
// 2. a folder or mount that takes no writes is refused before anything is written;
// 3. the content is written to a hidden file beside the target, synced to the device and closed, each
//    result checked;
// 4. the hidden file is renamed over the target and the folder is synced, so the new name is durable;
// 5. only then is the old file let go of (its blocks freed), on a thread of its own.
//
// A save that is killed half-way leaves at most its hidden file; the next save into that folder removes
// hidden files of ours that are older than the run and that no save is writing.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QFile;

namespace durable {

// Writes the new content into `file` (open for writing, at its start); false when it could not be
// written whole. An exception it raises passes through ReplaceFile, which removes the hidden file.
using TWriter = std::function<bool(QFile& file)>;

// Puts what `write` writes in the place of `fileName`. Returns 0 once the new file is durable under
// the name; otherwise the error number (errno) of the step that failed, and the file named is as it
// was, except when the rename was done and only the folder's sync then failed (the new file is in
// place, but the device did not confirm it).
int ReplaceFile(const QString& fileName, const TWriter& write);

// Removes the hidden files that saves of an earlier run left in `folder` (a crash, a kill); nothing
// else, and nothing a save is writing now.
void RemoveLeftovers(const QString& folder);

// Whether a name in a folder is that of one of our hidden files.
bool IsHiddenName(const QByteArray& name);

// Waits until every file that a save has replaced so far has been let go of. Nothing in the program
// needs to; it keeps the release of one save out of a measurement of the next.
void WaitForLetGo();

} // namespace durable
