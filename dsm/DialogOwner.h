// The source manager's windows belong to the program that called it: they are transient for the
// program's window and open over it, where the person is looking.
#pragma once

class QWidget;

// The program's window a dialog belongs to: the active window, else the first visible top-level
// window that is not one of the source manager's own. nullptr when the program shows none.
QWidget* ProgramWindow();

// Places a window that is about to be shown over the middle of its owner, kept on the owner's screen.
// Nothing happens without an owner.
void PlaceOver(QWidget* window, const QWidget* owner);
