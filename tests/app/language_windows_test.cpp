// Every window in both languages: under English no Japanese character is left in any text and
// no text is clipped by its control; under Japanese every text is today's; the main window and
// its controls keep their places in both.

#include "app/connection_dialog.h"
#include "console/console.h"
#include "console/form1.h"
#include "console/monitor_window.h"
#include "initdata/form2.h"
#include "link/report_watch.h"
#include "map/form3.h"
#include "model/core_text.h"
#include "widgets/wrap_button.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QTranslator>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace relm {
namespace {

bool hasJapanese(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) ||
            (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

struct Shown
{
    QString where;
    QString text;
};

// Every text a window shows: its caption, and each button's, label's, group's, list item's and
// tooltip's text.
std::vector<Shown> textsOf(const QWidget &window)
{
    std::vector<Shown> shown{
        {QString::fromLatin1(window.metaObject()->className()), window.windowTitle()}};
    for (const QWidget *w : window.findChildren<QWidget *>()) {
        const QString where = QString::fromLatin1(w->metaObject()->className());
        if (const auto *b = qobject_cast<const QAbstractButton *>(w))
            shown.push_back({where, b->text()});
        if (const auto *l = qobject_cast<const QLabel *>(w))
            shown.push_back({where, l->text()});
        if (const auto *g = qobject_cast<const QGroupBox *>(w))
            shown.push_back({where, g->title()});
        if (const auto *list = qobject_cast<const QListWidget *>(w)) {
            for (int i = 0; i < list->count(); ++i) {
                shown.push_back({where, list->item(i)->text()});
                shown.push_back({where, list->item(i)->toolTip()});
            }
        }
        shown.push_back({where, w->toolTip()});
    }
    return shown;
}

// What does not fit its control: captions of the console's wrapping buttons in their caption
// area, labels and plain buttons in their width, group titles within the group.
std::vector<QString> clipped(const QWidget &window)
{
    std::vector<QString> out;
    const auto report = [&out](const QWidget *w, const QString &text, QSize need, QSize room) {
        out.push_back(QStringLiteral("%1 \"%2\": needs %3x%4, has %5x%6")
                          .arg(QString::fromLatin1(w->metaObject()->className()), text)
                          .arg(need.width())
                          .arg(need.height())
                          .arg(room.width())
                          .arg(room.height()));
    };
    for (const QWidget *w : window.findChildren<QWidget *>()) {
        if (!w->isVisibleTo(&window))
            continue;
        const QFontMetrics fm = w->fontMetrics();
        if (const auto *b = qobject_cast<const WrapButton *>(w)) {
            const QRect area = b->captionArea();
            const QRect need =
                fm.boundingRect(area, WrapButton::captionFlags(b->text()), b->text());
            if (need.width() > area.width() || need.height() > area.height())
                report(w, b->text(), need.size(), area.size());
            // Japanese may break between any two characters; an English word may not.
            if (!hasJapanese(b->text())) {
                for (const QString &word : b->text().split(u' ')) {
                    if (fm.horizontalAdvance(word) > area.width())
                        report(w, word, QSize(fm.horizontalAdvance(word), fm.height()),
                               area.size());
                }
            }
        } else if (const auto *p = qobject_cast<const QPushButton *>(w)) {
            QStyleOptionButton option;
            option.initFrom(p);
            option.text = p->text();
            const QRect area =
                p->style()->subElementRect(QStyle::SE_PushButtonContents, &option, p);
            const int need = fm.horizontalAdvance(p->text());
            if (need > area.width())
                report(w, p->text(), QSize(need, fm.height()), area.size());
        } else if (const auto *c = qobject_cast<const QAbstractButton *>(w)) {
            if (!c->text().trimmed().isEmpty() && c->width() < c->sizeHint().width())
                report(w, c->text(), c->sizeHint(), c->size());
        } else if (const auto *l = qobject_cast<const QLabel *>(w)) {
            if (l->text().isEmpty() || l->textFormat() == Qt::RichText)
                continue;
            const QRect room = l->contentsRect();
            const QRect need = fm.boundingRect(
                room, int(l->alignment()) | (l->wordWrap() ? Qt::TextWordWrap : 0), l->text());
            // The rows' heights are the windows' own, the same in both languages.
            if (need.width() > room.width())
                report(w, l->text(), need.size(), room.size());
        } else if (const auto *g = qobject_cast<const QGroupBox *>(w)) {
            QStyleOptionGroupBox option;
            option.initFrom(g);
            option.text = g->title();
            option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
            option.textAlignment = g->alignment();
            const QRect label = g->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                           QStyle::SC_GroupBoxLabel, g);
            if (label.right() >= g->width())
                report(w, g->title(), label.size(), g->size());
        }
    }
    return out;
}

// The console's windows, the connection dialog and the status captions, made after the
// language is in force, as relm makes them.
class LanguageWindowsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        ASSERT_TRUE(m_dir.isValid());
        m_before = QDir::currentPath();
        QDir::setCurrent(m_dir.path()); // no layout here: the windows still open
    }

    void TearDown() override
    {
        QCoreApplication::removeTranslator(&m_translator);
        setTextTranslator({});
        QDir::setCurrent(m_before);
    }

    void speakEnglish()
    {
        ASSERT_TRUE(m_translator.load(QStringLiteral(RELM_TRANSLATIONS_DIR "/relm_en.qm")));
        QCoreApplication::installTranslator(&m_translator);
        setTextTranslator([](const char *context, const char *text) {
            return QCoreApplication::translate(context, text).toStdString();
        });
    }

    void open()
    {
        console = std::make_unique<Console>(module, QStringLiteral("/dev/null-port"));
        form1 = std::make_unique<Form1>(*console);
        form1->show();
        form1->form3().show();
        form1->monitor().setPanelUrl(QStringLiteral("http://127.0.0.1:8080/?token=ab"));
        form1->monitor().show();
        form2 = std::make_unique<Form2>(QStringLiteral("atc.ini"));
        form2->show();
        DialogStart start;
        start.layoutDir = m_dir.path();
        start.layoutFixed = true;
        dialog = std::make_unique<ConnectionDialog>(
            start, [] { return QList<SerialPortEntry>{}; },
            [](const QString &) { return OpenProblem{}; });
        dialog->show();
        QApplication::processEvents();
    }

    std::vector<const QWidget *> windows() const
    {
        return {form1.get(), &form1->form3(), &form1->monitor(), form2.get(), dialog.get()};
    }

    std::vector<Shown> allTexts() const
    {
        std::vector<Shown> all;
        for (const QWidget *w : windows()) {
            const std::vector<Shown> texts = textsOf(*w);
            all.insert(all.end(), texts.begin(), texts.end());
        }
        return all;
    }

    // Every child's place in the main window.
    std::vector<QRect> mainWindowPlaces() const
    {
        std::vector<QRect> places{QRect(QPoint(), form1->size())};
        for (const QWidget *w : form1->findChildren<QWidget *>())
            places.push_back(w->geometry());
        return places;
    }

    Module1 module;
    std::unique_ptr<Console> console;
    std::unique_ptr<Form1> form1;
    std::unique_ptr<Form2> form2;
    std::unique_ptr<ConnectionDialog> dialog;

private:
    QTemporaryDir m_dir;
    QString m_before;
    QTranslator m_translator;
};

TEST_F(LanguageWindowsTest, JapaneseIsTodaysText)
{
    open();
    std::vector<QString> texts;
    for (const Shown &s : allTexts())
        texts.push_back(s.text);
    using testing::Contains;
    for (const char *today : {"逆転",
                              "ポイント",
                              "停止",
                              "転送",
                              "リセット",
                              "初期データ設定",
                              "終了",
                              "運行区間表示",
                              "通信モニタ",
                              "一時停止",
                              "消去",
                              "保存...",
                              "遠隔パネル (操作用): http://127.0.0.1:8080/?token=ab",
                              "運転",
                              "路線",
                              "区間",
                              "Ｘ：",
                              "ＯＫ",
                              "キャンセル",
                              "接続設定",
                              "制御装置との接続",
                              "模擬制御装置",
                              "レイアウトのフォルダ",
                              "--layout で指定されたフォルダです。"})
        EXPECT_THAT(texts, Contains(QString::fromUtf8(today))) << today;
    EXPECT_EQ(form1->windowTitle(), QStringLiteral("RELM"));
    EXPECT_EQ(coreText("ReportWatch", kRowNoProgress), "進行なし");
}

TEST_F(LanguageWindowsTest, EnglishLeavesNoJapaneseAndNothingClipped)
{
    speakEnglish();
    open();
    for (const Shown &s : allTexts())
        EXPECT_FALSE(hasJapanese(s.text)) << s.where.toStdString() << ": " << s.text.toStdString();
    EXPECT_EQ(form1->Command4[0]->text(), QStringLiteral("Point"));
    EXPECT_EQ(form1->form3().windowTitle(), QStringLiteral("Section map"));
    for (const QWidget *w : windows()) {
        for (const QString &c : clipped(*w))
            ADD_FAILURE() << w->metaObject()->className() << ": " << c.toStdString();
    }
    // The status captions the watch puts in a train's label fit it.
    const QLabel *row = form1->Label2[0];
    for (const char *caption : {kRowImplausible, kRowSilent, kRowNoProgress}) {
        const QString text = QString::fromStdString(coreText("ReportWatch", caption));
        EXPECT_FALSE(hasJapanese(text));
        EXPECT_LE(row->fontMetrics().horizontalAdvance(text), row->contentsRect().width())
            << text.toStdString();
    }
}

TEST_F(LanguageWindowsTest, TheMainWindowKeepsItsSizeAndEveryControlItsPlace)
{
    open();
    const std::vector<QRect> japanese = mainWindowPlaces();
    form1.reset();
    speakEnglish();
    form1 = std::make_unique<Form1>(*console);
    form1->show();
    QApplication::processEvents();
    EXPECT_EQ(mainWindowPlaces(), japanese);
}

TEST_F(LanguageWindowsTest, NoticesReachTheOperatorInEnglish)
{
    speakEnglish();
    open();
    std::vector<QString> notices;
    form1->setMessageReporter(
        [&notices](const QString &, const QString &text) { notices.push_back(text); });
    // No atc.ini here: Transfer refuses, saying why.
    console->transfer();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_FALSE(hasJapanese(notices[0])) << notices[0].toStdString();
    EXPECT_THAT(notices[0].toStdString(),
                testing::HasSubstr("Transfer stopped. Nothing was sent."));
}

} // namespace
} // namespace relm
