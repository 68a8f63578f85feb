#include "initdata/form2.h"

#include "widgets/up_down.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

namespace relm {
namespace {

const IniValueArray kExample{1, 2, 0, 1, 0, 5, 1, 1, 0, 0, 0, 0};

QByteArray fileBytes(const IniValueArray &values)
{
    const std::string s = formatIni(values);
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

class Form2Test : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("atc.ini"));
    }
    void TearDown() override
    {
        // A test may have made the folder read-only; it must still be removable.
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void writeFile(const QByteArray &bytes) const
    {
        QFile f(m_path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray readFile() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // A dialog whose save failures are counted instead of shown.
    std::unique_ptr<Form2> openDialog(const QString &path)
    {
        auto dialog = std::make_unique<Form2>(path);
        dialog->setSaveErrorReporter(
            [this](QWidget *, const QString &text) { m_errors.push_back(text); });
        dialog->show();
        return dialog;
    }
    std::unique_ptr<Form2> openDialog() { return openDialog(m_path); }

    QTemporaryDir m_dir;
    QString m_path;
    QStringList m_errors;
};

struct LoadCase
{
    const char *name;
    QByteArray file; // empty: no file at all
    IniValueArray shown;
};

class Form2LoadTest : public Form2Test, public testing::WithParamInterface<LoadCase>
{
};

TEST_P(Form2LoadTest, OpensOnAnyFileAndShowsWhatItCan)
{
    if (!GetParam().file.isEmpty())
        writeFile(GetParam().file);
    const auto d = openDialog();
    EXPECT_EQ(d->currentValues(), GetParam().shown);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(d->Label2[i]->text(), QString::number(GetParam().shown[i * 4]));
        EXPECT_EQ(d->Label3[i]->text(), QString::number(GetParam().shown[i * 4 + 1]));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Form2LoadTest,
    testing::Values(
        LoadCase{"Example", fileBytes(kExample), kExample}, LoadCase{"Missing", {}, {}},
        LoadCase{"Short", "3\r\n7\r\n1\r\n1\r\n2\r\n", {3, 7, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0}},
        LoadCase{"OutOfRange", "9,9,5,-1,-3,8,1,1,0,0,0,7", {3, 7, 1, 0, 0, 7, 1, 1, 0, 0, 0, 1}},
        LoadCase{"WordStopsReading", "2\n3\nx\n1\n", {2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}),
    [](const auto &p) { return std::string(p.param.name); });

TEST_F(Form2Test, OkWritesTheOperatorsSettingsAndClosesAndTheNextOpeningShowsThem)
{
    writeFile(fileBytes(kExample));
    auto d = openDialog();
    QTest::mouseClick(d->Check1[2], Qt::LeftButton); // Z reverse: line 11 becomes 1
    QTest::mouseClick(d->Check2[1], Qt::LeftButton); // Y off the layout: line 8 becomes 0
    for (int i = 0; i < 9; ++i)
        QTest::mouseClick(d->UpDown2[2]->upButton(), Qt::LeftButton); // stops at 7
    QTest::mouseClick(d->UpDown1[0]->downButton(), Qt::LeftButton);
    QTest::mouseClick(d->Command1, Qt::LeftButton);

    EXPECT_TRUE(m_errors.isEmpty());
    EXPECT_EQ(d->result(), QDialog::Accepted);
    EXPECT_FALSE(d->isVisible());
    const IniValueArray saved{0, 2, 0, 1, 0, 5, 1, 0, 0, 7, 1, 0};
    EXPECT_EQ(readFile(), fileBytes(saved));
    EXPECT_EQ(openDialog()->currentValues(), saved);
}

TEST_F(Form2Test, OkPutsANewFileInPlaceInsteadOfRewritingTheOldOne)
{
    // A second name for the old file keeps the old bytes only if the new file replaced it whole.
    writeFile(fileBytes(kExample));
    const QString second = m_dir.filePath(QStringLiteral("atc.old"));
    std::filesystem::create_hard_link(m_path.toStdString(), second.toStdString());
    auto d = openDialog();
    QTest::mouseClick(d->Check2[0], Qt::LeftButton);
    QTest::mouseClick(d->Command1, Qt::LeftButton);
    IniValueArray changed = kExample;
    changed[3] = 0;
    EXPECT_EQ(readFile(), fileBytes(changed));
    QFile old(second);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), fileBytes(kExample));
}

TEST_F(Form2Test, OkWithoutChangesCreatesOrRewritesTheFileInTheStandardLayout)
{
    const struct
    {
        QByteArray before; // empty: no file
        IniValueArray saved;
    } cases[] = {{"1,2,0,1\n0,5,1,1\n0,0,0,0", kExample}, {{}, {}}};
    for (const auto &c : cases) {
        QFile::remove(m_path);
        if (!c.before.isEmpty())
            writeFile(c.before);
        QTest::mouseClick(openDialog()->Command1, Qt::LeftButton);
        EXPECT_EQ(readFile(), fileBytes(c.saved)) << c.before.constData();
    }
}

TEST_F(Form2Test, CancelCloseBoxAndEscapeLeaveTheFileByteForByte)
{
    const QByteArray original = "1,2,0,1\n0,5,1,1\n0,0,0,0 junk";
    writeFile(original);
    const std::array<std::function<void(Form2 &)>, 3> ways{
        [](Form2 &f) { QTest::mouseClick(f.Command2, Qt::LeftButton); },
        [](Form2 &f) { f.close(); }, [](Form2 &f) { QTest::keyClick(&f, Qt::Key_Escape); }};
    for (const auto &closeIt : ways) {
        auto d = openDialog();
        QTest::mouseClick(d->Check2[2], Qt::LeftButton);
        QTest::mouseClick(d->UpDown1[1]->upButton(), Qt::LeftButton);
        closeIt(*d);
        EXPECT_FALSE(d->isVisible());
        EXPECT_EQ(d->result(), QDialog::Rejected);
        EXPECT_EQ(readFile(), original);
    }
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(Form2Test, OpenModalReturnsWhenClosedAndSavesOnlyOnOk)
{
    writeFile(fileBytes(kExample));
    const auto clickLater = [](bool ok) {
        QTimer::singleShot(0, [ok] {
            auto *d = qobject_cast<Form2 *>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            QTest::mouseClick(d->Check2[2], Qt::LeftButton);
            QTest::mouseClick(ok ? d->Command1 : d->Command2, Qt::LeftButton);
        });
    };
    clickLater(false);
    EXPECT_EQ(Form2::openModal(nullptr, m_path), QDialog::Rejected);
    EXPECT_EQ(readFile(), fileBytes(kExample));

    clickLater(true);
    EXPECT_EQ(Form2::openModal(nullptr, m_path), QDialog::Accepted);
    IniValueArray withZ = kExample;
    withZ[11] = 1;
    EXPECT_EQ(readFile(), fileBytes(withZ));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// How a save can be made to fail; each returns the path to save to.
struct SaveFailCase
{
    const char *name;
    std::function<QString(const QTemporaryDir &)> prepare;
    bool needsUnprivileged;
};

class Form2SaveFailureTest : public Form2Test, public testing::WithParamInterface<SaveFailCase>
{
};

TEST_P(Form2SaveFailureTest, ReportsKeepsTheDialogOpenAndTheOldFileIntact)
{
    const SaveFailCase &c = GetParam();
    if (c.needsUnprivileged && geteuid() == 0)
        GTEST_SKIP() << "running as root, a read-only directory is writable anyway";
    const QString path = c.prepare(m_dir);
    const QFileInfo before(path);
    QByteArray old;
    if (before.isFile()) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        old = f.readAll();
    }

    auto d = openDialog(path);
    QTest::mouseClick(d->UpDown2[0]->upButton(), Qt::LeftButton);
    const IniValueArray entered = d->currentValues();
    QTest::mouseClick(d->Command1, Qt::LeftButton);

    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors[0].contains(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())))
        << m_errors[0].toStdString();
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->currentValues(), entered);
    const QFileInfo after(path);
    EXPECT_EQ(after.exists(), before.exists());
    EXPECT_EQ(after.isDir(), before.isDir());
    if (before.isFile()) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), old);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, Form2SaveFailureTest,
    testing::Values(SaveFailCase{"PathIsADirectory",
                                 [](const QTemporaryDir &dir) {
                                     QDir(dir.path()).mkdir(QStringLiteral("atc.ini"));
                                     return dir.filePath(QStringLiteral("atc.ini"));
                                 },
                                 false},
                    SaveFailCase{"FolderMissing",
                                 [](const QTemporaryDir &dir) {
                                     return dir.filePath(QStringLiteral("gone/atc.ini"));
                                 },
                                 false},
                    SaveFailCase{"FolderReadOnly",
                                 [](const QTemporaryDir &dir) {
                                     const QString path = dir.filePath(QStringLiteral("atc.ini"));
                                     QFile f(path);
                                     if (f.open(QIODevice::WriteOnly))
                                         f.write("3\r\n7\r\n1\r\n1\r\n");
                                     f.close();
                                     QFile::setPermissions(dir.path(),
                                                           QFile::ReadOwner | QFile::ExeOwner);
                                     return path;
                                 },
                                 true}),
    [](const auto &p) { return std::string(p.param.name); });

TEST_F(Form2Test, CaptionsAndEveryControlInsideItsParent)
{
    const auto d = openDialog();
    EXPECT_EQ(d->windowTitle(), QStringLiteral("初期データ設定"));
    EXPECT_EQ(d->size(), QSize(391, 223));
    EXPECT_EQ(d->Frame1->title(), QStringLiteral("路線"));
    EXPECT_EQ(d->Frame2->title(), QStringLiteral("区間"));
    EXPECT_EQ(d->Frame3->title(), QStringLiteral("逆転"));
    EXPECT_EQ(d->Frame4->title(), QStringLiteral("運転"));
    EXPECT_EQ(d->Command1->text(), QStringLiteral("ＯＫ"));
    EXPECT_EQ(d->Command2->text(), QStringLiteral("キャンセル"));
    EXPECT_EQ(d->Label1[1]->text(), QStringLiteral("Ｙ："));
    EXPECT_EQ(d->Check1[0]->text(), QStringLiteral("　"));
    EXPECT_TRUE(d->Check2[0]->text().isEmpty());
    for (QWidget *w : d->findChildren<QWidget *>()) {
        if (w->isWindow() || w->parentWidget() == nullptr)
            continue;
        EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
            << w->metaObject()->className() << " " << w->parentWidget()->metaObject()->className();
    }
    // The value displays sit on a white fill, as caption text does.
    EXPECT_TRUE(d->Label2[0]->autoFillBackground());
    EXPECT_EQ(d->Label3[2]->palette().color(QPalette::Window), QColor(Qt::white));
}

} // namespace
} // namespace relm
