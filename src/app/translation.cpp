#include "app/translation.h"

#include "model/core_text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

namespace relm {

QStringList translationDirectories()
{
    const QDir bin(QCoreApplication::applicationDirPath());
    return {QDir::cleanPath(bin.filePath(QStringLiteral("../share/relm/translations"))),
            bin.absolutePath()};
}

QString translationFile(const QString &code, const QStringList &directories)
{
    const QString name = QStringLiteral("relm_%1.qm").arg(code);
    for (const QString &dir : directories) {
        const QFileInfo file(QDir(dir).filePath(name));
        if (file.isFile())
            return file.absoluteFilePath();
    }
    return {};
}

bool installLanguage(Language language, QString *error)
{
    if (language == Language::Japanese)
        return true;
    const QStringList directories = translationDirectories();
    const QString path = translationFile(languageCode(language), directories);
    if (path.isEmpty()) {
        *error = QStringLiteral("relm_%1.qm is in none of %2")
                     .arg(languageCode(language), directories.join(QStringLiteral(", ")));
        return false;
    }
    // Lives as long as the application, which keeps using it.
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(path)) {
        delete translator;
        *error = QStringLiteral("%1 is not a translation file").arg(path);
        return false;
    }
    QCoreApplication::installTranslator(translator);
    setTextTranslator([](const char *context, const char *text) {
        return QCoreApplication::translate(context, text).toStdString();
    });
    return true;
}

} // namespace relm
