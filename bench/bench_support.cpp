#include "bench_support.h"

#include "map/map_file.h"

#include <QDir>

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <numbers>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace relm::bench {

namespace {

constexpr int kGridColumns = 10;
constexpr int kCellWidth = 38;  // 10 columns across the 388-pixel map window
constexpr int kCellHeight = 32; // 10 rows down its 323 pixels
constexpr double kCornerRadius = 14.0;
constexpr int kSettleTimeoutMs = 1000;

} // namespace

QString sampleLayoutDir()
{
    const QByteArray fromEnvironment = qgetenv("RELM_LAYOUT_DIR");
    if (!fromEnvironment.isEmpty())
        return QString::fromLocal8Bit(fromEnvironment);
    return QStringLiteral(RELM_SAMPLE_LAYOUT_DIR);
}

ScopedCurrentDir::ScopedCurrentDir(const QString &dir)
    : m_previous(QDir::currentPath())
    , m_ok(QDir::setCurrent(dir))
{}

ScopedCurrentDir::~ScopedCurrentDir()
{
    QDir::setCurrent(m_previous);
}

std::unique_ptr<QTemporaryDir> directoryWithMap(const MapGeometry &geometry)
{
    auto dir = std::make_unique<QTemporaryDir>();
    if (!dir->isValid())
        return nullptr;
    const std::string path =
        QDir(dir->path()).filePath(QString::fromUtf8(kMapFileName)).toStdString();
    if (!saveMapFile(path, geometry).empty())
        return nullptr;
    return dir;
}

MapGeometry worstCaseMap()
{
    MapGeometry g;
    for (int p = 0; p < kMapMaxPolygons; ++p) {
        const int cx = (p % kGridColumns) * kCellWidth + kCellWidth / 2;
        const int cy = (p / kGridColumns) * kCellHeight + kCellHeight / 2;
        for (int k = 0; k < kMapPointsPerSlot; ++k) {
            const double a = 2.0 * std::numbers::pi * k / kMapPointsPerSlot;
            g.MapPoints[static_cast<std::size_t>(p * kMapPointsPerSlot + k)] = {
                cx + static_cast<std::int32_t>(std::lround(kCornerRadius * std::cos(a))),
                cy + static_cast<std::int32_t>(std::lround(kCornerRadius * std::sin(a)))};
        }
        g.MapPointCount[static_cast<std::size_t>(p)] = kMapPointsPerSlot;
        g.MapLabelPos[static_cast<std::size_t>(p)] = {cx - 2, cy};
    }
    g.MapPointCount[kMapPolyCountSlot] = kMapMaxPolygons;
    g.MapPolyCount = kMapMaxPolygons;
    return g;
}

ControllerPty::ControllerPty()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = -1;
        m_slave = -1;
        return;
    }
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_device = QString::fromLocal8Bit(name);
}

ControllerPty::~ControllerPty()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool ControllerPty::sendAndSettle(const QByteArray &bytes)
{
    const ssize_t written = ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size()));
    if (written != bytes.size())
        return false;
    // The pty hands the bytes to the other side a little later; the slave's input queue (shared
    // with the console's descriptor) tells when they are all there.
    for (int waited = 0; waited < kSettleTimeoutMs * 10; ++waited) {
        int waiting = 0;
        if (::ioctl(m_slave, FIONREAD, &waiting) == 0 && waiting >= bytes.size())
            return true;
        ::usleep(100);
    }
    return false;
}

void ControllerPty::drain()
{
    char buf[4096];
    while (::read(m_master, buf, sizeof buf) > 0) {
    }
}

} // namespace relm::bench
