#pragma once
// Qt's own dialogs (the input box's buttons, the file chooser, the printer's page set-up) speak the
// user's language when Qt's translations for it are installed (Debian's qt6-translations-l10n); the
// program's own texts come from the engine's message table and need none of this.
#include <QLocale>
#include <QString>

// Loads Qt's translations for Locale from Qt's translations folder (or Folder, when given) and
// installs them in the application, once: a second call replaces the first. False when there are
// none for that language, which leaves Qt in English.
bool InstallQtTranslations(const QLocale& Locale, const QString& Folder = QString());
