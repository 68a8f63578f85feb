#include "app/command_line.h"

#include <QCommandLineParser>
#include <QDir>

#include <algorithm>
#include <tuple>

namespace relm {

namespace {

// One row per option: what the parser accepts, what the help shows, and where the value goes.
// A new option is a row here and a field in ConsoleOptions; checks that involve several options
// follow the reading loop in parseCommandLine.
struct OptionRow
{
    QStringList names; // the first is the one the help shows
    QString valueName; // empty for a switch
    QString help;
    bool ConsoleOptions::*flag = nullptr;         // set for a switch
    std::string ConsoleOptions::*value = nullptr; // set for an option with a value
    QString needs;                                // what an empty value lacks, for the error
};

std::vector<OptionRow> optionRows()
{
    using O = ConsoleOptions;
    const auto flag = [](QStringList names, const char *help, bool O::*target) {
        return OptionRow{std::move(names), {}, QString::fromUtf8(help), target, nullptr, {}};
    };
    const auto value = [](const char *name, const char *valueName, const QString &help,
                          std::string O::*target, const char *needs) {
        return OptionRow{
            {QString::fromUtf8(name)}, QString::fromUtf8(valueName), help, nullptr, target,
            QString::fromUtf8(needs)};
    };
    return {
        value("port", "DEVICE",
              QStringLiteral("serial device of the track controller; without it and without "
                             "--simulate, the remembered connection, or the connection dialog"),
              &O::port, "a device name, e.g. --port /dev/ttyUSB0"),
        flag({QStringLiteral("simulate")},
             "start the simulated controller relm-sim and use its device", &O::simulate),
        flag({QStringLiteral("choose")},
             "show the connection dialog even when the remembered connection works", &O::choose),
        value("layout", "DIR",
              QStringLiteral("work in layout directory DIR (atctest.bin, atc.ini, kukan.dat)"),
              &O::layoutDir, "a directory, e.g. --layout ~/my-layout"),
        flag({QStringLiteral("monitor")},
             "open the traffic monitor at start (F2 opens it any time)", &O::monitor),
        value("log", "FILE", QStringLiteral("append every frame in both directions to FILE"),
              &O::logFile, "a file name, e.g. --log traffic.log"),
        value("serve", "[ADDRESS:]PORT",
              QStringLiteral("serve the remote panel (a web page) there and print its view and "
                             "control URLs; ADDRESS is 127.0.0.1 unless given, PORT 0 picks a free "
                             "port; 0.0.0.0:PORT serves other machines, guarded by the token only"),
              &O::serve, "[ADDRESS:]PORT, e.g. --serve 8080 or --serve 0.0.0.0:8080"),
        value("withrottle", "[ADDRESS:]PORT",
              QStringLiteral("serve WiThrottle throttles (phone apps, hand throttles) there and "
                             "print withrottle: ADDRESS:PORT; ADDRESS is 127.0.0.1 unless given, "
                             "12090 is the usual PORT, 0 picks a free one; the protocol has no "
                             "password: beyond loopback anyone on the network may drive"),
              &O::withrottle,
              "[ADDRESS:]PORT, e.g. --withrottle 12090 or --withrottle 0.0.0.0:12090"),
        value("section-length", "MM",
              QStringLiteral("length of the layout's sections, by which a train sent speed but not "
                             "leaving its section is reported (default 1000)"),
              &O::sectionLength, "a length in millimetres, e.g. --section-length 600"),
        value("top-speed", "MM_PER_S",
              QStringLiteral("how fast the trains run at speed 128 (default 250)"), &O::topSpeed,
              "a speed in millimetres a second, e.g. --top-speed 300"),
        value("language", "en|ja",
              QStringLiteral("speak English (en) or Japanese (ja); without it, the desktop's "
                             "language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), Japanese when that "
                             "is neither"),
              &O::language, "en or ja, e.g. --language en"),
        flag({QStringLiteral("help"), QStringLiteral("h")}, "show this text and end", &O::help),
        flag({QStringLiteral("version")}, "show the version and end", &O::version),
    };
}

QString shownName(const OptionRow &row)
{
    QString s = QStringLiteral("--") + row.names.first();
    if (!row.valueName.isEmpty())
        s += u' ' + row.valueName;
    return s;
}

} // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string> &args)
{
    ParsedCommandLine parsed;
    ConsoleOptions &o = parsed.options;
    const std::vector<OptionRow> rows = optionRows();

    QCommandLineParser parser;
    for (const OptionRow &row : rows)
        parser.addOption(QCommandLineOption(row.names, row.help, row.valueName));
    QStringList line{QStringLiteral("relm")};
    for (const std::string &a : args)
        line << QString::fromLocal8Bit(a.data(), static_cast<qsizetype>(a.size()));
    if (!parser.parse(line)) {
        parsed.error = parser.errorText().toStdString();
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.error =
            "unknown argument '" + parser.positionalArguments().first().toStdString() + "'";
        return parsed;
    }

    for (const OptionRow &row : rows) {
        const QString &name = row.names.first();
        if (row.flag) {
            o.*row.flag = parser.isSet(name);
        } else if (parser.isSet(name)) {
            const QString v = parser.value(name);
            if (v.isEmpty()) {
                parsed.error = "--" + name.toStdString() + " needs " + row.needs.toStdString();
                return parsed;
            }
            o.*row.value = v.toStdString();
        }
    }

    if (parser.isSet(QStringLiteral("port")) && o.simulate) {
        parsed.error =
            "--port and --simulate exclude each other: the simulator names its own device";
        return parsed;
    }
    if (o.choose && (parser.isSet(QStringLiteral("port")) || o.simulate)) {
        parsed.error = "--choose is for choosing the connection in the dialog; it excludes --port "
                       "and --simulate";
        return parsed;
    }
    if (!o.language.empty()) {
        const QString name = QString::fromStdString(o.language).toLower();
        if (name != QLatin1String("en") && name != QLatin1String("ja")) {
            parsed.error = "--language needs en or ja, not '" + o.language + "'";
            return parsed;
        }
        o.language = name.toStdString();
    }
    // The layout's figures: positive numbers of a sensible size.
    for (const auto &[text, number, name] :
         {std::tuple{&o.sectionLength, &o.sectionLengthMm, "--section-length"},
          std::tuple{&o.topSpeed, &o.topSpeedMmPerS, "--top-speed"}}) {
        if (text->empty())
            continue;
        bool ok = false;
        const double v = QString::fromStdString(*text).toDouble(&ok);
        if (!ok || !(v >= 1.0 && v <= 100000.0)) {
            parsed.error =
                std::string(name) + " needs a number from 1 to 100000, not '" + *text + "'";
            return parsed;
        }
        *number = v;
    }
    if (!o.logFile.empty())
        o.logFile =
            QDir::current().absoluteFilePath(QString::fromStdString(o.logFile)).toStdString();
    return parsed;
}

std::string usageText()
{
    const std::vector<OptionRow> rows = optionRows();
    const QString lead = QStringLiteral("usage: relm");
    QString usage = lead;
    qsizetype column = usage.size();
    qsizetype width = 0;
    for (const OptionRow &row : rows) {
        const QString item = u'[' + shownName(row) + u']';
        if (column + 1 + item.size() > 80) {
            usage += u'\n' + QString(lead.size(), u' ');
            column = lead.size();
        }
        usage += u' ' + item;
        column += 1 + item.size();
        width = std::max(width, shownName(row).size());
    }

    QString text =
        usage + QStringLiteral("\n\n"
                               "RELM operator console for the automatic train control layout.\n"
                               "Files atc.ini, kukan.dat and atctest.bin are opened in the "
                               "layout directory\n"
                               "(--layout DIR), by default the current one.\n\n");
    // Help texts wrap at blanks to stay within 80 columns, continued under their first line.
    const qsizetype indent = 2 + width + 2;
    for (const OptionRow &row : rows) {
        QString line = QStringLiteral("  ") + shownName(row).leftJustified(width + 2);
        bool first = true;
        for (const QString &word : row.help.split(u' ')) {
            if (!first && line.size() + 1 + word.size() > 80) {
                text += line + u'\n';
                line = QString(indent, u' ') + word;
            } else {
                line += (first ? QString() : QStringLiteral(" ")) + word;
            }
            first = false;
        }
        text += line + u'\n';
    }
    return text.toStdString();
}

} // namespace relm
