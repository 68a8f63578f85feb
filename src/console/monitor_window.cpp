#include "console/monitor_window.h"

#include "traffic/traffic_log.h"

#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QVBoxLayout>

namespace relm {

namespace {
constexpr std::size_t kMonitorHexBytes = 32; // a download frame stays one readable line
}

MonitorWindow::MonitorWindow(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(tr("通信モニタ"));
    resize(900, 420);

    m_view = new QPlainTextEdit(this);
    m_view->setReadOnly(true);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setMaximumBlockCount(static_cast<int>(kHistoryLines));
    m_view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pause = new QPushButton(tr("一時停止"), this);
    m_pause->setCheckable(true);
    m_clear = new QPushButton(tr("消去"), this);
    m_save = new QPushButton(tr("保存..."), this);
    m_count = new QLabel(this);
    m_panel = new QLabel(this);
    m_panel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_panel->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pause);
    buttons->addWidget(m_clear);
    buttons->addWidget(m_save);
    buttons->addStretch();
    buttons->addWidget(m_count);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_panel);
    layout->addWidget(m_view);
    layout->addLayout(buttons);

    connect(m_pause, &QPushButton::toggled, this, &MonitorWindow::setPaused);
    connect(m_clear, &QPushButton::clicked, this, &MonitorWindow::clear);
    connect(m_save, &QPushButton::clicked, this, &MonitorWindow::onSave);
}

void MonitorWindow::setPanelUrl(const QString &url)
{
    m_panel->setText(tr("遠隔パネル (操作用): %1").arg(url));
    m_panel->setVisible(!url.isEmpty());
}

QString MonitorWindow::panelText() const
{
    return m_panel->text();
}

void MonitorWindow::addFrame(std::int64_t ms, Direction direction,
                             std::span<const std::uint8_t> bytes)
{
    if (!isVisible())
        return;
    m_history.append(formatMonitorLine(ms, direction, bytes, kMonitorHexBytes));
    if (!m_paused)
        refreshView();
}

void MonitorWindow::addNote(std::int64_t ms, const std::string &text)
{
    if (!isVisible())
        return;
    m_history.append(formatNoteLine(ms, text));
    if (!m_paused)
        refreshView();
}

void MonitorWindow::setPaused(bool paused)
{
    m_paused = paused;
    m_pause->setChecked(paused);
    m_pause->setText(paused ? tr("再開") : tr("一時停止"));
    if (!paused)
        refreshView();
}

void MonitorWindow::clear()
{
    m_history.clear();
    m_shown = 0;
    m_view->clear();
    m_count->clear();
}

void MonitorWindow::refreshView()
{
    // Append only what the view has not seen; if more arrived than the history keeps, start over.
    const std::uint64_t appended = m_history.appended();
    const std::uint64_t fresh = appended - m_shown;
    const bool scrolledDown =
        m_view->verticalScrollBar()->value() == m_view->verticalScrollBar()->maximum();
    if (fresh >= m_history.size()) {
        m_view->clear();
        for (std::size_t i = 0; i < m_history.size(); ++i)
            m_view->appendPlainText(QString::fromStdString(m_history.at(i)));
    } else {
        for (std::size_t i = m_history.size() - fresh; i < m_history.size(); ++i)
            m_view->appendPlainText(QString::fromStdString(m_history.at(i)));
    }
    m_shown = appended;
    if (scrolledDown)
        m_view->verticalScrollBar()->setValue(m_view->verticalScrollBar()->maximum());
    m_count->setText(tr("%n 行", nullptr, static_cast<int>(m_history.size())));
}

QString MonitorWindow::visibleText() const
{
    return m_view->toPlainText();
}

bool MonitorWindow::saveTo(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        *error = file.errorString();
        return false;
    }
    for (const std::string &line : m_history.lines()) {
        file.write(line.data(), static_cast<qint64>(line.size()));
        file.write("\n", 1);
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void MonitorWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refreshView();
}

void MonitorWindow::onSave()
{
    const QString path =
        QFileDialog::getSaveFileName(this, tr("通信記録の保存"), QStringLiteral("monitor.txt"));
    if (path.isEmpty())
        return;
    QString error;
    if (!saveTo(path, &error))
        QMessageBox::warning(this, windowTitle(), tr("%1 に保存できません: %2").arg(path, error));
}

} // namespace relm
