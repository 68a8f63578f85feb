#include "app/layout_directory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace relm {
namespace {

struct LayoutCase
{
    const char *name;
    std::vector<const char *> files;       // made as small files
    std::vector<const char *> directories; // made as directories inside the layout
    const char *layout;                    // the --layout value, relative to the temporary dir
    std::vector<const char *> named;       // the message names these
    std::vector<const char *> notNamed;    // and not these
};

void PrintTo(const LayoutCase &c, std::ostream *os)
{
    *os << c.name;
}

class LayoutDirectoryTest : public testing::TestWithParam<LayoutCase>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.isValid());
        m_before = QDir::currentPath();
        QDir(m_temp.path()).mkpath(QStringLiteral("layout"));
        for (const char *f : GetParam().files) {
            QFile file(m_temp.filePath(QStringLiteral("layout/") + QString::fromUtf8(f)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("0\r\n");
        }
        for (const char *d : GetParam().directories)
            QDir(m_temp.path()).mkpath(QStringLiteral("layout/") + QString::fromUtf8(d));
    }
    void TearDown() override { QDir::setCurrent(m_before); }

    QTemporaryDir m_temp;
    QString m_before;
};

TEST_P(LayoutDirectoryTest, EntersOnlyACompleteLayoutAndOtherwiseSaysWhatIsWrong)
{
    const LayoutCase &c = GetParam();
    const QString dir = m_temp.filePath(QString::fromUtf8(c.layout));
    QString error;
    const bool entered = enterLayoutDirectory(dir, &error);
    if (c.named.empty()) {
        ASSERT_TRUE(entered) << error.toStdString();
        EXPECT_EQ(QDir::current().canonicalPath(), QDir(dir).canonicalPath());
        QFile ini(QStringLiteral("atc.ini")); // by bare name, as the console opens it
        EXPECT_TRUE(ini.open(QIODevice::ReadOnly));
        return;
    }
    EXPECT_FALSE(entered);
    EXPECT_EQ(QDir::currentPath(), m_before) << "a refused layout must not change directory";
    EXPECT_EQ(layoutDirectoryProblem(dir), error);
    // What is wrong, then what to do: the last line names every file a layout needs.
    QStringList lines = error.split(u'\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.takeLast().startsWith(QStringLiteral("--layout ")));
    const QString problem = lines.join(u'\n');
    // The connection dialog says what a layout holds itself: it shows the problem alone.
    EXPECT_EQ(layoutDirectoryProblem(dir, LayoutNamedBy::Dialog), problem);
    for (const char *n : c.named)
        EXPECT_TRUE(problem.contains(QString::fromUtf8(n))) << n << " in " << error.toStdString();
    for (const char *n : c.notNamed)
        EXPECT_FALSE(problem.contains(QString::fromUtf8(n))) << n << " in " << error.toStdString();
}

const std::vector<const char *> kAll{"atctest.bin", "atc.ini", "kukan.dat"};

INSTANTIATE_TEST_SUITE_P(
    Layouts, LayoutDirectoryTest,
    testing::Values(
        LayoutCase{"Complete", kAll, {}, "layout", {}, {}},
        LayoutCase{"CompleteWithTrailingSlash", kAll, {}, "layout/", {}, {}},
        LayoutCase{"Missing", kAll, {}, "no-such-layout", {"no-such-layout", "ありません"}, {}},
        LayoutCase{"AFileNotADirectory",
                   kAll,
                   {},
                   "layout/atc.ini",
                   {"atc.ini", "フォルダではありません"},
                   {}},
        LayoutCase{"LacksTheIniFile",
                   {"atctest.bin", "kukan.dat"},
                   {},
                   "layout",
                   {"atc.ini がありません"},
                   {"kukan.dat", "atctest.bin が"}},
        LayoutCase{"LacksTwo",
                   {"atc.ini"},
                   {},
                   "layout",
                   {"atctest.bin、kukan.dat がありません"},
                   {"読めません"}},
        LayoutCase{"EmptyDirectory", {}, {}, "layout", {"atctest.bin、atc.ini、kukan.dat"}, {}},
        LayoutCase{"MapIsADirectory",
                   {"atctest.bin", "atc.ini"},
                   {"kukan.dat"},
                   "layout",
                   {"kukan.dat はファイルとして読めません"},
                   {"ありません"}}),
    [](const testing::TestParamInfo<LayoutCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm
