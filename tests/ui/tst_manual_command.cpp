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
    void non_ascii_text_is_refused_with_a_message();
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

void TestManualCommand::non_ascii_text_is_refused_with_a_message() {
    TestWindow t;
    t.settings.values.insert("Transmitter/CommPort", "1");
    t.create();
    selectTransmitter(t, "01");
    t.control<QLineEdit>("txtInsSend")->setText("TY压力");
    t.control<QLineEdit>("txtReturn")->setText("*01old\r");

    t.window->Cmd_INS_Click();

    QVERIFY(t.port.written.isEmpty());
    QCOMPARE(t.messages.shown.size(), 1);
    QCOMPARE(t.messages.shown[0].title, QStringLiteral("错误"));
    QCOMPARE(t.control<QLineEdit>("txtReturn")->text(), QStringLiteral("*01old\r"));
}

QTEST_MAIN(TestManualCommand)
#include "tst_manual_command.moc"
