#include "app/layout_directory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <array>

namespace relm {

namespace {

// The files the console opens by bare name: the program image (Transfer), the initial train
// positions (Transfer and the initial data dialog) and the map geometry (the map window).
constexpr std::array kLayoutFiles{"atctest.bin", "atc.ini", "kukan.dat"};

QString hint(LayoutNamedBy by)
{
    if (by == LayoutNamedBy::Dialog)
        return {};
    return QCoreApplication::translate(
        "LayoutDirectory", "\n--layout には atctest.bin、atc.ini、kukan.dat のあるフォルダを"
                           "指定してください。");
}

} // namespace

QString layoutDirectoryProblem(const QString &dir, LayoutNamedBy by)
{
    const QFileInfo info(dir);
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.exists())
        return QCoreApplication::translate("LayoutDirectory",
                                           "レイアウトのフォルダ「%1」がありません。")
                   .arg(shown) +
               hint(by);
    if (!info.isDir())
        return QCoreApplication::translate("LayoutDirectory", "「%1」はフォルダではありません。")
                   .arg(shown) +
               hint(by);
    if (!info.isExecutable() || !info.isReadable())
        return QCoreApplication::translate(
                   "LayoutDirectory",
                   "レイアウトのフォルダ「%1」を開けません（アクセス権がありません）。")
            .arg(shown);

    QStringList missing;
    QStringList unreadable;
    const QDir d(dir);
    for (const char *name : kLayoutFiles) {
        const QFileInfo file(d.filePath(QString::fromLatin1(name)));
        if (!file.exists())
            missing << file.fileName();
        else if (!file.isFile() || !file.isReadable())
            unreadable << file.fileName();
    }
    QString problem;
    if (!missing.isEmpty()) {
        problem +=
            QCoreApplication::translate("LayoutDirectory",
                                        "レイアウトのフォルダ「%1」に %2 がありません。")
                .arg(shown, missing.join(QCoreApplication::translate("LayoutDirectory", "、")));
    }
    if (!unreadable.isEmpty()) {
        if (!problem.isEmpty())
            problem += u'\n';
        problem +=
            QCoreApplication::translate(
                "LayoutDirectory", "レイアウトのフォルダ「%1」の %2 はファイルとして読めません。")
                .arg(shown, unreadable.join(QCoreApplication::translate("LayoutDirectory", "、")));
    }
    return problem.isEmpty() ? problem : problem + hint(by);
}

bool enterLayoutDirectory(const QString &dir, QString *error)
{
    QString problem = layoutDirectoryProblem(dir);
    if (problem.isEmpty() && !QDir::setCurrent(dir)) {
        problem = QCoreApplication::translate("LayoutDirectory",
                                              "レイアウトのフォルダ「%1」に移れません。")
                      .arg(QDir::toNativeSeparators(QFileInfo(dir).absoluteFilePath()));
    }
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    return true;
}

} // namespace relm
