// The manual command box: the typed text goes out unchanged to the selected
// transmitter and the reply is shown as returned.

#include "link/frame.h"
#include "support/test_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
void selectTransmitter(TestWindow& t, const QString& address) {
    auto* list = t.control<QComboBox>("CMB_ADDR");
    list->addItem(address);
    list->setCurrentIndex(list->count() - 1);
}
} // namespace

class TestManualCommand : public QObject {
    Q_OBJECT

private slots:
    void sends_typed_text_and_shows_the_reply();
    void without_a_selection_the_frame_carries_no_address();
    void text_goes_out_untrimmed_and_unchanged();
    void text_that_cannot_go_out_is_refused_with_a_message_data();
    void text_that_cannot_go_out_is_refused_with_a_message();
    void rate_changes_on_a_fixed_line_data();
    void rate_changes_on_a_fixed_line();
};

void TestManualCommand::sends_typed_text_and_shows_the_reply() {
    TestWindow t;
    t.settings.values.insert("Transmitter/CommPort", "1");
    t.create();
    selectTransmitter(t, "01");
    t.port.responder = [](const QByteArray&) {
        return QList<FakeSerialPort::Reply>{{frame::reply("01+0012.34"), 30}};
    };

    t.window->Cmd_INS_Click();

    QCOMPARE(t.port.written, QList<QByteArray>{"$01RP033\r"});
    QCOMPARE(t.control<QLineEdit>("txtReturn")->text(), QStringLiteral("*01+0012.34\r"));
}

void TestManualCommand::without_a_selection_the_frame_carries_no_address() {
    TestWindow t;
    t.settings.values.insert("Transmitter/CommPort", "1");
    t.create();
    t.control<QLineEdit>("txtReturn")->setText("old");

    t.window->Cmd_INS_Click();

    QCOMPARE(t.port.written, QList<QByteArray>{QByteArray("$RP0") + frame::checksum("RP0") + '\r'});
    QCOMPARE(t.control<QLineEdit>("txtReturn")->text(), QStringLiteral("ERR 0\r"));
}

void TestManualCommand::text_goes_out_untrimmed_and_unchanged() {
    TestWindow t;
    t.settings.values.insert("Transmitter/CommPort", "1");
    t.createShown();
    selectTransmitter(t, "07");
    QTest::mouseClick(t.control("centralwidget"), Qt::LeftButton, {}, QPoint(570, 250));
    QTest::keyClicks(t.control<QLineEdit>("txtPass"), "wolmask");
    auto* command = t.control<QLineEdit>("txtInsSend");
    command->setText(" ty ");

    QTest::mouseClick(t.control<QPushButton>("Cmd_INS"), Qt::LeftButton);

    QCOMPARE(t.port.written,
             QList<QByteArray>{QByteArray("$07 ty ") + frame::checksum("07 ty ") + '\r'});
}

void TestManualCommand::text_that_cannot_go_out_is_refused_with_a_message_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("not ASCII") << "TY压力"
                               << "指令中含有非 ASCII 可打印字符，无法发送。";
    // A transmitter takes "$" as the start of a new request.
    QTest::newRow("a frame start") << "ID$12"
                                   << "指令中不能含有 $（$ 是帧的起始符），无法发送。";
}

void TestManualCommand::text_that_cannot_go_out_is_refused_with_a_message() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    TestWindow t;
    t.settings.values.insert("Transmitter/CommPort", "1");
    t.create();
    selectTransmitter(t, "01");
    t.control<QLineEdit>("txtInsSend")->setText(typed);
    t.control<QLineEdit>("txtReturn")->setText("*01old\r");

    t.window->Cmd_INS_Click();

    QVERIFY(t.port.written.isEmpty());
    QCOMPARE(t.messages.shown.size(), 1);
    QCOMPARE(t.messages.shown[0].title, QStringLiteral("错误"));
    QCOMPARE(t.messages.shown[0].text, message);
    QCOMPARE(t.control<QLineEdit>("txtReturn")->text(), QStringLiteral("*01old\r"));
}

void TestManualCommand::rate_changes_on_a_fixed_line_data() {
    QTest::addColumn<int>("fixedRate"); // 0: the tool sets the rate
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("refused"); // the box's text; empty: sent
    QTest::newRow("another rate") << 4800 << "BD3"
                                  << "该端口的波特率固定为 4800，不能改为 9600";
    QTest::newRow("no baud index") << 4800 << "BD9"
                                   << "该端口的波特率固定为 4800，不能发送 BD9";
    QTest::newRow("the fixed rate") << 4800 << "bd2"
                                    << "";
    QTest::newRow("rate set by the tool") << 0 << "BD9"
                                          << "";
}

void TestManualCommand::rate_changes_on_a_fixed_line() {
    QFETCH(int, fixedRate);
    QFETCH(QString, typed);
    QFETCH(QString, refused);
    TestWindow t;
    t.port.fixedRate = fixedRate;
    t.settings.values.insert("Transmitter/CommPort", "1");
    t.create();
    selectTransmitter(t, "01");
    t.control<QLineEdit>("txtInsSend")->setText(typed);

    t.window->Cmd_INS_Click();

    QCOMPARE(t.port.written.size(), refused.isEmpty() ? 1 : 0);
    QCOMPARE(t.messages.shown.size(), refused.isEmpty() ? 0 : 1);
    if (!refused.isEmpty())
        QCOMPARE(t.messages.shown[0].text, refused);
}

QTEST_MAIN(TestManualCommand)
#include "tst_manual_command.moc"
