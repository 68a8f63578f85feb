#pragma once

#include "app/serial_ports.h"
#include "app/start_decision.h"
#include "app/start_settings.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace relm {

// What the connection dialog starts from.
struct DialogStart
{
    StartSettings remembered; // the connection to select and the recent layouts to offer
    QString layoutDir;        // the layout directory shown first; may be empty
    bool layoutFixed = false; // given with --layout: shown, not to be changed here
    OpenProblem portProblem;  // why the remembered device could not be used
    QString settingsProblem;  // why the settings file could not be used
};

// 接続設定: before the main window, the operator chooses the serial port the track controller is
// on (or the simulated controller) and the layout directory. OK is possible once both are chosen
// and the directory holds the layout's files; it tries the port first and stays open, saying
// why, when the port cannot be opened. The list of ports follows adapters plugged in and out.
class ConnectionDialog final : public QDialog
{
    Q_OBJECT

public:
    using PortLister = std::function<QList<SerialPortEntry>()>;

    static constexpr int kRefreshMs = 1000; // how often the port list is looked at again

    ConnectionDialog(const DialogStart &start, PortLister listPorts, PortCheck checkPort,
                     QWidget *parent = nullptr);
    ConnectionDialog(const ConnectionDialog &) = delete;
    ConnectionDialog &operator=(const ConnectionDialog &) = delete;

    // What is chosen: none while no entry of the list is selected.
    std::optional<Connection> connection() const;
    // The layout directory as typed or chosen, absolute.
    QString layoutDir() const;

    // Looks at the present ports again and shows them, keeping the chosen one selected.
    void refreshPorts();

    void accept() override;

    QLabel *message = nullptr;           // why the dialog is shown, or why OK did not connect
    QLineEdit *command = nullptr;        // the command that gives this user the serial ports
    QListWidget *portList = nullptr;     // the ports present, then the simulated controller
    QLabel *noPorts = nullptr;           // shown while no port is present
    QComboBox *layout = nullptr;         // the layout directory, with the recent ones
    QPushButton *chooseLayout = nullptr; // a folder chooser
    QLabel *layoutProblem = nullptr;     // what the layout directory lacks
    QPushButton *okButton = nullptr;
    QPushButton *cancelButton = nullptr;

private:
    void createControls();
    void fillPorts(QList<SerialPortEntry> ports);
    void showPortProblem(const OpenProblem &problem, const QString &more = {});
    void onSelectionChanged();
    void onChooseLayout();
    void updateState();

    PortLister m_listPorts;
    PortCheck m_checkPort;
    bool m_layoutFixed = false;
    QList<SerialPortEntry> m_shownPorts;
    std::optional<Connection> m_wanted; // selected again whenever it is present
    bool m_refilling = false;           // the list is being rebuilt: selections are not choices
    QTimer m_refresh;
};

} // namespace relm
