#pragma once

#include <QMainWindow>
#include <QTimer>

#include <memory>

class Clock;
class LeaveValidation;
class ListSelection;
class MessageBoxes;
class QAction;
class SerialPort;
class SettingsStore;
class StatusPanels;

namespace Ui {
class MainWindow;
}

// What the window reaches outside itself. Tests hand in fakes.
struct WindowServices {
    SerialPort& port;
    SettingsStore& settings;
    MessageBoxes& messages;
    Clock& clock;
};

// The one window of the tool. Its state lives in its controls (named as the
// form names them) and in a few window-level variables; every operation is
// the handler of a window event, named after its control and event. The
// handlers are defined in the source folder of their subsystem.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Creating the window loads it: Form_Load runs before the constructor
    // returns, as the window is created at program start.
    explicit MainWindow(const WindowServices& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Start-up and shutdown.
    void Form_Load();
    void cmbCommPort_Click();
    // Returns true when the close may go ahead.
    bool Form_QueryUnload();
    void COM_QUIT_Click();
    void Exit_Click();
    void MSCommBsq_OnComm();

    // The exchange with the transmitter at send_addr, on the window's port.
    QString Comm_Send(const QString& send_addr, const QString& send_comm);

    // The manual command box.
    void Cmd_INS_Click();

    // The window itself and the access levels.
    void Form_Click();
    void txtPass_Change();

    StatusPanels& StatusBar1() { return *m_statusPanels; }
    QTimer& Timer1() { return m_timer1; }
    // The event rules of the form, for the handlers of later subsystems.
    ListSelection& listSelection() { return *m_listSelection; }
    LeaveValidation& leaveValidation() { return *m_leaveValidation; }

    // Window-level variables.
    bool ReadTemperatureNext = false;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setUpControls();
    void connectEvents();

    std::unique_ptr<Ui::MainWindow> ui;
    SerialPort& MSCommBsq;
    SettingsStore& m_settings;
    MessageBoxes& m_messages;
    Clock& m_clock;
    QTimer m_timer1{this};
    QAction* m_space1 = nullptr;
    std::unique_ptr<StatusPanels> m_statusPanels;
    std::unique_ptr<ListSelection> m_listSelection;
    std::unique_ptr<LeaveValidation> m_leaveValidation;
};
