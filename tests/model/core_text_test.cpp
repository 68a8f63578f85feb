// The core's texts: Japanese exactly as written without a translator, the translation with the
// figures in the translation's places with one.

#include "initdata/load_ini.h"
#include "link/download_frame.h"
#include "model/core_text.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace relm {
namespace {

class CoreTextTest : public testing::Test
{
protected:
    void TearDown() override { setTextTranslator({}); }

    // Translates the texts given, by context and Japanese; any other comes back empty, as from
    // a translation that lacks it.
    void translate(std::map<std::pair<std::string, std::string>, std::string> texts)
    {
        setTextTranslator([texts = std::move(texts)](const char *context, const char *text) {
            const auto found = texts.find({context, text});
            return found == texts.end() ? std::string() : found->second;
        });
    }
};

TEST_F(CoreTextTest, FillsMarkersInOnePassInAnyOrderAndLeavesOthersAlone)
{
    EXPECT_EQ(fillIn("%2 of %1", {"a", "b"}), "b of a");
    // A figure that holds a marker is not filled again; a marker without a figure stays, and so
    // does a percent sign that is no marker.
    EXPECT_EQ(fillIn("%1 %2", {"%2", "x"}), "%2 x");
    EXPECT_EQ(fillIn("%1% %3 %0 100%", {"50"}), "50% %3 %0 100%");
    EXPECT_EQ(fillIn("%1%1", {"ab"}), "abab");
    EXPECT_EQ(fillIn("", {"a"}), "");
}

TEST_F(CoreTextTest, JapaneseUnlessTranslatedAndTheSourceWhereATranslationLacksIt)
{
    EXPECT_EQ(coreText("LoadIni", "路線"), "路線");
    translate({{{"LoadIni", "路線"}, "route"}});
    EXPECT_EQ(coreText("LoadIni", "路線"), "route");
    EXPECT_EQ(coreText("Other", "路線"), "路線");
    EXPECT_EQ(coreText("LoadIni", "区間"), "区間");
    setTextTranslator({});
    EXPECT_EQ(coreText("LoadIni", "路線"), "路線");
}

TEST_F(CoreTextTest, MessagesWithFiguresPutThemWhereTheTranslationSays)
{
    const std::string japanese = imageRefusal(20000);
    EXPECT_EQ(japanese,
              "プログラムが大きすぎるため送信しません: 20,000 バイト (上限 19,969 バイト)");
    translate(
        {{{"DownloadFrame", "プログラムが大きすぎるため送信しません: %1 バイト (上限 %2 バイト)"},
          "at most %2 bytes, not %1"}});
    EXPECT_EQ(imageRefusal(20000), "at most 19,969 bytes, not 20,000");
    EXPECT_EQ(imageRefusal(19969), "");

    // A message made of several texts: each part translated, the file and figures kept.
    translate({{{"LoadIni", "「%1」"}, "'%1'"},
               {{"LoadIni", "%1 %2 行目、列車 %3 の%4："}, "%1 line %2, train %3 %4: "},
               {{"LoadIni", "逆転"}, "reverse"},
               {{"LoadIni", "「%1」は数値ではありません。"}, "'%1' is no number."},
               {{"LoadIni", "、"}, ", "},
               {{"LoadIni", "列車 %1 の位置は変更されていません。"}, " %1 unchanged."}});
    Module1 m;
    EXPECT_EQ(applyIni(m, parseIni("1\n1\n0\n1\n0\n0\nyes\n"), "atc.ini").message,
              "'atc.ini' line 7, train Y reverse: 'yes' is no number. Y, Z unchanged.");
    // With the translator gone, today's Japanese again, byte for byte.
    setTextTranslator({});
    EXPECT_EQ(applyIni(m, parseIni("1\n1\n0\n1\n0\n0\nyes\n"), "atc.ini").message,
              "「atc.ini」 7 行目、列車 Y の逆転：「yes」は数値ではありません。"
              "列車 Y、Z の位置は変更されていません。");
}

} // namespace
} // namespace relm
