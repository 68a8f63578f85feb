// The page in the browser's language: the preferred of English and Japanese by Accept-Language,
// its texts from the console's own translation file.

#include "remote/page_texts.h"
#include "remote/panel_http.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace relm {
namespace {

const QRegularExpression
    kJapanese(QStringLiteral("[\\x{3000}-\\x{30FF}\\x{3400}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
const QRegularExpression
    kTextsBlock(QStringLiteral("<script id=\"texts\" type=\"application/json\">(.*)</script>"));

TEST(PageLanguageTest, FollowsTheQValuesAmongEnglishAndJapanese)
{
    const std::pair<const char *, const char *> cases[] = {
        {"", "ja"},
        {"en", "en"},
        {"en-GB,en;q=0.9", "en"},
        {"ja,en;q=0.8", "ja"},
        {"en;q=0.5, ja;q=0.9", "ja"},
        {"de-DE, de;q=0.9, en;q=0.3", "en"}, // a language it does not speak is passed over
        {"fr", "ja"},
        {"en;q=0, ja;q=0.1", "ja"}, // q=0 is "not this one"
        {"en;q=0", "ja"},
        {"EN-us;Q=1", "en"},
        {"en;q=2, ja", "ja"}, // a q-value out of range counts for nothing
        {"en;q=abc, ja;q=0.2", "ja"},
        {",,;;q=,en", "en"},
        {"en, ja", "en"}, // equal weight: the earlier
    };
    for (const auto &[header, expected] : cases)
        EXPECT_EQ(pageLanguage(header), QString::fromLatin1(expected)) << header;
}

class PageTextsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        QFile page(QStringLiteral(":/panel/index.html"));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly));
        html = page.readAll();
        ASSERT_TRUE(texts.loadEnglish(QStringLiteral(RELM_TRANSLATIONS_DIR "/relm_en.qm")));
    }

    QByteArray html;
    PageTexts texts;
};

TEST_F(PageTextsTest, EnglishPageShowsNoJapaneseAndCarriesTheScriptsTexts)
{
    const QString page = QString::fromUtf8(texts.page(html, QStringLiteral("en")));
    EXPECT_TRUE(page.contains(QStringLiteral("<html lang=\"en\">")));
    const QRegularExpressionMatch block = kTextsBlock.match(page);
    ASSERT_TRUE(block.hasMatch());
    // What the browser shows is everything but the script's table, whose keys are Japanese.
    QString shown = page;
    shown.remove(block.capturedStart(), block.capturedLength());
    EXPECT_FALSE(kJapanese.match(shown).hasMatch())
        << kJapanese.match(shown).captured().toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral(">Section map</h2>")));
    EXPECT_TRUE(shown.contains(QStringLiteral(">Point</button>")));

    const QJsonObject table = QJsonDocument::fromJson(block.captured(1).toUtf8()).object();
    EXPECT_EQ(table.value(QStringLiteral("待機中")).toString(), QStringLiteral("Idle"));
    EXPECT_EQ(table.value(QStringLiteral("列車 %1")).toString(), QStringLiteral("Train %1"));
    EXPECT_EQ(table.value(QStringLiteral("RELM - 通信断")).toString(),
              QStringLiteral("RELM - Line lost"));
    for (auto it = table.begin(); it != table.end(); ++it)
        EXPECT_FALSE(kJapanese.match(it.value().toString()).hasMatch()) << it.key().toStdString();
}

TEST_F(PageTextsTest, JapaneseIsThePageAsWrittenAndTheDefault)
{
    EXPECT_EQ(texts.page(html, QStringLiteral("ja")), html);
    EXPECT_EQ(texts.table(QStringLiteral("ja")), QByteArray("{}"));
    PageTexts none;
    EXPECT_FALSE(none.loadEnglish(QStringLiteral("/nonexistent/relm_en.qm")));
    EXPECT_EQ(none.page(html, QStringLiteral("en")), html);
}

TEST_F(PageTextsTest, TheFrontDoorAnswersInTheRequestsLanguage)
{
    ServedAt served;
    served.port = 8080;
    served.addresses = {QStringLiteral("127.0.0.1")};
    const auto get = [&](const QByteArray &extra) {
        return answerDoor(
                   "GET / HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n" + extra + "\r\n", served,
                   [](const QByteArray &) { return std::nullopt; }, &texts)
            .bytes;
    };
    const QByteArray english = get("Accept-Language: en-US,en;q=0.9,ja;q=0.5\r\n");
    EXPECT_TRUE(english.contains("Content-Language: en\r\n"));
    EXPECT_TRUE(english.contains("<html lang=\"en\">"));
    const QByteArray japanese = get("Accept-Language: ja\r\n");
    EXPECT_TRUE(japanese.contains("Content-Language: ja\r\n"));
    EXPECT_TRUE(japanese.endsWith(html));
    EXPECT_TRUE(get({}).endsWith(html));
}

} // namespace
} // namespace relm
