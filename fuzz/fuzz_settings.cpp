// relm.ini of any content through the settings reader, as relm reads it at start. Holds the
// rules: what is read is usable as it stands (a plausible device, absolute layout folders, at
// most five recent ones, each once), and what is read, written back and read again is the same
// without a problem.

#include "app/start_settings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

using namespace relm;

QString g_dir;
long g_count = 0;

[[noreturn]] void broken(const char *rule)
{
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

// A file name of its own for every input: QSettings keeps what it has read of a file by name.
QString nextPath()
{
    return g_dir + QStringLiteral("/relm-%1.ini").arg(++g_count);
}

bool usable(const StartSettings &s)
{
    if (s.connection && !s.connection->simulator && s.connection->port.isEmpty())
        return false;
    if (!s.layoutDir.isEmpty() && !QDir::isAbsolutePath(s.layoutDir))
        return false;
    QStringList unique = s.recentLayouts;
    if (s.recentLayouts.size() > kRecentLayouts || unique.removeDuplicates() != 0)
        return false;
    for (const QString &d : s.recentLayouts) {
        if (!QDir::isAbsolutePath(d))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Under TMPDIR, which scripts/fuzz removes.
    std::string dir =
        (std::filesystem::temp_directory_path() / "relm-fuzz-settings-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        std::perror("fuzz_settings: directory");
        std::abort();
    }
    g_dir = QString::fromStdString(dir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString path = nextPath();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            broken("the fuzzer can write its file");
        file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    }
    const SettingsRead read = readStartSettings(path);
    QFile::remove(path);
    StartSettings s = read.settings;
    if (!usable(s))
        broken("what is read is usable as it stands");
    // Writing is slow (the file is replaced atomically), and nothing read is nothing to write.
    if (s == StartSettings{})
        return 0;

    const QString again = nextPath();
    QString error;
    if (!writeStartSettings(again, s, &error))
        broken("the settings read can be written");
    const SettingsRead back = readStartSettings(again);
    QFile::remove(again);
    if (!back.problem.isEmpty() || !(back.settings == s))
        broken("what is written is read back the same");
    return 0;
}
