#include "map/form3.h"

#include "map/map_colour.h"
#include "map/map_file.h"
#include "widgets/ui_units.h"

#include <QEvent>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace relm {

namespace {

constexpr int kClientWidth = 388;  // 5820 twips
constexpr int kClientHeight = 323; // 4845 twips
constexpr std::uint32_t kLabelColour = 0x00FF00;

// Corners far outside the window are pulled in to this distance, so the painter is never
// asked to rasterise coordinates near the 32-bit limit. No sane layout comes near it.
constexpr std::int64_t kCoordinateLimit = 1 << 22;

int limited(std::int64_t v)
{
    return static_cast<int>(std::clamp(v, -kCoordinateLimit, kCoordinateLimit));
}

QPoint toQPoint(std::int64_t x, std::int64_t y)
{
    return {limited(x), limited(y)};
}

} // namespace

Form3::Form3(const Module1 &module, QWidget *parent)
    : QWidget(parent)
    , m_module(module)
{
    setWindowTitle(tr("運行区間表示"));
    setFixedSize(kClientWidth, kClientHeight);
    makeSurface();

    m_reporter = [this](const QString &file, const QString &reason) {
        QMessageBox::warning(this, windowTitle(),
                             tr("%1 を読み込めません。\n%2").arg(file, reason));
    };
}

Form3::~Form3() = default;

void Form3::makeSurface()
{
    m_surface = std::make_unique<MapSurface>(QSize(kClientWidth, kClientHeight),
                                             devicePixelRatioF(), toQColor(kButtonFaceColour),
                                             palette().color(QPalette::ButtonText), font());
}

void Form3::setFailureReporter(FailureReporter reporter)
{
    m_reporter = std::move(reporter);
}

void Form3::activate()
{
    const MapLoadResult result = loadMapFile(kMapFileName, m_geometry);
    if (result.status != MapLoadStatus::Unreadable)
        m_lastFailure.clear();

    if (m_surface->devicePixelRatio() != devicePixelRatioF())
        makeSurface();
    m_surface->clear();
    KDisp();
    emit geometryLoaded();

    if (result.status == MapLoadStatus::Unreadable)
        reportFailure(result.reason);
}

void Form3::reportFailure(const std::string &reason)
{
    const QString file = QString::fromUtf8(kMapFileName);
    const QString text = QString::fromStdString(reason);
    const QString key = file + u'\n' + text;
    if (key == m_lastFailure)
        return;
    // Remembered before reporting: a message box activates windows, and the activation that
    // follows it must not report the same failure again.
    m_lastFailure = key;
    if (m_reporter)
        m_reporter(file, text);
}

void Form3::KDisp()
{
    MapSurface &dc = *m_surface;
    const int count = drawnPolygonCount(m_geometry);
    std::vector<QPoint> corners;
    for (int d = 0; d < count; ++d) {
        const auto colour = static_cast<std::uint32_t>(polygonFillColour(m_module, d));
        const MapSurface::Handle brush = dc.createSolidBrush(colour);
        const MapSurface::Handle previous = dc.selectObject(brush);

        corners.clear();
        for (const MapPoint &p : polygonPoints(m_geometry, d))
            corners.push_back(toQPoint(p.x, p.y));
        dc.polygon(corners);

        const MapPoint label = m_geometry.MapLabelPos[static_cast<std::size_t>(d)];
        const std::int64_t x = label.x;
        const std::int64_t y = label.y;
        dc.rectangle(toQPoint(x - 5, y - 5), toQPoint(x + 10, y + 5), toQColor(kLabelColour));
        dc.textOut(toQPoint(x - 5, y - 5), u' ' + QString::number(d));

        dc.selectObject(previous);
        dc.deleteObject(brush);
    }
    update();
}

bool Form3::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        activate();
    return QWidget::event(event);
}

void Form3::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_surface->image());
}

} // namespace relm
