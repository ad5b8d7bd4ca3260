// The main window as the user first sees it: every control with its kind,
// container, caption or initial text, list items, enabled and visible state,
// alignment, fonts and placement, plus the menu, status bar, poll timer and
// the tab order. The tables below are written from the window's documented
// layout, not from the form, so a slip in the form shows up here.

#include "support/test_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <iterator>

namespace {

enum class Kind { Frame, Label, TextBox, List, Button, CheckBox, ScrollBar };

enum : int {
    Hidden = 1,
    Disabled = 2,
    ReadOnly = 4,
    Centred = 8,
    RightAligned = 16,
};

struct Control {
    const char* name;
    Kind kind;
    const char* parent;
    const char* text;    // caption or initial text; nullptr where the kind has none
    const char* toolTip; // nullptr where none is documented
    int state = 0;
};

constexpr const char* kCentral = "centralwidget";

// Every control of the window, frame by frame, in the documented order.
// A control inside Frame_Command is listed as disabled because the frame is.
const Control kControls[] = {
    // frame_INFO
    {"Label18", Kind::Label, "frame_INFO", "串口:", nullptr},
    {"cmbCommPort", Kind::List, "frame_INFO", nullptr, nullptr},
    {"LBL_ADDR", Kind::Label, "frame_INFO", "地址:", nullptr},
    {"CMB_ADDR", Kind::List, "frame_INFO", nullptr, "在线变送器地址列表"},
    {"Label16", Kind::Label, "frame_INFO", "型号:", nullptr},
    {"TXT_TYPE", Kind::TextBox, "frame_INFO", "TYPE", nullptr, ReadOnly | Centred},
    {"Label14", Kind::Label, "frame_INFO", "波特率:", nullptr},
    {"TXT_BAND", Kind::TextBox, "frame_INFO", "TXT_BAND", nullptr, ReadOnly | Centred},
    {"LBL_DPH", Kind::Label, "frame_INFO", "量    程:", nullptr},
    {"TXT_SCZ", Kind::TextBox, "frame_INFO", "SCZ", nullptr, ReadOnly | Centred},
    {"Label15", Kind::Label, "frame_INFO", "～", nullptr},
    {"TXT_SCF", Kind::TextBox, "frame_INFO", "SCF", nullptr, ReadOnly | Centred},
    {"TXT_UNIT", Kind::TextBox, "frame_INFO", "UNIT", nullptr, ReadOnly | Centred},
    {"LBL_VR", Kind::Label, "frame_INFO", "软件版本:", nullptr},
    {"TXT_VER", Kind::TextBox, "frame_INFO", "VER", nullptr, ReadOnly | Centred},
    {"LBL_ID", Kind::Label, "frame_INFO", "序列号:", nullptr},
    {"TXT_ID", Kind::TextBox, "frame_INFO", "ID", nullptr, ReadOnly | Centred},
    // frame_ADBD
    {"Label7", Kind::Label, "frame_ADBD", "地址:", nullptr},
    {"TXT_ADDR", Kind::TextBox, "frame_ADBD", "ADDR", "输入地址", Centred},
    {"Label8", Kind::Label, "frame_ADBD", "波特率:", nullptr},
    {"CMB_BAND", Kind::List, "frame_ADBD", nullptr, "选择波特率"},
    {"Label22", Kind::Label, "frame_ADBD", "型号:", nullptr},
    {"txtType", Kind::TextBox, "frame_ADBD", "txt_Type", nullptr},
    {"Label11", Kind::Label, "frame_ADBD", "ID号:", nullptr},
    {"txtID", Kind::TextBox, "frame_ADBD", "txtID", nullptr},
    {"COM_ADDR", Kind::Button, "frame_ADBD", "修改", nullptr},
    // frame_DISP
    {"Label21", Kind::Label, "frame_DISP", "单    位:", nullptr},
    {"cmbUnit", Kind::List, "frame_DISP", nullptr, nullptr},
    {"Label12", Kind::Label, "frame_DISP", "小数位数:", nullptr},
    {"Cmb_DP", Kind::List, "frame_DISP", nullptr, nullptr},
    {"Label9", Kind::Label, "frame_DISP", "量程零点:", nullptr},
    {"TXT_DPL", Kind::TextBox, "frame_DISP", "TXT_DPL", nullptr, RightAligned},
    {"Label10", Kind::Label, "frame_DISP", "量程满度:", nullptr},
    {"TXT_DPH", Kind::TextBox, "frame_DISP", "TXT_DPH", nullptr, RightAligned},
    {"cmdSCALE_Read", Kind::Button, "frame_DISP", "读", nullptr},
    {"cmdSCALE_Write", Kind::Button, "frame_DISP", "写", nullptr},
    // frame_IOUT
    {"Label1", Kind::Label, "frame_IOUT", "4mA 输出:", nullptr},
    {"TXT_DAL", Kind::TextBox, "frame_IOUT", "DAL", "4mA输出时对应的压力值", RightAligned},
    {"Label2", Kind::Label, "frame_IOUT", "20mA输出:", nullptr},
    {"TXT_DAH", Kind::TextBox, "frame_IOUT", "DAH", "20mA输出时对应的压力值", RightAligned},
    {"Label3", Kind::Label, "frame_IOUT", "4mA 微调:", nullptr},
    {"TXT_DAZF", Kind::TextBox, "frame_IOUT", "DAZF", nullptr, ReadOnly | RightAligned},
    {"VScroll1", Kind::ScrollBar, "frame_IOUT", nullptr, nullptr},
    {"Label4", Kind::Label, "frame_IOUT", "20mA微调:", nullptr},
    {"TXT_DAFF", Kind::TextBox, "frame_IOUT", "DAFF", nullptr, ReadOnly | RightAligned},
    {"VScroll2", Kind::ScrollBar, "frame_IOUT", nullptr, nullptr},
    {"cmdDA_Read", Kind::Button, "frame_IOUT", "读", nullptr},
    {"cmdDA_Write", Kind::Button, "frame_IOUT", "写", nullptr},
    // frame_CVALUE
    {"Label5", Kind::Label, "frame_CVALUE", "压力:", nullptr},
    {"TXT_PRESSURE", Kind::TextBox, "frame_CVALUE", "PRESSURE", "当前压力值",
     ReadOnly | RightAligned},
    {"Label13", Kind::Label, "frame_CVALUE", "最大值;", nullptr},
    {"txtMAX", Kind::TextBox, "frame_CVALUE", "-9999", nullptr, Hidden | RightAligned},
    {"Label17", Kind::Label, "frame_CVALUE", "最小值:", nullptr},
    {"txtMIN", Kind::TextBox, "frame_CVALUE", "+9999", nullptr, Hidden | RightAligned},
    {"Label6", Kind::Label, "frame_CVALUE", "温度:", nullptr},
    {"TXT_TEMPERATURE", Kind::TextBox, "frame_CVALUE", "TEMPERATURE", "当前温度值",
     Hidden | ReadOnly | RightAligned},
    {"COM_SC", Kind::Button, "frame_CVALUE", "归零", nullptr},
    {"cmdReset", Kind::Button, "frame_CVALUE", "复位", nullptr},
    {"cmdON_OFF", Kind::Button, "frame_CVALUE", "ON", nullptr},
    // Frame_Command
    {"lblIns1", Kind::Label, "Frame_Command", "指令:", nullptr, Disabled},
    {"txtInsSend", Kind::TextBox, "Frame_Command", "RP0", nullptr, Disabled},
    {"lblIns2", Kind::Label, "Frame_Command", "返回:", nullptr, Disabled},
    {"txtReturn", Kind::TextBox, "Frame_Command", "", nullptr, Disabled},
    {"Cmd_INS", Kind::Button, "Frame_Command", "发送", nullptr, Disabled},
    // directly on the window
    {"frame_INFO", Kind::Frame, kCentral, "当前变送器信息", nullptr},
    {"frame_ADBD", Kind::Frame, kCentral, "基本信息设置", nullptr},
    {"frame_DISP", Kind::Frame, kCentral, "数字信号设置", nullptr},
    {"frame_IOUT", Kind::Frame, kCentral, "模拟输出设置", nullptr},
    {"frame_CVALUE", Kind::Frame, kCentral, "当前测量值", nullptr},
    {"Frame_Command", Kind::Frame, kCentral, "指令操作", nullptr, Disabled},
    {"cmdSEARCH", Kind::Button, kCentral, "搜索变送器", nullptr},
    {"Label19", Kind::Label, kCentral, "0", nullptr},
    {"Label20", Kind::Label, kCentral, "0", nullptr},
    {"cmdReFresh", Kind::Button, kCentral, "刷  新", nullptr},
    {"txtPass", Kind::TextBox, kCentral, "", nullptr},
    {"COM_QUIT", Kind::Button, kCentral, "退  出", nullptr},
    {"chkSame", Kind::CheckBox, kCentral, "在线变送器基本信息设置相同", nullptr, Hidden},
    {"CMD_USER", Kind::Button, kCentral, "保存修改数据", nullptr},
    {"CMD_FACT", Kind::Button, kCentral, "写入工厂数据区", nullptr, Hidden | Disabled},
    {"CMD_LD", Kind::Button, kCentral, "恢复工厂设定", nullptr},
};

const Control* find(const QString& name) {
    for (const Control& c : kControls)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

const char* className(Kind kind) {
    switch (kind) {
    case Kind::Frame:
        return "QGroupBox";
    case Kind::Label:
        return "QLabel";
    case Kind::TextBox:
        return "QLineEdit";
    case Kind::List:
        return "QComboBox";
    case Kind::Button:
        return "QPushButton";
    case Kind::CheckBox:
        return "QCheckBox";
    case Kind::ScrollBar:
        return "QScrollBar";
    }
    return "";
}

// Layout measures are in twips, 15 to a pixel on the window's 96 dpi grid.
constexpr int px(int twips) {
    return twips / 15;
}

} // namespace

class TstWindowInventory : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void kindAndContainer_data();
    void kindAndContainer();
    void captionOrInitialText_data();
    void captionOrInitialText();
    void toolTip_data();
    void toolTip();
    void enabledAndVisible_data();
    void enabledAndVisible();
    void textBoxEditingAndAlignment_data();
    void textBoxEditingAndAlignment();
    void listItems_data();
    void listItems();
    void fonts_data();
    void fonts();
    void largeTypeInHighlightColour_data();
    void largeTypeInHighlightColour();

    void placement_data();
    void placement();
    void labelsStandLeftOfTheirFields_data();
    void labelsStandLeftOfTheirFields();
    void rangeSeparatorBetweenRangeEnds();
    void countersInTheRightColumn();
    void measurementButtonsFormAColumnOnTheRight();
    void txtPassLiesHiddenUnderRefresh();
    void scrollBars_data();
    void scrollBars();

    void windowFrame();
    void menu();
    void statusBar();
    void pollTimer();
    void tabOrder();

private:
    QWidget* widget(const QString& name) const { return m_t.window->findChild<QWidget*>(name); }

    TestWindow m_t;
};

void TstWindowInventory::initTestCase() {
    // No stored port, so start-up selects none and leaves every list as built.
    m_t.create();
}

// --- every control ----------------------------------------------------------

void TstWindowInventory::kindAndContainer_data() {
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QString>("parent");
    for (const Control& c : kControls)
        QTest::newRow(c.name) << QByteArray(className(c.kind)) << QString::fromLatin1(c.parent);
}

void TstWindowInventory::kindAndContainer() {
    QFETCH(QByteArray, className);
    QFETCH(QString, parent);
    QWidget* w = widget(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY2(w, "no such control");
    QVERIFY2(w->inherits(className), w->metaObject()->className());
    QVERIFY(w->parentWidget());
    QCOMPARE(w->parentWidget()->objectName(), parent);
}

void TstWindowInventory::captionOrInitialText_data() {
    QTest::addColumn<QString>("text");
    for (const Control& c : kControls)
        if (c.text)
            QTest::newRow(c.name) << QString::fromUtf8(c.text);
}

void TstWindowInventory::captionOrInitialText() {
    QFETCH(QString, text);
    QWidget* w = widget(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w);
    QString shown;
    if (auto* frame = qobject_cast<QGroupBox*>(w))
        shown = frame->title();
    else if (auto* label = qobject_cast<QLabel*>(w))
        shown = label->text();
    else if (auto* box = qobject_cast<QLineEdit*>(w))
        shown = box->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        shown = button->text();
    else
        QFAIL("control of a kind without a caption");
    QCOMPARE(shown, text);
}

void TstWindowInventory::toolTip_data() {
    QTest::addColumn<QString>("toolTip");
    for (const Control& c : kControls)
        if (c.toolTip)
            QTest::newRow(c.name) << QString::fromUtf8(c.toolTip);
}

void TstWindowInventory::toolTip() {
    QFETCH(QString, toolTip);
    QWidget* w = widget(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w);
    QCOMPARE(w->toolTip(), toolTip);
}

void TstWindowInventory::enabledAndVisible_data() {
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("hidden");
    for (const Control& c : kControls)
        QTest::newRow(c.name) << !(c.state & Disabled) << bool(c.state & Hidden);
}

void TstWindowInventory::enabledAndVisible() {
    QFETCH(bool, enabled);
    QFETCH(bool, hidden);
    QWidget* w = widget(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w);
    QCOMPARE(w->isEnabled(), enabled);
    // The access codes show and hide the control itself, so it must be the
    // control that is hidden, not something around it.
    QCOMPARE(w->isHidden(), hidden);
    QCOMPARE(w->isVisibleTo(m_t.window.get()), !hidden);
    if (auto* check = qobject_cast<QCheckBox*>(w))
        QVERIFY(!check->isChecked());
}

void TstWindowInventory::textBoxEditingAndAlignment_data() {
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<int>("alignment"); // 0 where none is documented
    for (const Control& c : kControls) {
        if (c.kind != Kind::TextBox)
            continue;
        const int alignment = (c.state & Centred)        ? int(Qt::AlignHCenter)
                              : (c.state & RightAligned) ? int(Qt::AlignRight)
                                                         : 0;
        QTest::newRow(c.name) << bool(c.state & ReadOnly) << alignment;
    }
}

// Boxes not documented as read-only are the ones the engineer types into.
void TstWindowInventory::textBoxEditingAndAlignment() {
    QFETCH(bool, readOnly);
    QFETCH(int, alignment);
    auto* box = m_t.control<QLineEdit>(QTest::currentDataTag());
    QCOMPARE(box->isReadOnly(), readOnly);
    if (alignment)
        QCOMPARE(int(box->alignment() & Qt::AlignHorizontal_Mask), alignment);
}

void TstWindowInventory::listItems_data() {
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("cmbCommPort") << QStringList{"com1", "com2", "com3", "com4", "com5", "com6"}
                                 << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::newRow("CMB_ADDR") << QStringList{} << QList<int>{};
    QTest::newRow("CMB_BAND") << QStringList{"1200", "2400", "4800", "9600"}
                              << QList<int>{0, 1, 2, 3};
    QTest::newRow("cmbUnit") << QStringList{"kPa", "Mpa", "mH2O", "Bar", "psi", "mBar", "unknow"}
                             << QList<int>{0, 1, 2, 3, 4, 5, 6};
    QTest::newRow("Cmb_DP") << QStringList{"0000.", "000.0", "00.00", "0.000", ".0000"}
                            << QList<int>{0, 1, 2, 3, 4};
}

void TstWindowInventory::listItems() {
    QFETCH(QStringList, items);
    QFETCH(QList<int>, values);
    auto* list = m_t.control<QComboBox>(QTest::currentDataTag());
    QVERIFY2(!list->isEditable(), "the text may only be chosen from the list");
    QStringList shownItems;
    QList<int> shownValues;
    for (int i = 0; i < list->count(); ++i) {
        shownItems << list->itemText(i);
        shownValues << list->itemData(i).toInt();
    }
    QCOMPARE(shownItems, items);
    QCOMPARE(shownValues, values);
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(list->currentText(), QString());
}

void TstWindowInventory::fonts_data() {
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<bool>("bold");
    for (const char* name : {"cmdSEARCH", "cmdReFresh", "COM_QUIT", "COM_SC"})
        QTest::newRow(name) << 10.5 << true;
    for (const char* name : {"TXT_PRESSURE", "TXT_TEMPERATURE", "Label5", "Label6"})
        QTest::newRow(name) << 15.75 << true;
    for (const char* name : {"txtMIN", "txtMAX"})
        QTest::newRow(name) << 12.0 << false;
    QTest::newRow("StatusBar1") << 9.0 << true;
    // The panels carry the status bar's texts, so they must show its type.
    for (const char* name :
         {"StatusBar1_Panel1", "StatusBar1_Panel2", "StatusBar1_Panel3", "StatusBar1_Panel4"})
        QTest::newRow(name) << 9.0 << true;
}

void TstWindowInventory::fonts() {
    QFETCH(qreal, pointSize);
    QFETCH(bool, bold);
    QWidget* w = widget(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY2(w, "no such control");
    w->ensurePolished(); // a style sheet's font lands only when polished
    const QFont font = w->font();
    QCOMPARE(font.family(), QStringLiteral("宋体"));
    QCOMPARE(font.pointSizeF(), pointSize);
    QCOMPARE(font.bold(), bold);
}

void TstWindowInventory::largeTypeInHighlightColour_data() {
    QTest::addColumn<int>("textRole");
    QTest::newRow("TXT_PRESSURE") << int(QPalette::Text);
    QTest::newRow("TXT_TEMPERATURE") << int(QPalette::Text);
    QTest::newRow("Label5") << int(QPalette::WindowText);
    QTest::newRow("Label6") << int(QPalette::WindowText);
}

void TstWindowInventory::largeTypeInHighlightColour() {
    QFETCH(int, textRole);
    QWidget* w = widget(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w);
    w->ensurePolished();
    QCOMPARE(w->palette().color(QPalette::Active, QPalette::ColorRole(textRole)),
             QApplication::palette().color(QPalette::Active, QPalette::Highlight));
}

// --- placement --------------------------------------------------------------

void TstWindowInventory::placement_data() {
    // Twips; -1 where the layout leaves the measure open.
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    auto row = [](const char* name, int l, int t, int w, int h) {
        QTest::newRow(name) << l << t << w << h;
    };
    row("frame_INFO", 120, 120, 7575, 1215);
    row("frame_ADBD", 120, 1440, 3255, 1575);
    row("frame_DISP", 120, 3120, 3255, 2175);
    row("frame_CVALUE", 3480, 1440, 4215, 2775);
    row("frame_IOUT", 120, 5400, 5535, 1335);
    row("Frame_Command", 5760, 5400, 3495, 1335);
    // right column of buttons
    row("cmdSEARCH", 7920, 240, 1335, -1);
    row("cmdReFresh", 7920, 1560, 1335, -1);
    row("COM_QUIT", 7920, 2760, 1335, -1);
    // row of data-area buttons with the check box above them
    row("CMD_USER", 4080, 4680, -1, 480);
    row("CMD_FACT", 5760, 4680, -1, 480);
    row("CMD_LD", 7440, 4680, -1, 480);
    row("chkSame", 3840, 4320, -1, -1);
    row("txtPass", 8160, 1680, 735, 270);
    row("TXT_UNIT", -1, -1, 375, 225);
}

void TstWindowInventory::placement() {
    QFETCH(int, left);
    QFETCH(int, top);
    QFETCH(int, width);
    QFETCH(int, height);
    QWidget* w = widget(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w);
    const QRect g = w->geometry();
    if (left >= 0)
        QCOMPARE(g.x(), px(left));
    if (top >= 0)
        QCOMPARE(g.y(), px(top));
    if (width >= 0)
        QCOMPARE(g.width(), px(width));
    if (height >= 0)
        QCOMPARE(g.height(), px(height));
}

void TstWindowInventory::labelsStandLeftOfTheirFields_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("field");
    auto row = [](const char* label, const char* field) {
        QTest::newRow(field) << QString::fromLatin1(label) << QString::fromLatin1(field);
    };
    row("Label18", "cmbCommPort");
    row("LBL_ADDR", "CMB_ADDR");
    row("Label16", "TXT_TYPE");
    row("Label14", "TXT_BAND");
    row("LBL_DPH", "TXT_SCZ");
    row("LBL_VR", "TXT_VER");
    row("LBL_ID", "TXT_ID");
    row("Label7", "TXT_ADDR");
    row("Label8", "CMB_BAND");
    row("Label22", "txtType");
    row("Label11", "txtID");
    row("Label21", "cmbUnit");
    row("Label12", "Cmb_DP");
    row("Label9", "TXT_DPL");
    row("Label10", "TXT_DPH");
    row("Label1", "TXT_DAL");
    row("Label2", "TXT_DAH");
    row("Label3", "TXT_DAZF");
    row("Label4", "TXT_DAFF");
    row("Label5", "TXT_PRESSURE");
    row("Label13", "txtMAX");
    row("Label17", "txtMIN");
    row("Label6", "TXT_TEMPERATURE");
    row("lblIns1", "txtInsSend");
    row("lblIns2", "txtReturn");
    // each trim bar stands to the right of its trim box as a label would
    QTest::newRow("VScroll1") << QStringLiteral("TXT_DAZF") << QStringLiteral("VScroll1");
    QTest::newRow("VScroll2") << QStringLiteral("TXT_DAFF") << QStringLiteral("VScroll2");
}

// Same row (their vertical spans meet) and the label's middle left of the
// field; a label may run a little under its field, as on the original grid.
void TstWindowInventory::labelsStandLeftOfTheirFields() {
    QFETCH(QString, label);
    QFETCH(QString, field);
    QWidget* l = widget(label);
    QWidget* f = widget(field);
    QVERIFY(l && f);
    QCOMPARE(l->parentWidget(), f->parentWidget());
    const QRect lg = l->geometry();
    const QRect fg = f->geometry();
    QVERIFY2(lg.center().x() < fg.left(), "not to the left of its field");
    QVERIFY2(lg.top() <= fg.bottom() && fg.top() <= lg.bottom(), "not on its field's row");
}

void TstWindowInventory::rangeSeparatorBetweenRangeEnds() {
    const QRect low = widget("TXT_SCZ")->geometry();
    const QRect tilde = widget("Label15")->geometry();
    const QRect high = widget("TXT_SCF")->geometry();
    QVERIFY(low.center().x() < tilde.center().x());
    QVERIFY(tilde.center().x() < high.center().x());
    QVERIFY(tilde.top() <= low.bottom() && low.top() <= tilde.bottom());
    QVERIFY(tilde.top() <= high.bottom() && high.top() <= tilde.bottom());
}

void TstWindowInventory::countersInTheRightColumn() {
    const int columnLeft = px(7920);
    const int columnRight = px(7920 + 1335);
    for (const char* name : {"Label19", "Label20"}) {
        const QRect g = widget(QString::fromLatin1(name))->geometry();
        QCOMPARE(g.y(), px(840));
        QVERIFY2(g.left() >= columnLeft && g.left() + g.width() <= columnRight, name);
    }
}

void TstWindowInventory::measurementButtonsFormAColumnOnTheRight() {
    const QRect zero = widget("COM_SC")->geometry();
    const QRect reset = widget("cmdReset")->geometry();
    const QRect onOff = widget("cmdON_OFF")->geometry();
    QVERIFY(zero.top() < reset.top());
    QVERIFY(reset.top() < onOff.top());
    for (const QRect& button : {reset, onOff})
        QVERIFY2(button.left() <= zero.right() && zero.left() <= button.right(), "not one column");
    for (const char* box : {"TXT_PRESSURE", "txtMAX", "txtMIN", "TXT_TEMPERATURE"})
        for (const QRect& button : {zero, reset, onOff})
            QVERIFY2(button.left() > widget(QString::fromLatin1(box))->geometry().center().x(),
                     box);
}

// The access-code box must be there to type into but out of sight and out
// of reach of the mouse: the refresh button covers it completely.
void TstWindowInventory::txtPassLiesHiddenUnderRefresh() {
    // Shown, so that the window's area has its size and childAt can look.
    TestWindow t;
    t.createShown();
    QWidget* pass = t.control("txtPass");
    QWidget* refresh = t.control("cmdReFresh");
    QCOMPARE(pass->parentWidget(), refresh->parentWidget());
    QVERIFY(refresh->geometry().contains(pass->geometry()));
    QCOMPARE(pass->parentWidget()->childAt(pass->geometry().center()), refresh);
}

void TstWindowInventory::scrollBars_data() {
    QTest::addColumn<QString>("trimBox");
    QTest::addColumn<QList<int>>("steps"); // single and page step, in either order
    QTest::newRow("VScroll1") << QStringLiteral("TXT_DAZF") << QList<int>{1, 1};
    QTest::newRow("VScroll2") << QStringLiteral("TXT_DAFF") << QList<int>{1, 5};
}

void TstWindowInventory::scrollBars() {
    QFETCH(QString, trimBox);
    QFETCH(QList<int>, steps);
    auto* bar = m_t.control<QScrollBar>(QTest::currentDataTag());
    QCOMPARE(bar->orientation(), Qt::Vertical);
    QCOMPARE(bar->minimum(), -5000);
    QCOMPARE(bar->maximum(), 5000);
    QList<int> shownSteps{bar->singleStep(), bar->pageStep()};
    std::sort(shownSteps.begin(), shownSteps.end());
    QCOMPARE(shownSteps, steps);
    // Every completed move writes a trim, but a drag only on release.
    QVERIFY(!bar->hasTracking());
    const QRect g = bar->geometry();
    QCOMPARE(g.x(), px(3960));
    QCOMPARE(g.width(), px(255));
    QCOMPARE(g.height(), px(375));
    const QRect box = widget(trimBox)->geometry();
    QVERIFY(g.top() <= box.bottom() && box.top() <= g.bottom());
}

// --- the window itself --------------------------------------------------------

void TstWindowInventory::windowFrame() {
    TestWindow t;
    MainWindow& window = t.createShown();
    QCOMPARE(window.windowTitle(), QStringLiteral("智能变送器参数设置1.34"));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.size(), window.minimumSize());
    QVERIFY(!window.windowIcon().isNull());
    QCOMPARE(window.windowIcon().actualSize(QSize(48, 48)), QSize(48, 48));

    // The client area below the menu bar is 9375 x 7140 twips, the status
    // bar taking its bottom 375 twips and the frames the rest.
    QWidget* central = window.centralWidget();
    QVERIFY(central);
    QCOMPARE(central->objectName(), QStringLiteral("centralwidget"));
    const int clientTop = window.menuBar()->geometry().bottom() + 1;
    QCOMPARE(central->geometry(), QRect(0, clientTop, px(9375), px(6765)));
    QCOMPARE(window.width(), px(9375));
    QCOMPARE(window.height(), clientTop + px(7140));
}

void TstWindowInventory::menu() {
    QMenuBar* bar = m_t.window->menuBar();
    QCOMPARE(bar->actions().size(), 1);
    QMenu* option = bar->actions().constFirst()->menu();
    QVERIFY(option);
    QCOMPARE(option->objectName(), QStringLiteral("Option"));
    QCOMPARE(option->title(), QStringLiteral("选项(&O)"));
    const QList<QAction*> items = option->actions();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0]->objectName(), QStringLiteral("space1"));
    QVERIFY(items[0]->isSeparator());
    QCOMPARE(items[1]->objectName(), QStringLiteral("Exit"));
    QCOMPARE(items[1]->text(), QStringLiteral("退出(&X)"));
    QVERIFY(items[1]->isEnabled());
    QVERIFY(items[1]->isVisible());
    // The separator leads the menu and is drawn all the same: a line of its
    // own above the item, clear of the menu's border.
    option->popup(QPoint(0, 0));
    QVERIFY(QTest::qWaitForWindowExposed(option));
    const QRect separator = option->actionGeometry(items[0]);
    QVERIFY(separator.height() >= 5);
    QVERIFY(separator.bottom() < option->actionGeometry(items[1]).top());
    const QImage drawn = option->grab().toImage();
    const int x = separator.center().x();
    QVERIFY(drawn.pixel(x, separator.center().y()) != drawn.pixel(x, separator.top() + 1));
    option->close();
}

void TstWindowInventory::statusBar() {
    TestWindow t;
    MainWindow& window = t.createShown();
    auto* bar = t.control<QStatusBar>("StatusBar1");
    QCOMPARE(window.statusBar(), bar); // docked along the bottom edge
    QCOMPARE(bar->geometry(),
             QRect(0, window.centralWidget()->geometry().bottom() + 1, px(9375), px(375)));
    QCOMPARE(bar->geometry().bottom(), window.rect().bottom());

    QCOMPARE(bar->findChildren<QLabel*>().size(), 4);
    // Widths are "about" these; a tenth either way is still the same panel.
    const int widths[] = {px(4800), px(2000), px(1200), px(1300)};
    int previousRight = -1;
    for (int i = 0; i < 4; ++i) {
        const QByteArray name = "StatusBar1_Panel" + QByteArray::number(i + 1);
        auto* panel = t.control<QLabel>(name.constData());
        QVERIFY2(bar->isAncestorOf(panel), name.constData());
        QVERIFY2(panel->isVisible(), name.constData());
        QVERIFY2(panel->x() > previousRight, "panels out of order");
        previousRight = panel->geometry().right();
        QVERIFY2(qAbs(panel->width() - widths[i]) <= widths[i] / 10,
                 qPrintable(QStringLiteral("%1 is %2 px wide").arg(name).arg(panel->width())));
    }
    QVERIFY(t.control<QLabel>("StatusBar1_Panel1")->width() >= px(3000));
}

void TstWindowInventory::pollTimer() {
    auto* timer = m_t.window->findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY2(timer, "no QTimer named Timer1 among the window's children");
    QCOMPARE(timer->interval(), 250);
    QVERIFY(!timer->isSingleShot());
    QVERIFY(!timer->isActive());
}

// --- keyboard focus -----------------------------------------------------------

void TstWindowInventory::tabOrder() {
    const char* const order[] = {
        "cmdSEARCH",       "CMB_ADDR",       "TXT_SCF",     "TXT_ID",     "TXT_VER",
        "TXT_DAL",         "TXT_DAH",        "TXT_DAZF",    "TXT_DAFF",   "TXT_PRESSURE",
        "TXT_TEMPERATURE", "TXT_ADDR",       "CMB_BAND",    "cmdDA_Read", "COM_ADDR",
        "COM_SC",          "COM_QUIT",       "cmdDA_Write", "TXT_DPL",    "TXT_DPH",
        "cmdSCALE_Read",   "cmdSCALE_Write", "TXT_BAND",    "VScroll1",   "VScroll2",
        "TXT_SCZ",         "TXT_TYPE",       "txtReturn",   "Cmd_INS",    "txtInsSend",
        "Cmb_DP",          "txtMAX",         "txtMIN",      "cmdReset",   "cmdReFresh",
        "cmdON_OFF",       "cmbCommPort",    "cmbUnit",     "txtPass",    "txtID",
        "CMD_USER",        "CMD_LD",         "txtType",     "chkSame",
    };
    // Controls hidden or disabled at start are passed over; Tab comes round
    // to the first control again after the last.
    QStringList expected;
    for (const char* name : order) {
        const Control* c = find(QString::fromLatin1(name));
        QVERIFY2(c, name);
        if (!(c->state & (Hidden | Disabled)))
            expected << QString::fromLatin1(name);
    }
    expected << QStringLiteral("cmdSEARCH");

    TestWindow t;
    t.createShown();
    auto* search = t.control("cmdSEARCH");
    QCOMPARE(QApplication::focusWidget(), search);
    QVERIFY(!(t.control("TXT_UNIT")->focusPolicy() & Qt::TabFocus));

    // Leaving the address and the four number boxes validates them; give them
    // text they accept, since what happens to the initial texts is not what
    // this test is about.
    t.control<QLineEdit>("TXT_ADDR")->setText(QStringLiteral("07"));
    for (const char* name : {"TXT_DPL", "TXT_DPH", "TXT_DAL", "TXT_DAH"})
        t.control<QLineEdit>(name)->setText(QStringLiteral("1"));

    QStringList visited{QStringLiteral("cmdSEARCH")};
    for (int i = 0; i < int(std::size(order)) + 2; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        visited << (focus ? focus->objectName() : QStringLiteral("<no focus>"));
        if (focus == search || !focus)
            break;
    }
    QCOMPARE(visited, expected);
    QCOMPARE(t.messages.shown.size(), 0);
}

QTEST_MAIN(TstWindowInventory)
#include "tst_window_inventory.moc"
