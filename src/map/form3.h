#pragma once

#include "map/map_geometry.h"
#include "map/map_surface.h"
#include "model/module1.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

namespace relm {

// The section map window: reloads kukan.dat each time it is activated and paints every section
// polygon in the colour of the train in it, on a picture that survives being covered.
class Form3 final : public QWidget
{
    Q_OBJECT

public:
    // Told the file name and the reason when an existing kukan.dat cannot be read.
    using FailureReporter = std::function<void(const QString &file, const QString &reason)>;

    explicit Form3(const Module1 &module, QWidget *parent = nullptr);
    ~Form3() override;

    // What the window does when it becomes the active window: reload kukan.dat from the
    // current directory, clear the picture and draw the map. The console calls it after showing
    // the window, so the map is drawn even where the window system does not activate it.
    void activate();

    // Paints polygons 0..N-1 over the current picture in the trains' current colours.
    void KDisp();

    const MapGeometry &geometry() const { return m_geometry; }
    MapSurface &surface() { return *m_surface; }
    const MapSurface &surface() const { return *m_surface; }

    // Replaces the message box that reports an unreadable kukan.dat (used by tests).
    void setFailureReporter(FailureReporter reporter);

signals:
    // kukan.dat was read again (geometry() holds what the window now draws).
    void geometryLoaded();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void makeSurface();
    void reportFailure(const std::string &reason);

    const Module1 &m_module;
    MapGeometry m_geometry;                // MapPoints, MapPointCount, MapLabelPos, MapPolyCount
    std::unique_ptr<MapSurface> m_surface; // the retained picture
    FailureReporter m_reporter;
    QString m_lastFailure; // the failure last reported, so each is reported once
};

} // namespace relm
