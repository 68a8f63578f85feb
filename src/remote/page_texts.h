#pragma once

// The page's own words in the browser's language. The page is written in Japanese; a browser
// whose Accept-Language prefers English gets it with every text replaced by its English from the
// console's translation file, the same one the windows use, and with the table of the texts its
// script shows (states, notices, the console's status captions) in a JSON block it reads at
// start. Japanese is the default and the page as written.

#include <QByteArray>
#include <QString>
#include <QTranslator>

#include <memory>

namespace relm {

// The language an Accept-Language header prefers among English and Japanese, by its q-values,
// the earlier on equal ones: "en" or "ja". Japanese when it names neither or cannot be read.
QString pageLanguage(const QByteArray &acceptLanguage);

class PageTexts
{
public:
    PageTexts();
    ~PageTexts();
    PageTexts(const PageTexts &) = delete;
    PageTexts &operator=(const PageTexts &) = delete;

    // Loads the English translation. False when the file is missing or unreadable; the page is
    // then served in Japanese to every browser.
    bool loadEnglish(const QString &qmFile);
    bool hasEnglish() const { return m_english != nullptr; }

    // index.html (as written, in Japanese) for a browser of the given language.
    QByteArray page(const QByteArray &html, const QString &language) const;

    // The texts the page shows, Japanese to the language's: what the page's script looks up.
    QByteArray table(const QString &language) const;

private:
    QString english(const char *context, const char *text) const;

    std::unique_ptr<QTranslator> m_english;
};

} // namespace relm
