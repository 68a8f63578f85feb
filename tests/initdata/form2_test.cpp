#include "initdata/form2.h"

#include "widgets/up_down.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace relm {
namespace {

const IniValueArray kExample{1, 2, 0, 1, 0, 5, 1, 1, 0, 0, 0, 0};

// Each test in a folder of its own; save failures are collected instead of shown.
class Form2Test : public testing::Test
{
protected:
    std::unique_ptr<Form2> open()
    {
        auto dialog = std::make_unique<Form2>(m_path);
        dialog->setSaveErrorReporter([this](QWidget *, const QString &t) { m_errors << t; });
        dialog->show();
        return dialog;
    }
    std::string file(const char *name = "atc.ini") const
    {
        std::ifstream in(m_dir.path().toStdString() + '/' + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(QStringLiteral("atc.ini"));
    QStringList m_errors;
};

enum class Close { Ok, Cancel, CloseBox };

// (file, none if empty; the values shown; how the dialog is closed)
class Form2LoadTest
    : public Form2Test,
      public testing::WithParamInterface<std::tuple<std::string, IniValueArray, Close>>
{
};

TEST_P(Form2LoadTest, ShowsWhatTheFileAllowsAndOnlyOkWritesItInTheStandardLayout)
{
    const auto &[before, shown, close] = GetParam();
    if (!before.empty())
        std::ofstream(m_path.toStdString(), std::ios::binary) << before;
    const auto d = open();
    EXPECT_EQ(d->currentValues(), shown);
    for (std::size_t i = 0; i < 3; ++i) // each spinner's label shows its value
        EXPECT_EQ(d->Label2[i]->text() + u',' + d->Label3[i]->text(),
                  QStringLiteral("%1,%2").arg(shown[i * 4]).arg(shown[i * 4 + 1]));
    if (close == Close::CloseBox)
        d->close();
    else
        QTest::mouseClick(close == Close::Ok ? d->Command1 : d->Command2, Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(file(), close == Close::Ok ? formatIni(shown) : before);
}

const std::string kCommas = "1,2,0,1\n0,5,1,1\n0,0,0,0";
INSTANTIATE_TEST_SUITE_P(
    Files, Form2LoadTest,
    testing::Values(std::tuple{kCommas, kExample, Close::Ok},
                    std::tuple{kCommas, kExample, Close::Cancel},
                    std::tuple{kCommas, kExample, Close::CloseBox},
                    std::tuple{std::string(), IniValueArray{}, Close::Ok},
                    std::tuple{std::string("9,8,5,-1\n-3,7,1,1\nx\n1"),
                               IniValueArray{3, 7, 1, 0, 0, 7, 1, 1, 0, 0, 0, 0}, Close::Ok}));

TEST_F(Form2Test, OkSavesTheOperatorsSettingsInANewFileThatTheNextOpeningShows)
{
    std::ofstream(m_path.toStdString(), std::ios::binary) << formatIni(kExample);
    // A second name for the old file keeps the old bytes only if a new file replaced it whole.
    std::filesystem::create_hard_link(m_path.toStdString(), m_path.toStdString() + "~");
    const auto d = open();
    QTest::mouseClick(d->Check1[2], Qt::LeftButton); // Z reverse: line 11 becomes 1
    QTest::mouseClick(d->Check2[1], Qt::LeftButton); // Y off the layout: line 8 becomes 0
    for (int i = 0; i < 9; ++i)
        QTest::mouseClick(d->UpDown2[2]->upButton(), Qt::LeftButton); // stops at 7
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    const IniValueArray saved{1, 2, 0, 1, 0, 5, 1, 0, 0, 7, 1, 0};
    EXPECT_EQ(file(), formatIni(saved));
    EXPECT_EQ(file("atc.ini~"), formatIni(kExample));
    EXPECT_EQ(open()->currentValues(), saved);
}

TEST_F(Form2Test, FailedSaveIsReportedAndKeepsTheDialogOpenWithTheOperatorsValues)
{
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("atc.ini"))); // a folder in the way
    const auto d = open();
    QTest::mouseClick(d->UpDown2[0]->upButton(), Qt::LeftButton);
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QDir::toNativeSeparators(m_path)));
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->currentValues()[1], 1);
}

} // namespace
} // namespace relm
