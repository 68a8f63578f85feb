#pragma once

#include "traffic/frame_decoder.h"
#include "traffic/history.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <span>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace relm {

// The traffic monitor: one line per frame in each direction (time, direction, bytes, what the
// frame means), the newest 5,000 kept. Pause freezes the view while lines are still collected.
class MonitorWindow final : public QWidget
{
    Q_OBJECT

public:
    explicit MonitorWindow(QWidget *parent = nullptr);
    MonitorWindow(const MonitorWindow &) = delete;
    MonitorWindow &operator=(const MonitorWindow &) = delete;

    // One frame on the line. Cheap enough for every frame; nothing is formatted while closed.
    void addFrame(std::int64_t ms, Direction direction, std::span<const std::uint8_t> bytes);
    // The remote panel's control address, shown above the frames; empty hides it.
    void setPanelUrl(const QString &url);
    QString panelText() const;

    // A note of the console's between the frames (as the traffic log writes it).
    void addNote(std::int64_t ms, const std::string &text);

    void setPaused(bool paused);
    bool paused() const { return m_paused; }
    void clear();

    // Writes every kept line to a text file; on failure, error holds the reason.
    bool saveTo(const QString &path, QString *error) const;

    const TrafficHistory &history() const { return m_history; }
    QString visibleText() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refreshView();
    void onSave();

    TrafficHistory m_history;
    bool m_paused = false;
    std::uint64_t m_shown = 0; // lines of the history already in the view

    QPlainTextEdit *m_view = nullptr;
    QPushButton *m_pause = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_save = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_panel = nullptr; // the remote panel's control address
};

} // namespace relm
