#pragma once

#include "connection/transmitter_connection.h"
#include "discovery/online_transmitter.h"
#include "link/bus_line.h"

#include <QList>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <memory>

class Clock;
enum class Command;
struct ExchangeNotes;
class LeaveValidation;
class ListSelection;
class MessageBoxes;
class QAction;
class QLineEdit;
class QScrollBar;
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
// handlers are defined in the source folder of their subsystem; what several
// subsystems share is defined in ui/.
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
    // The port closed itself because its device went away.
    void MSCommBsq_DeviceLost(const QString& device);

    // The exchange with the transmitter at send_addr, through the core's
    // connection on the window's port; after a failure the next exchange to
    // that address lets the line settle first.
    QString Comm_Send(const QString& send_addr, const QString& send_comm,
                      ExchangeNotes* notes = nullptr);
    // The core's connection to the transmitter CMB_ADDR names, the address
    // read again at every call; the steps of a move and the data areas' "OK"
    // are its.
    TransmitterConnection& selectedTransmitter();

    // The manual command box.
    void Cmd_INS_Click();

    // Search, selection and the full read.
    void cmdSEARCH_Click();
    void CMB_ADDR_Click();
    void ReadAllParameters();

    // Live measurement and zeroing.
    void Timer1_Timer();
    void cmdON_OFF_Click();
    void cmdReset_Click();
    void cmdReFresh_Click();
    void COM_SC_Click();

    // Changing a transmitter: range and unit, analog output and trims,
    // address and baud rate, data areas, numeric entry.
    void cmdSCALE_Read_Click();
    void cmdSCALE_Write_Click();
    void cmdDA_Read_Click();
    void cmdDA_Write_Click();
    void VScroll1_Change();
    void VScroll2_Change();
    // Returns false to refuse leaving the field.
    bool TXT_ADDR_Validate();
    void COM_ADDR_Click();
    // The engineer picked an entry of the rate list.
    void CMB_BAND_Click();
    void CMD_USER_Click();
    void CMD_FACT_Click();
    void CMD_LD_Click();
    void TXT_DPL_Validate();
    void TXT_DPH_Validate();
    void TXT_DAL_Validate();
    void TXT_DAH_Validate();

    // The window itself and the access levels.
    void Form_Click();
    void txtPass_Change();

    StatusPanels& StatusBar1() { return *m_statusPanels; }
    QTimer& Timer1() { return m_timer1; }
    // The event rules of the form, for the handlers of later subsystems.
    ListSelection& listSelection() { return *m_listSelection; }
    LeaveValidation& leaveValidation() { return *m_leaveValidation; }

    // Window-level variables.
    QList<OnlineTransmitter> OnlineList;
    QStringList UnitNames;
    QString LastReply;
    bool ReadTemperatureNext = false;
    // When polling was last switched on, on the monotonic clock.
    qint64 PollStartTime = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setUpControls();
    void connectEvents();

    // Helpers that several subsystems share, defined in ui/ so that no
    // subsystem reaches into another's folder.
    // Whether CMB_ADDR has an entry selected that OnlineList knows; otherwise
    // panel 1 asks for a search and a selection first.
    bool transmitterSelected();
    // Puts a pressure reply into TXT_PRESSURE and notes whether it is a reading.
    void showPressure(const QString& reply);
    void restartExtremes();
    // Whether the line may go to the rate of baudIndex: always on a port whose
    // rate the tool sets, and only at the fixed rate on one whose device
    // server fixes it. Otherwise a box names the fixed rate and the rate
    // wanted (or, for no rate of the list, typed as the engineer typed it),
    // and the rate list shows the fixed rate again.
    bool fixedRateAllows(int baudIndex, const QString& typed = QString());
    // Selects the fixed rate in the rate list, on a port that has one.
    void showFixedRate();

    // Helpers of the configuration handlers.
    void trimChanged(QScrollBar* bar, QLineEdit* field, Command command);
    void reformatNumber(QLineEdit* field);
    // Each field, named for the message, must hold a number to be sent.
    bool holdsNumbers(const QList<QPair<QLineEdit*, QString>>& fields);
    void dataAreaCommand(Command command, const QString& title, const QString& success,
                         const QString& failure);

    std::unique_ptr<Ui::MainWindow> ui;
    SerialPort& MSCommBsq;
    SettingsStore& m_settings;
    MessageBoxes& m_messages;
    Clock& m_clock;
    BusLine m_busLine;
    TransmitterConnection m_connection{m_busLine};
    QTimer m_timer1{this};
    QAction* m_space1 = nullptr;
    std::unique_ptr<StatusPanels> m_statusPanels;
    std::unique_ptr<ListSelection> m_listSelection;
    std::unique_ptr<LeaveValidation> m_leaveValidation;
    // TXT_PRESSURE holds a value a transmitter sent (not a failure text, not
    // a reply without data), so it may become an extreme value.
    bool m_pressureIsReading = false;
};
