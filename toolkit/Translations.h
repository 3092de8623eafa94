// The platform's own texts in the user's language. Qt's dialogs (files, printing, message boxes and
// their buttons) are translated by Qt's translations for the system's locale; the few texts the toolkit
// adds to those dialogs follow the same locale. The program's own texts are its own and stay as they are.
#pragma once

#include <QLocale>

// Installs the translations for `locale` into the running application (once; a later call replaces
// them). Returns whether Qt's translations for that language were found.
bool InstallTranslations(const QLocale& locale = QLocale::system());
