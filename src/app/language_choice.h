#pragma once

// Which language the console speaks. Japanese is its own and the default; English is the one
// translation. --language en|ja wins; without it the desktop's languages decide in their order
// (QLocale::uiLanguages(), which follows LANGUAGE, LC_ALL, LC_MESSAGES and LANG): the first that
// is English or Japanese. A desktop that names neither gets Japanese.

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

namespace relm {

enum class Language { Japanese, English };

// The language a --language value names ("en" or "ja", any case), or nothing.
std::optional<Language> languageNamed(const std::string &option);

// option: the --language value, or empty when it was not given (already checked).
Language chooseLanguage(const std::string &option, const QStringList &uiLanguages);

// The language of one entry of an Accept-Language header or of uiLanguages ("en-GB", "ja",
// "EN_us"), when it is one the console speaks.
std::optional<Language> languageOfTag(const QString &tag);

// "en" or "ja".
QString languageCode(Language language);

} // namespace relm
