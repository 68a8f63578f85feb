// relm-map-view: shows the section map window as the console draws it, for checking a kukan.dat
// in the current directory. Optional arguments place the trains:
//   relm-map-view [X0 X1 [Y0 Y1 [Z0 Z1]]]
// where each pair is the train's PosCode0 and PosCode1 (decimal or 0x hex). Trains not given
// are absent (128).

#include "map/form3.h"
#include "model/module1.h"
#include "model/section_code.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    relm::Module1 module;
    relm::setStartColours(module);
    for (int t = 0; t < relm::kTrainCount; ++t) {
        module.PosCode0[t] = relm::kAbsentCode;
        module.PosCode1[t] = relm::kAbsentCode;
    }

    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() % 2 != 0 || args.size() > 2 * relm::kTrainCount) {
        std::fputs("usage: relm-map-view [X0 X1 [Y0 Y1 [Z0 Z1]]]\n", stderr);
        return 2;
    }
    for (int i = 0; i < static_cast<int>(args.size()); ++i) {
        bool ok = false;
        const int code = args[i].toInt(&ok, 0);
        if (!ok || code < 0 || code > 255) {
            std::fprintf(stderr, "relm-map-view: '%s' is not a section code 0..255\n",
                         args[i].toLocal8Bit().constData());
            return 2;
        }
        auto &table = i % 2 == 0 ? module.PosCode0 : module.PosCode1;
        table[static_cast<std::size_t>(i / 2)] = static_cast<std::int16_t>(code);
    }

    relm::Form3 map(module);
    map.show();
    map.activate();
    return QApplication::exec();
}
