// Which language the console speaks, from --language and the desktop's languages as
// QLocale::uiLanguages() gives them for the environment (LANGUAGE first, then LC_ALL,
// LC_MESSAGES, LANG).

#include "app/language_choice.h"

#include <gtest/gtest.h>

namespace relm {
namespace {

QStringList tags(std::initializer_list<const char *> names)
{
    QStringList list;
    for (const char *n : names)
        list << QString::fromLatin1(n);
    return list;
}

TEST(LanguageChoiceTest, TheDesktopsFirstSpokenLanguageDecidesJapaneseOtherwise)
{
    const auto E = Language::English;
    const auto J = Language::Japanese;
    struct Case
    {
        QStringList ui;
        Language expected;
    };
    const Case cases[] = {
        {tags({}), J},                                           // nothing set
        {tags({"C"}), J},                                        // LANG=C or C.UTF-8
        {tags({"en-US", "en-Latn-US", "en"}), E},                // LANG=en_US.UTF-8
        {tags({"ja-JP", "ja-Jpan-JP", "ja"}), J},                // LANG=ja_JP.UTF-8
        {tags({"en-GB", "en-Latn-GB"}), E},                      // LC_ALL=en_GB over LANG=ja_JP
        {tags({"de", "de-Latn-DE", "de-DE", "en", "en-US"}), E}, // LANGUAGE=de:en
        {tags({"de", "ja", "en"}), J},                           // LANGUAGE=de:ja:en
        {tags({"fr", "fr-Latn-FR", "fr-FR"}), J},                // a language it does not speak
        {tags({"EN_us"}), E},
        {tags({"eng", "jav"}), J}, // only whole language codes count
    };
    for (const Case &c : cases)
        EXPECT_EQ(chooseLanguage({}, c.ui), c.expected) << c.ui.join(u',').toStdString();
}

TEST(LanguageChoiceTest, TheOptionWinsOverTheDesktop)
{
    EXPECT_EQ(chooseLanguage("en", tags({"ja-JP"})), Language::English);
    EXPECT_EQ(chooseLanguage("ja", tags({"en-US"})), Language::Japanese);
    EXPECT_EQ(chooseLanguage("EN", tags({})), Language::English);
    EXPECT_EQ(languageNamed("de"), std::nullopt);
    EXPECT_EQ(languageCode(Language::English), QStringLiteral("en"));
    EXPECT_EQ(languageCode(Language::Japanese), QStringLiteral("ja"));
}

} // namespace
} // namespace relm
