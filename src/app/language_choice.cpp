#include "app/language_choice.h"

namespace relm {

std::optional<Language> languageOfTag(const QString &tag)
{
    const QString primary = tag.trimmed().section(u'-', 0, 0).section(u'_', 0, 0).toLower();
    if (primary == QLatin1String("en"))
        return Language::English;
    if (primary == QLatin1String("ja"))
        return Language::Japanese;
    return std::nullopt;
}

std::optional<Language> languageNamed(const std::string &option)
{
    const QString name = QString::fromStdString(option).toLower();
    if (name == QLatin1String("en"))
        return Language::English;
    if (name == QLatin1String("ja"))
        return Language::Japanese;
    return std::nullopt;
}

Language chooseLanguage(const std::string &option, const QStringList &uiLanguages)
{
    if (const std::optional<Language> named = languageNamed(option))
        return *named;
    for (const QString &tag : uiLanguages) {
        if (const std::optional<Language> spoken = languageOfTag(tag))
            return *spoken;
    }
    return Language::Japanese;
}

QString languageCode(Language language)
{
    return language == Language::English ? QStringLiteral("en") : QStringLiteral("ja");
}

} // namespace relm
