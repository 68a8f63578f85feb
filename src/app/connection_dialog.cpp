#include "app/connection_dialog.h"

#include "app/layout_directory.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace relm {

namespace {

constexpr int kDeviceRole = Qt::UserRole;
constexpr int kSimulatorRole = Qt::UserRole + 1;

void markAsProblem(QLabel *label)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(0x9c, 0x1c, 0x1c));
    label->setPalette(p);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
}

} // namespace

ConnectionDialog::ConnectionDialog(const DialogStart &start, PortLister listPorts,
                                   PortCheck checkPort, QWidget *parent)
    : QDialog(parent)
    , m_listPorts(std::move(listPorts))
    , m_checkPort(std::move(checkPort))
    , m_layoutFixed(start.layoutFixed)
    , m_wanted(start.remembered.connection)
{
    createControls();

    // Start values.
    showPortProblem(start.portProblem, start.settingsProblem);
    for (const QString &dir : start.remembered.recentLayouts)
        layout->addItem(QDir::toNativeSeparators(dir));
    layout->setCurrentText(QDir::toNativeSeparators(start.layoutDir));
    if (m_layoutFixed) {
        layout->setEnabled(false);
        chooseLayout->setEnabled(false);
        layout->setToolTip(tr("--layout で指定されたフォルダです。"));
    }
    fillPorts(m_listPorts());
    m_refresh.setInterval(kRefreshMs);
    m_refresh.start();

    // Operator input.
    connect(portList, &QListWidget::itemSelectionChanged, this,
            &ConnectionDialog::onSelectionChanged);
    connect(portList, &QListWidget::itemDoubleClicked, this, [this] {
        if (okButton->isEnabled())
            accept();
    });
    connect(layout, &QComboBox::editTextChanged, this, &ConnectionDialog::updateState);
    connect(chooseLayout, &QPushButton::clicked, this, &ConnectionDialog::onChooseLayout);
    connect(okButton, &QPushButton::clicked, this, &ConnectionDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &ConnectionDialog::reject);
    // Adapters plugged in or out while the dialog is open.
    connect(&m_refresh, &QTimer::timeout, this, &ConnectionDialog::refreshPorts);

    updateState();
}

void ConnectionDialog::createControls()
{
    setWindowTitle(tr("接続設定"));
    setMinimumWidth(560);
    auto *top = new QVBoxLayout(this);

    message = new QLabel(this);
    markAsProblem(message);
    top->addWidget(message);
    command = new QLineEdit(this);
    command->setReadOnly(true);
    command->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    top->addWidget(command);

    auto *line = new QGroupBox(tr("制御装置との接続"), this);
    auto *lineLayout = new QVBoxLayout(line);
    lineLayout->addWidget(
        new QLabel(tr("制御装置をつないだシリアルポートを選んでください。"), line));
    portList = new QListWidget(line);
    portList->setSelectionMode(QAbstractItemView::SingleSelection);
    // As tall as its entries, at least five rows; scrolled beyond what the window gives it.
    portList->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    portList->setMinimumHeight(5 * portList->fontMetrics().height() + 2 * portList->frameWidth());
    auto *simulator = new QListWidgetItem(tr("模擬制御装置"));
    simulator->setData(kSimulatorRole, true);
    simulator->setToolTip(
        tr("制御装置の代わりに relm-sim を起動して使います（--simulate と同じ）。"));
    portList->addItem(simulator);
    lineLayout->addWidget(portList);
    noPorts = new QLabel(tr("シリアルポートが見つかりません。制御装置の USB アダプタを差し込んで"
                            "ください。差し込むと一覧に現れます。"),
                         line);
    noPorts->setWordWrap(true);
    lineLayout->addWidget(noPorts);
    top->addWidget(line);

    auto *folder = new QGroupBox(tr("レイアウトのフォルダ"), this);
    auto *folderLayout = new QVBoxLayout(folder);
    folderLayout->addWidget(
        new QLabel(tr("atctest.bin、atc.ini、kukan.dat のあるフォルダです。"), folder));
    auto *row = new QHBoxLayout;
    layout = new QComboBox(folder);
    layout->setEditable(true);
    layout->setInsertPolicy(QComboBox::NoInsert);
    layout->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    row->addWidget(layout);
    chooseLayout = new QPushButton(tr("選択..."), folder);
    row->addWidget(chooseLayout);
    folderLayout->addLayout(row);
    layoutProblem = new QLabel(folder);
    markAsProblem(layoutProblem);
    folderLayout->addWidget(layoutProblem);
    top->addWidget(folder);

    auto *buttons = new QDialogButtonBox(this);
    okButton = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    cancelButton = buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    okButton->setDefault(true);
    top->addWidget(buttons);
}

std::optional<Connection> ConnectionDialog::connection() const
{
    const QList<QListWidgetItem *> selected = portList->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    if (selected.first()->data(kSimulatorRole).toBool())
        return Connection{true, {}};
    return Connection{false, selected.first()->data(kDeviceRole).toString()};
}

QString ConnectionDialog::layoutDir() const
{
    QString text = QDir::fromNativeSeparators(layout->currentText().trimmed());
    if (text.isEmpty())
        return text;
    if (text == u'~' || text.startsWith(QStringLiteral("~/")))
        text = QDir::homePath() + text.mid(1);
    return QDir::cleanPath(QFileInfo(text).absoluteFilePath());
}

void ConnectionDialog::refreshPorts()
{
    QList<SerialPortEntry> ports = m_listPorts();
    if (ports != m_shownPorts)
        fillPorts(std::move(ports));
}

void ConnectionDialog::fillPorts(QList<SerialPortEntry> ports)
{
    m_refilling = true;
    while (portList->count() > 1) // the simulated controller stays last
        delete portList->takeItem(0);
    for (qsizetype i = 0; i < ports.size(); ++i) {
        auto *item = new QListWidgetItem(portLabel(ports[i]));
        item->setData(kDeviceRole, ports[i].device);
        item->setToolTip(ports[i].device);
        portList->insertItem(static_cast<int>(i), item);
    }
    portList->clearSelection();
    for (int i = 0; m_wanted && i < portList->count(); ++i) {
        QListWidgetItem *item = portList->item(i);
        const bool simulator = item->data(kSimulatorRole).toBool();
        if (simulator == m_wanted->simulator &&
            (simulator || item->data(kDeviceRole).toString() == m_wanted->port)) {
            portList->setCurrentItem(item);
            break;
        }
    }
    noPorts->setVisible(ports.isEmpty());
    m_shownPorts = std::move(ports);
    m_refilling = false;
    updateState();
}

void ConnectionDialog::accept()
{
    updateState();
    if (!okButton->isEnabled())
        return;
    const Connection chosen = *connection();
    if (!chosen.simulator) {
        const OpenProblem problem = m_checkPort(chosen.port);
        if (!problem.empty()) {
            showPortProblem(problem);
            return;
        }
    }
    m_refresh.stop();
    QDialog::accept();
}

void ConnectionDialog::showPortProblem(const OpenProblem &problem, const QString &more)
{
    QStringList parts;
    if (!problem.empty())
        parts << problem.text;
    if (problem.permission)
        parts << permissionAdvice(currentUserName());
    if (!more.isEmpty())
        parts << more;
    message->setText(parts.join(u'\n'));
    message->setVisible(!parts.isEmpty());
    command->setText(problem.permission ? permissionCommand(currentUserName()) : QString());
    command->setVisible(problem.permission);
}

void ConnectionDialog::onSelectionChanged()
{
    if (!m_refilling && connection())
        m_wanted = connection();
    updateState();
}

void ConnectionDialog::onChooseLayout()
{
    const QString start = layoutDir().isEmpty() ? QDir::homePath() : layoutDir();
    const QString dir = QFileDialog::getExistingDirectory(this, tr("レイアウトのフォルダ"), start);
    if (!dir.isEmpty())
        layout->setCurrentText(QDir::toNativeSeparators(dir));
}

void ConnectionDialog::updateState()
{
    QString problem;
    if (!m_layoutFixed) {
        const QString dir = layoutDir();
        problem = dir.isEmpty() ? tr("レイアウトのフォルダを選んでください。")
                                : layoutDirectoryProblem(dir, LayoutNamedBy::Dialog);
    }
    layoutProblem->setText(problem);
    layoutProblem->setVisible(!problem.isEmpty());
    okButton->setEnabled(connection().has_value() && problem.isEmpty());
}

} // namespace relm
