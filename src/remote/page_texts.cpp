#include "remote/page_texts.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <vector>

namespace relm {

namespace {

struct PageText
{
    const char *context;
    const char *text;
};

// What index.html says, longest first where one text holds another ("速度" in "指令速度").
constexpr std::array kMarkup{
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "運行区間表示")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "後 自 次 次々")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "接続中…")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "閲覧のみ")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "報告速度")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "指令速度")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "ポイント")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "リセット")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "転送")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "逆転")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "停止")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "速度")},
};

// What panel.js shows, and the console's fixed captions that come to it in its messages.
constexpr std::array kScript{
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "待機中")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "送信中")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "運転中")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "通信断")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "接続中…")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "接続断")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "操作可")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "閲覧のみ")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "トークンが違います: 閲覧のみです")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "列車 %1")},
    PageText{"RemotePage", QT_TRANSLATE_NOOP("RemotePage", "エラー: %1")},
    PageText{"relm::Console", QT_TRANSLATE_NOOP("relm::Console", "RELM - 通信断")},
    PageText{"ReportWatch", QT_TRANSLATE_NOOP("ReportWatch", "RELM - 在線異常")},
    PageText{"ReportWatch", QT_TRANSLATE_NOOP("ReportWatch", "RELM - 報告途絶")},
    PageText{"ReportWatch", QT_TRANSLATE_NOOP("ReportWatch", "RELM - 進行なし")},
    PageText{"ReportWatch", QT_TRANSLATE_NOOP("ReportWatch", "在線異常")},
    PageText{"ReportWatch", QT_TRANSLATE_NOOP("ReportWatch", "報告途絶")},
    PageText{"ReportWatch", QT_TRANSLATE_NOOP("ReportWatch", "進行なし")},
};

struct Preference
{
    QString language;
    double weight = 0.0;
};

} // namespace

QString pageLanguage(const QByteArray &acceptLanguage)
{
    // At most a few dozen entries are looked at: the header is bounded by the request head.
    std::vector<Preference> spoken;
    for (const QByteArray &entry : acceptLanguage.split(',')) {
        const QList<QByteArray> parts = entry.split(';');
        const QString tag = QString::fromLatin1(parts.first().trimmed()).toLower();
        const QString primary = tag.section(u'-', 0, 0);
        if (primary != QLatin1String("en") && primary != QLatin1String("ja"))
            continue;
        double weight = 1.0;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray p = parts[i].trimmed();
            if (p.startsWith("q=")) {
                bool ok = false;
                weight = p.mid(2).toDouble(&ok);
                if (!ok || weight < 0.0 || weight > 1.0)
                    weight = 0.0;
            }
        }
        if (weight > 0.0)
            spoken.push_back({primary, weight});
    }
    std::stable_sort(spoken.begin(), spoken.end(),
                     [](const Preference &a, const Preference &b) { return a.weight > b.weight; });
    return spoken.empty() ? QStringLiteral("ja") : spoken.front().language;
}

PageTexts::PageTexts() = default;
PageTexts::~PageTexts() = default;

bool PageTexts::loadEnglish(const QString &qmFile)
{
    auto translator = std::make_unique<QTranslator>();
    if (qmFile.isEmpty() || !translator->load(qmFile))
        return false;
    m_english = std::move(translator);
    return true;
}

QString PageTexts::english(const char *context, const char *text) const
{
    const QString translated = m_english ? m_english->translate(context, text) : QString();
    return translated.isEmpty() ? QString::fromUtf8(text) : translated;
}

QByteArray PageTexts::table(const QString &language) const
{
    QJsonObject texts;
    if (language == QLatin1String("en") && m_english) {
        for (const PageText &t : kScript)
            texts.insert(QString::fromUtf8(t.text), english(t.context, t.text));
    }
    return QJsonDocument(texts).toJson(QJsonDocument::Compact);
}

QByteArray PageTexts::page(const QByteArray &html, const QString &language) const
{
    if (language != QLatin1String("en") || !m_english)
        return html;
    QString out = QString::fromUtf8(html);
    out.replace(QStringLiteral("<html lang=\"ja\">"), QStringLiteral("<html lang=\"en\">"));
    for (const PageText &t : kMarkup)
        out.replace(QString::fromUtf8(t.text), english(t.context, t.text).toHtmlEscaped());
    // A JSON block is data, not script: the page's policy lets it be, and the script reads it.
    // "</" may not stand in it, or it would end the block.
    QByteArray json = table(language);
    json.replace("</", "<\\/");
    out.replace(QStringLiteral("</head>"),
                QStringLiteral("<script id=\"texts\" type=\"application/json\">") +
                    QString::fromUtf8(json) + QStringLiteral("</script>\n</head>"));
    return out.toUtf8();
}

} // namespace relm
