// Changing address, baud rate, model and identity, and the data-area
// commands, of the selected transmitter.

#include "link/frame.h"
#include "protocol/bus_search.h"
#include "support/selected_transmitter.h"
#include "ui/list_selection.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

namespace {
const QString kAddressError = QStringLiteral("地址设置参数错误，请重新输入！");
}

class TestAddressAndDataAreas : public QObject {
    Q_OBJECT

private slots:
    void leaving_the_address_field_data();
    void leaving_the_address_field();
    void refused_address_keeps_the_click_from_happening();
    void unchanged_address_writes_all_four_in_order();
    void new_address_and_rate_are_followed();
    void rate_echo_mismatch_keeps_the_old_rate_data();
    void rate_echo_mismatch_keeps_the_old_rate();
    void duplicate_address_sends_nothing_data();
    void duplicate_address_sends_nothing();
    void lost_address_reply_keeps_the_list_entry_data();
    void lost_address_reply_keeps_the_list_entry();
    void modify_needs_a_selected_transmitter();
    void model_and_id_must_be_printable_ascii();
    void data_area_messages_data();
    void data_area_messages();
    void factory_button_needs_the_factory_code();
    void fixed_rate_is_kept_data();
    void fixed_rate_is_kept();
};

void TestAddressAndDataAreas::leaving_the_address_field_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after"); // empty: refused
    QTest::newRow("one digit") << "7"
                               << "07";
    QTest::newRow("two digits") << "99"
                                << "99";
    QTest::newRow("fraction") << "1.2"
                              << "01";
    QTest::newRow("blanks") << " 12 "
                            << "12";
    QTest::newRow("zero") << "0"
                          << "";
    QTest::newRow("double zero") << "00"
                                 << "";
    QTest::newRow("hundred") << "100"
                             << "";
    QTest::newRow("below one") << "0.6"
                               << "";
    QTest::newRow("not a number") << "ADDR"
                                  << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("huge") << "1e39"
                          << "";
    QTest::newRow("nan") << "nan"
                         << "";
    // The leading number counts; text without one is refused.
    QTest::newRow("number, then letters") << "7abc"
                                          << "07";
    QTest::newRow("signed") << "+5"
                            << "05";
    QTest::newRow("letters, then number") << "a7"
                                          << "";
}

void TestAddressAndDataAreas::leaving_the_address_field() {
    QFETCH(QString, typed);
    QFETCH(QString, after);
    SelectedTransmitter s(true);
    auto* field = s.t.control<QLineEdit>("TXT_ADDR");
    QTest::mouseClick(field, Qt::LeftButton);
    field->setText(typed);
    QTest::keyClick(field, Qt::Key_Tab);
    if (after.isEmpty()) {
        QCOMPARE(s.t.messages.shown.size(), 1);
        QCOMPARE(s.t.messages.shown[0].text, kAddressError);
        QCOMPARE(s.t.messages.shown[0].title, QStringLiteral("错误"));
        QCOMPARE(QApplication::focusWidget(), field);
        QCOMPARE(field->text(), typed);
    } else {
        QVERIFY(s.t.messages.shown.isEmpty());
        QCOMPARE(field->text(), after);
        QVERIFY(QApplication::focusWidget() != field);
    }
    QVERIFY(s.commands().isEmpty());
}

void TestAddressAndDataAreas::refused_address_keeps_the_click_from_happening() {
    SelectedTransmitter s(true);
    auto* field = s.t.control<QLineEdit>("TXT_ADDR");
    QTest::mouseClick(field, Qt::LeftButton);
    field->setText("100");
    QTest::mouseClick(s.t.control<QPushButton>("COM_ADDR"), Qt::LeftButton);
    QVERIFY(s.commands().isEmpty());
    QCOMPARE(s.t.messages.shown.size(), 1);
    QCOMPARE(QApplication::focusWidget(), field);

    field->setText("5");
    QTest::mouseClick(s.t.control<QPushButton>("COM_ADDR"), Qt::LeftButton);
    QCOMPARE(s.commands().at(1), QStringLiteral("01AD05"));
}

void TestAddressAndDataAreas::unchanged_address_writes_all_four_in_order() {
    SelectedTransmitter s;
    s.list("02", 9600);
    s.setText("txtID", "SN-1");
    s.setText("txtType", "PT 9");
    s.t.window->COM_ADDR_Click();
    QCOMPARE(s.commands(), (QStringList{"01IDSN-1", "01AD01", "01BD3", "01TYPT 9"}));
    QCOMPARE(s.text("txtID"), QStringLiteral("SN-1"));
    QCOMPARE(s.text("txtType"), QStringLiteral("PT 9"));
    QCOMPARE(s.t.window->LastReply, QStringLiteral("*013\r"));
}

void TestAddressAndDataAreas::new_address_and_rate_are_followed() {
    SelectedTransmitter s;
    s.setText("TXT_ADDR", "23");
    s.t.control<QComboBox>("CMB_BAND")->setCurrentIndex(1);
    s.t.window->COM_ADDR_Click();

    QCOMPARE(s.commands(), (QStringList{"01IDSN4711", "01AD23", "23BD1", "23TYPT-200"}));
    QCOMPARE(s.bus.heard.last().settings, QStringLiteral("2400,n,8,1"));
    QCOMPARE(s.t.control<QComboBox>("CMB_ADDR")->currentText(), QStringLiteral("23"));
    QCOMPARE(s.text("TXT_ADDR"), QStringLiteral("23"));
    QCOMPARE(s.text("TXT_BAND"), QStringLiteral("2400"));
    QCOMPARE(s.t.port.settings(), QStringLiteral("2400,n,8,1"));
    // The record keeps the address the search found; its rate follows.
    QCOMPARE(s.t.window->OnlineList.first(), (OnlineTransmitter{"01", 1}));

    // Selecting it again reaches it at its new address and rate.
    s.heardBefore = int(s.bus.heard.size());
    s.t.window->cmdReFresh_Click();
    QCOMPARE(s.commands().first(), QStringLiteral("23TY"));
    QCOMPARE(s.text("TXT_TYPE"), QStringLiteral("PT-200"));
}

void TestAddressAndDataAreas::rate_echo_mismatch_keeps_the_old_rate_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("no reply") << QByteArray();
    QTest::newRow("other digit") << frame::reply("012");
    QTest::newRow("bad checksum") << QByteArray("*01100\r");
}

void TestAddressAndDataAreas::rate_echo_mismatch_keeps_the_old_rate() {
    QFETCH(QByteArray, reply);
    SelectedTransmitter s;
    if (reply.isEmpty())
        s.transmitter->silent.insert("BD");
    else
        s.transmitter->rawReply.insert("BD", reply);
    s.t.control<QComboBox>("CMB_BAND")->setCurrentIndex(0);
    s.t.window->COM_ADDR_Click();
    QCOMPARE(s.text("TXT_BAND"), QStringLiteral("9600"));
    QCOMPARE(s.t.port.settings(), QStringLiteral("9600,n,8,1"));
    QCOMPARE(s.t.window->OnlineList.first().BaudIndex, qint16(3));
    // The model still goes out, at the old rate.
    QCOMPARE(s.bus.heard.last().request, QStringLiteral("01TYPT-200"));
    QCOMPARE(s.bus.heard.last().settings, QStringLiteral("9600,n,8,1"));
}

void TestAddressAndDataAreas::duplicate_address_sends_nothing_data() {
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("restored");
    QTest::newRow("plain") << "PT-200" << 0 << "01";
    // The duplicate check comes first, before the checks of the texts and of
    // the selection.
    QTest::newRow("model text refused too") << "压力" << 0 << "01";
    QTest::newRow("nothing selected") << "PT-200" << -1 << "";
}

void TestAddressAndDataAreas::duplicate_address_sends_nothing() {
    QFETCH(QString, model);
    QFETCH(int, selected);
    QFETCH(QString, restored);
    SelectedTransmitter s;
    s.list("05", 9600);
    s.list("08", 4800);
    s.setText("TXT_ADDR", "08");
    s.setText("txtType", model);
    s.t.control<QComboBox>("CMB_ADDR")->setCurrentIndex(selected);
    s.t.window->COM_ADDR_Click();
    QVERIFY(s.commands().isEmpty());
    QCOMPARE(s.t.messages.shown.size(), 1);
    QCOMPARE(s.t.messages.shown[0].text, QStringLiteral("地址 08 已经存在,按“OK”键返回！"));
    QCOMPARE(s.t.messages.shown[0].title, QStringLiteral("错误"));
    QCOMPARE(s.text("TXT_ADDR"), restored);
}

void TestAddressAndDataAreas::lost_address_reply_keeps_the_list_entry_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no reply") << QByteArray() << " 0";
    QTest::newRow("bad checksum") << QByteArray("*0123FF\r") << " 3";
    QTest::newRow("without data") << frame::reply("01") << "*01\r";
    // Two digits and a line feed are no address.
    QTest::newRow("address, line feed") << frame::reply("0123\n") << "23\n";
}

void TestAddressAndDataAreas::lost_address_reply_keeps_the_list_entry() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    SelectedTransmitter s;
    if (reply.isEmpty())
        s.transmitter->silent.insert("AD");
    else
        s.transmitter->rawReply.insert("AD", reply);
    s.setText("TXT_ADDR", "23");
    s.t.window->COM_ADDR_Click();
    QCOMPARE(s.text("TXT_ADDR"), shown);
    QCOMPARE(s.t.control<QComboBox>("CMB_ADDR")->currentText(), QStringLiteral("01"));
    QCOMPARE(s.commands().mid(2), (QStringList{"01BD3", "01TYPT-200"}));

    // A failure text in the field never goes out as an address.
    s.heardBefore = int(s.bus.heard.size());
    s.t.window->COM_ADDR_Click();
    QVERIFY(s.commands().isEmpty());
    QCOMPARE(s.t.messages.shown.last().text, kAddressError);
}

void TestAddressAndDataAreas::modify_needs_a_selected_transmitter() {
    TestWindow t;
    t.settings.values.insert("Transmitter/CommPort", "1");
    t.create();
    t.control<QLineEdit>("TXT_ADDR")->setText("05");
    t.window->COM_ADDR_Click();
    QVERIFY(t.port.written.isEmpty());
    QCOMPARE(t.messages.shown.size(), 1);
    QCOMPARE(t.messages.shown[0].title, QStringLiteral("错误"));
}

void TestAddressAndDataAreas::model_and_id_must_be_printable_ascii() {
    SelectedTransmitter s;
    s.setText("txtType", "压力变送器");
    s.t.window->COM_ADDR_Click();
    s.setText("txtType", "PT");
    s.setText("txtID", "SN\t1");
    s.t.window->COM_ADDR_Click();
    // A transmitter takes "$" as the start of a new request.
    s.setText("txtID", "PT$12*34");
    s.t.window->COM_ADDR_Click();
    QVERIFY(s.commands().isEmpty());
    QCOMPARE(s.t.messages.shown.size(), 3);
    QVERIFY(s.t.messages.shown[0].text.contains(QStringLiteral("型号")));
    QVERIFY(s.t.messages.shown[1].text.contains(QStringLiteral("ID号")));
    QCOMPARE(s.t.messages.shown[2].text,
             QStringLiteral("ID号不能包含 $（$ 是帧的起始符），未发送任何数据。"));
}

void TestAddressAndDataAreas::data_area_messages_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("user ok") << "CMD_USER"
                             << "WU" << frame::reply("01OK") << "写入用户数据区"
                             << "写入用户数据区完成!";
    QTest::newRow("user other text") << "CMD_USER"
                                     << "WU" << frame::reply("01NO") << "写入用户数据区"
                                     << "写入用户数据区出错";
    QTest::newRow("user no reply") << "CMD_USER"
                                   << "WU" << QByteArray() << "写入用户数据区"
                                   << "写入用户数据区出错";
    QTest::newRow("factory ok") << "CMD_FACT"
                                << "WF" << frame::reply("01OK") << "写入工厂数据区"
                                << "写入工厂数据区完成!";
    QTest::newRow("factory bad frame") << "CMD_FACT"
                                       << "WF" << QByteArray("*01OK00\r") << "写入工厂数据区"
                                       << "写入工厂数据区出错";
    QTest::newRow("restore ok") << "CMD_LD"
                                << "LD" << frame::reply("01OK") << "恢复工厂设定"
                                << "恢复工厂设定完成!";
    QTest::newRow("restore lower case") << "CMD_LD"
                                        << "LD" << frame::reply("01ok") << "恢复工厂设定"
                                        << "恢复工厂设定出错";
    QTest::newRow("restore other address") << "CMD_LD"
                                           << "LD" << frame::reply("02OK") << "恢复工厂设定"
                                           << "恢复工厂设定出错";
}

void TestAddressAndDataAreas::data_area_messages() {
    QFETCH(QString, button);
    QFETCH(QString, command);
    QFETCH(QByteArray, reply);
    QFETCH(QString, title);
    QFETCH(QString, text);
    SelectedTransmitter s;
    if (reply.isEmpty())
        s.transmitter->silent.insert(command);
    else
        s.transmitter->rawReply.insert(command, reply);
    const QString before = s.text("TXT_TYPE");
    if (button == QLatin1String("CMD_USER"))
        s.t.window->CMD_USER_Click();
    else if (button == QLatin1String("CMD_FACT"))
        s.t.window->CMD_FACT_Click();
    else
        s.t.window->CMD_LD_Click();
    QCOMPARE(s.commands(), QStringList{"01" + command});
    QCOMPARE(s.t.messages.shown.size(), 1);
    QCOMPARE(s.t.messages.shown[0].title, title);
    QCOMPARE(s.t.messages.shown[0].text, text);
    QCOMPARE(s.text("TXT_TYPE"), before);
}

void TestAddressAndDataAreas::factory_button_needs_the_factory_code() {
    SelectedTransmitter s(true);
    auto* factory = s.t.control<QPushButton>("CMD_FACT");
    QVERIFY(factory->isHidden() && !factory->isEnabled());
    QTest::mouseClick(s.t.control("centralwidget"), Qt::LeftButton, {}, QPoint(570, 250));
    QTest::keyClicks(s.t.control<QLineEdit>("txtPass"), "tekrund");
    QVERIFY(factory->isVisible() && factory->isEnabled());
    QTest::mouseClick(factory, Qt::LeftButton);
    QCOMPARE(s.commands(), QStringList{"01WF"});
    QCOMPARE(s.t.messages.shown.last().text, QStringLiteral("写入工厂数据区完成!"));
}

void TestAddressAndDataAreas::fixed_rate_is_kept_data() {
    QTest::addColumn<int>("fixedRate");  // 0: the tool sets the rate
    QTest::addColumn<int>("recordRate"); // where 01 was found
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("band");        // the rate list's entry, set or picked
    QTest::addColumn<QString>("refused"); // the rate the box names; empty: no box
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<int>("bandAfter");
    QTest::newRow("pick another rate")
        << 4800 << 4800 << "pick" << 3 << "9600" << QStringList{} << 2;
    QTest::newRow("pick the fixed rate") << 4800 << 4800 << "pick" << 2 << "" << QStringList{} << 2;
    QTest::newRow("pick on a port the tool sets")
        << 0 << 9600 << "pick" << 0 << "" << QStringList{} << 0;
    // The list still holds a rate set before the port was changed.
    QTest::newRow("write at another rate")
        << 4800 << 4800 << "write" << 0 << "1200" << QStringList{} << 2;
    // A move of the address alone sends the fixed rate's digit, which keeps it.
    QTest::newRow("write at the fixed rate")
        << 4800 << 4800 << "write" << 2 << ""
        << QStringList{"01IDSN4711", "01AD23", "23BD2", "23TYPT-200"} << 2;
    // A list found on another port.
    QTest::newRow("select a record at another rate")
        << 4800 << 9600 << "select" << 2 << "9600" << QStringList{} << 2;
    QTest::newRow("refresh a record at another rate")
        << 4800 << 9600 << "refresh" << 2 << "9600" << QStringList{} << 2;
}

void TestAddressAndDataAreas::fixed_rate_is_kept() {
    QFETCH(int, fixedRate);
    QFETCH(int, recordRate);
    QFETCH(QString, action);
    QFETCH(int, band);
    QFETCH(QString, refused);
    QFETCH(QStringList, sent);
    QFETCH(int, bandAfter);
    SelectedTransmitter s;
    // Another port is chosen, one whose server fixes the line's rate; the
    // list of transmitters stays.
    s.t.port.fixedRate = fixedRate;
    s.t.window->cmbCommPort_Click();
    s.transmitter->baud = recordRate;
    s.t.window->OnlineList[0].BaudIndex = qint16(baudIndexOf(recordRate));
    s.setText("TXT_ADDR", "23");
    auto* rates = s.t.control<QComboBox>("CMB_BAND");
    rates->setCurrentIndex(band);
    if (action == QLatin1String("pick"))
        emit rates->activated(band);
    else if (action == QLatin1String("write"))
        s.t.window->COM_ADDR_Click();
    else if (action == QLatin1String("select"))
        s.t.window->listSelection().select(s.t.control<QComboBox>("CMB_ADDR"), 0);
    else
        s.t.window->cmdReFresh_Click();

    QCOMPARE(s.commands(), sent);
    QCOMPARE(rates->currentIndex(), bandAfter);
    if (refused.isEmpty()) {
        QVERIFY(s.t.messages.shown.isEmpty());
        return;
    }
    QCOMPARE(s.t.messages.shown.size(), 1);
    QCOMPARE(s.t.messages.shown[0].text,
             QStringLiteral("该端口的波特率固定为 4800，不能改为 ") + refused);
    QCOMPARE(s.t.messages.shown[0].title, QStringLiteral("错误"));
    QCOMPARE(s.t.messages.shown[0].icon, MessageBoxes::Icon::Exclamation);
}

QTEST_MAIN(TestAddressAndDataAreas)
#include "tst_address_and_data_areas.moc"
