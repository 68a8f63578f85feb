#include "remote/panel_state.h"

#include "console/console.h"
#include "map/map_colour.h"
#include "model/colours.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace relm {

namespace {

constexpr int kMapWidth = 388; // the map window's client area, pixels
constexpr int kMapHeight = 323;
constexpr std::array<const char *, kTrainCount> kTrainNames{"X", "Y", "Z"};

// 0x00BBGGRR as "#rrggbb"; a system colour (the button face) as null: the page draws its own.
QJsonValue colourValue(std::uint32_t colour)
{
    if ((colour & kSystemColourFlag) != 0)
        return QJsonValue::Null;
    return QString::asprintf("#%02x%02x%02x", colour & 0xFFu, (colour >> 8) & 0xFFu,
                             (colour >> 16) & 0xFFu);
}

QString stateName(const ConsoleDisplay &d)
{
    if (d.lineLost)
        return QStringLiteral("lost");
    if (d.downloading)
        return QStringLiteral("downloading");
    return d.running ? QStringLiteral("running") : QStringLiteral("idle");
}

// The object's members as text without the enclosing braces.
QByteArray fieldsOf(const QJsonObject &o)
{
    QByteArray text = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return text.mid(1, text.size() - 2);
}

} // namespace

QByteArray panelStateFields(const Console &console, const MapGeometry &map)
{
    const ConsoleDisplay &d = console.display();
    QJsonObject state{
        {QStringLiteral("state"), stateName(d)},
        {QStringLiteral("caption"), d.caption},
        {QStringLiteral("transferEnabled"), d.transferEnabled},
        {QStringLiteral("resetEnabled"), d.resetEnabled},
        {QStringLiteral("downloadSent"), static_cast<double>(d.downloadSent)},
        {QStringLiteral("downloadTotal"), static_cast<double>(d.downloadTotal)},
    };
    QJsonArray trains;
    const BarFrame frame = console.barFrame();
    for (int t = 0; t < kTrainCount; ++t) {
        const TrainDisplay &tr = console.train(t);
        trains.append(QJsonObject{
            {QStringLiteral("name"), QString::fromLatin1(kTrainNames[static_cast<std::size_t>(t)])},
            {QStringLiteral("codes"), tr.caption},
            {QStringLiteral("status"),
             tr.statusColour ? colourValue(*tr.statusColour) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("bar"), tr.barHeight},
            {QStringLiteral("barFrame"), frame.height},
            {QStringLiteral("requested"), kSliderMaximum - tr.sliderPosition},
            {QStringLiteral("point"), colourValue(tr.pointColour)},
            {QStringLiteral("reverse"), colourValue(tr.reverseColour)},
            {QStringLiteral("pointPending"), console.module().PointReq[t] != 0},
            {QStringLiteral("reversePending"), console.module().RevState[t] != kRevIdle},
        });
    }
    QJsonArray fills;
    const int polygons = drawnPolygonCount(map);
    for (int p = 0; p < polygons; ++p)
        fills.append(colourValue(static_cast<std::uint32_t>(polygonFillColour(console.module(), p))));
    return fieldsOf(QJsonObject{{QStringLiteral("console"), state},
                                {QStringLiteral("trains"), trains},
                                {QStringLiteral("fills"), fills}});
}

QByteArray panelMapFields(const MapGeometry &map)
{
    QJsonArray polygons;
    const int count = drawnPolygonCount(map);
    for (int p = 0; p < count; ++p) {
        QJsonArray corners;
        for (const MapPoint &pt : polygonPoints(map, p))
            corners.append(QJsonArray{pt.x, pt.y});
        const MapPoint &label = map.MapLabelPos[static_cast<std::size_t>(p)];
        polygons.append(QJsonObject{{QStringLiteral("n"), p},
                                    {QStringLiteral("points"), corners},
                                    {QStringLiteral("label"), QJsonArray{label.x, label.y}}});
    }
    return fieldsOf(QJsonObject{{QStringLiteral("width"), kMapWidth},
                                {QStringLiteral("height"), kMapHeight},
                                {QStringLiteral("polygons"), polygons}});
}

} // namespace relm
