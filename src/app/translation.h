#pragma once

// Loads the English translation and puts it in force for the windows (QTranslator) and for the
// core's texts (setTextTranslator). Japanese needs nothing: it is the source text.

#include "app/language_choice.h"

#include <QString>
#include <QStringList>

namespace relm {

// Where relm_en.qm is looked for, in order: share/relm/translations beside the program's bin/
// (installed, and the build tree), then the program's own directory.
QStringList translationDirectories();

// The path of relm_<code>.qm in the first of the directories that has it, or empty.
QString translationFile(const QString &code, const QStringList &directories);

// Puts the language in force for the application. False, with the reason, when the English
// translation cannot be loaded; the console then speaks Japanese.
bool installLanguage(Language language, QString *error);

} // namespace relm
