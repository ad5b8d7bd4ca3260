#include "ui/main_window.h"

#include "link/clock.h"
#include "link/exchange.h"
#include "link/serial_port.h"
#include "link/settings_store.h"
#include "ui/leave_validation.h"
#include "ui/list_selection.h"
#include "ui/menu_separators.h"
#include "ui/message_boxes.h"
#include "ui/qt_input_paths.h"
#include "ui/status_panels.h"
#include "ui_main_window.h"

#include <QCloseEvent>
#include <QMouseEvent>

namespace {
// The client area below the menu bar, 9375 x 7140 twips at 15 twips a pixel,
// status bar included.
constexpr int kClientWidth = 625;
constexpr int kClientHeight = 476;
constexpr int kStatusBarHeight = 25;
// The form colour for "inactive caption text" behind the model and range-zero
// boxes: the classic system colour, as a fixed value since Qt has no such role.
const QColor kInactiveCaptionText(0xD4, 0xD0, 0xC8);
} // namespace

MainWindow::MainWindow(const WindowServices& services, QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::MainWindow>())
    , MSCommBsq(services.port)
    , m_settings(services.settings)
    , m_messages(services.messages)
    , m_clock(services.clock)
    , m_busLine(services.port, services.clock) {
    ui->setupUi(this);
    setUpControls();
    connectEvents();
    Form_Load();
}

MainWindow::~MainWindow() {
    // The port outlives the window.
    MSCommBsq.setDeviceLostHandler({});
}

void MainWindow::setUpControls() {
    setWindowIcon(QIcon(QStringLiteral(":/tarnwick.png")));

    // Sizes a .ui file cannot state: fractional point sizes.
    for (QWidget* w : {static_cast<QWidget*>(ui->cmdSEARCH), static_cast<QWidget*>(ui->cmdReFresh),
                       static_cast<QWidget*>(ui->COM_QUIT), static_cast<QWidget*>(ui->COM_SC)}) {
        QFont f = w->font();
        f.setPointSizeF(10.5);
        w->setFont(f);
    }
    for (QWidget* w :
         {static_cast<QWidget*>(ui->TXT_PRESSURE), static_cast<QWidget*>(ui->TXT_TEMPERATURE),
          static_cast<QWidget*>(ui->Label5), static_cast<QWidget*>(ui->Label6)}) {
        QFont f = w->font();
        f.setPointSizeF(15.75);
        w->setFont(f);
        // Text in the system highlight colour.
        QPalette p = w->palette();
        const QColor highlight = p.color(QPalette::Active, QPalette::Highlight);
        p.setColor(QPalette::Text, highlight);
        p.setColor(QPalette::WindowText, highlight);
        w->setPalette(p);
    }

    // Read-only boxes of the information band sit on the window's own colour,
    // except the model and range-zero boxes.
    for (QLineEdit* box : {ui->TXT_BAND, ui->TXT_SCF, ui->TXT_UNIT, ui->TXT_VER, ui->TXT_ID}) {
        QPalette p = box->palette();
        p.setColor(QPalette::Base, palette().color(QPalette::Window));
        box->setPalette(p);
    }
    for (QLineEdit* box : {ui->TXT_TYPE, ui->TXT_SCZ}) {
        QPalette p = box->palette();
        p.setColor(QPalette::Base, kInactiveCaptionText);
        box->setPalette(p);
    }

    // The unit box is as small as the form draws it (375 x 225 twips): a small
    // type without a frame keeps the short unit names readable.
    QFont unitFont = ui->TXT_UNIT->font();
    unitFont.setPointSize(7);
    ui->TXT_UNIT->setFont(unitFont);
    ui->TXT_UNIT->setFrame(false);
    ui->TXT_UNIT->setTextMargins(0, 0, 0, 0);

    // Item values of the lists: the port number for the ports, the position
    // for the others.
    for (int i = 0; i < ui->cmbCommPort->count(); ++i)
        ui->cmbCommPort->setItemData(i, i + 1);
    for (QComboBox* list : {ui->CMB_BAND, ui->cmbUnit, ui->Cmb_DP})
        for (int i = 0; i < list->count(); ++i)
            list->setItemData(i, i);

    // The separator above "退出(&X)" in the options menu.
    m_space1 = new QAction(this);
    m_space1->setObjectName(QStringLiteral("space1"));
    m_space1->setSeparator(true);
    ui->Option->insertAction(ui->Exit, m_space1);
    drawAllSeparators(ui->Option);

    m_statusPanels = std::make_unique<StatusPanels>(ui->StatusBar1);
    QFont statusFont(QStringLiteral("宋体"));
    statusFont.setPointSize(9);
    statusFont.setBold(true);
    ui->StatusBar1->setFont(statusFont);
    ui->StatusBar1->setFixedHeight(kStatusBarHeight);

    // Only the ways the form has may change a trim, a list or the code.
    closeExtraTrimBarInput(ui->VScroll1);
    closeExtraTrimBarInput(ui->VScroll2);
    for (QComboBox* list : findChildren<QComboBox*>())
        closeExtraListInput(list);
    keepTextOnTabFocus(ui->txtPass);

    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(250);

    ui->cmdSEARCH->setFocus(Qt::OtherFocusReason);

    // A fixed window: the client area as the form gives it, plus the menu bar.
    const int menuHeight = ui->menubar->sizeHint().height();
    setFixedSize(kClientWidth, kClientHeight + menuHeight);
}

void MainWindow::connectEvents() {
    m_listSelection = std::make_unique<ListSelection>(this);
    m_leaveValidation = std::make_unique<LeaveValidation>(this);

    m_listSelection->connectList(ui->cmbCommPort, [this] { cmbCommPort_Click(); });
    connect(ui->COM_QUIT, &QPushButton::clicked, this, [this] { COM_QUIT_Click(); });
    connect(ui->Exit, &QAction::triggered, this, [this] { Exit_Click(); });
    MSCommBsq.setDeviceLostHandler([this](const QString& device) { MSCommBsq_DeviceLost(device); });
    connect(ui->txtPass, &QLineEdit::textChanged, this, [this] { txtPass_Change(); });
    connect(ui->Cmd_INS, &QPushButton::clicked, this, [this] { Cmd_INS_Click(); });

    connect(ui->cmdSEARCH, &QPushButton::clicked, this, [this] { cmdSEARCH_Click(); });
    m_listSelection->connectList(ui->CMB_ADDR, [this] { CMB_ADDR_Click(); });

    connect(&m_timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(ui->cmdON_OFF, &QPushButton::clicked, this, [this] { cmdON_OFF_Click(); });
    connect(ui->cmdReset, &QPushButton::clicked, this, [this] { cmdReset_Click(); });
    connect(ui->cmdReFresh, &QPushButton::clicked, this, [this] { cmdReFresh_Click(); });
    connect(ui->COM_SC, &QPushButton::clicked, this, [this] { COM_SC_Click(); });

    connect(ui->cmdSCALE_Read, &QPushButton::clicked, this, [this] { cmdSCALE_Read_Click(); });
    connect(ui->cmdSCALE_Write, &QPushButton::clicked, this, [this] { cmdSCALE_Write_Click(); });
    connect(ui->cmdDA_Read, &QPushButton::clicked, this, [this] { cmdDA_Read_Click(); });
    connect(ui->cmdDA_Write, &QPushButton::clicked, this, [this] { cmdDA_Write_Click(); });
    connect(ui->COM_ADDR, &QPushButton::clicked, this, [this] { COM_ADDR_Click(); });
    // Only a pick by the engineer: the full read and the search set the list
    // from code to the rate they put the line at.
    connect(ui->CMB_BAND, &QComboBox::activated, this, [this] { CMB_BAND_Click(); });
    connect(ui->CMD_USER, &QPushButton::clicked, this, [this] { CMD_USER_Click(); });
    connect(ui->CMD_FACT, &QPushButton::clicked, this, [this] { CMD_FACT_Click(); });
    connect(ui->CMD_LD, &QPushButton::clicked, this, [this] { CMD_LD_Click(); });

    // Leaving these fields validates them before the control that takes the
    // focus acts. Only the address can refuse.
    m_leaveValidation->add(ui->TXT_ADDR, [this] { return TXT_ADDR_Validate(); });
    m_leaveValidation->add(ui->TXT_DPL, [this] {
        TXT_DPL_Validate();
        return true;
    });
    m_leaveValidation->add(ui->TXT_DPH, [this] {
        TXT_DPH_Validate();
        return true;
    });
    m_leaveValidation->add(ui->TXT_DAL, [this] {
        TXT_DAL_Validate();
        return true;
    });
    m_leaveValidation->add(ui->TXT_DAH, [this] {
        TXT_DAH_Validate();
        return true;
    });

    // With tracking off a bar reports each completed move once, and nothing
    // while its thumb is dragged.
    connect(ui->VScroll1, &QScrollBar::valueChanged, this, [this] { VScroll1_Change(); });
    connect(ui->VScroll2, &QScrollBar::valueChanged, this, [this] { VScroll2_Change(); });
}

QString MainWindow::Comm_Send(const QString& send_addr, const QString& send_comm,
                              ExchangeNotes* notes) {
    m_connection.setAddress(send_addr);
    return m_connection.exchangeText(send_comm, notes).reply;
}

TransmitterConnection& MainWindow::selectedTransmitter() {
    m_connection.setAddress(ui->CMB_ADDR->currentText());
    return m_connection;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (Form_QueryUnload())
        event->accept();
    else
        event->ignore();
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    // Presses that no control took arrive here, from frames and labels too;
    // only one on the bare window background counts as its click.
    if (event->button() == Qt::LeftButton &&
        childAt(event->position().toPoint()) == ui->centralwidget) {
        Form_Click();
        return;
    }
    QMainWindow::mousePressEvent(event);
}

void MainWindow::Form_Click() {
    if (!m_leaveValidation->moveFocus(ui->txtPass))
        return;
    ui->txtPass->setText(QString());
}
