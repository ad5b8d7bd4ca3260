// Reading and writing range, unit, decimals, the analog output and the trims
// of the selected transmitter.

#include "link/frame.h"
#include "support/selected_transmitter.h"
#include "ui/trim_bars.h"

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTest>

namespace {
void clickArrow(QScrollBar* bar, QStyle::SubControl arrow) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = Qt::Vertical;
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.subControls = QStyle::SC_All;
    const QRect r = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, arrow, bar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, r.center());
}
} // namespace

class TestRangeAndOutput : public QObject {
    Q_OBJECT

private slots:
    void range_read_sends_four_reads();
    void range_write_sends_indexes_and_texts();
    void range_write_without_selection_sends_minus_one();
    void failed_range_exchanges_move_nothing();
    void range_write_refuses_fields_without_a_number_data();
    void range_write_refuses_fields_without_a_number();
    void typed_value_is_reformatted_before_the_write();
    void leaving_a_field_reformats_it_even_untyped();
    void output_read_and_write_leave_the_bars();
    void output_write_refuses_a_lost_trim();
    void trim_bar_click_writes_the_absolute_position();
    void trim_write_without_reply_shows_zero();
    void nothing_selected_sends_nothing();
};

void TestRangeAndOutput::range_read_sends_four_reads() {
    SelectedTransmitter s;
    s.transmitter->values.insert("UT", "2");
    s.transmitter->values.insert("DP", "02");
    s.transmitter->values.insert("DL", "-5.00");
    s.t.window->cmdSCALE_Read_Click();
    QCOMPARE(s.commands(), (QStringList{"01UT", "01DP", "01DL", "01DH"}));
    QCOMPARE(s.index("cmbUnit"), 2);
    QCOMPARE(s.index("Cmb_DP"), 2);
    QCOMPARE(s.text("TXT_DPL"), QStringLiteral("-5.00"));
    QCOMPARE(s.text("TXT_DPH"), QStringLiteral("+100.0"));
}

void TestRangeAndOutput::range_write_sends_indexes_and_texts() {
    SelectedTransmitter s;
    s.t.control<QComboBox>("cmbUnit")->setCurrentIndex(3);
    s.t.control<QComboBox>("Cmb_DP")->setCurrentIndex(2);
    s.setText("TXT_DPL", "-10.00");
    s.setText("TXT_DPH", "+100.00");
    s.t.window->cmdSCALE_Write_Click();
    QCOMPARE(s.commands(), (QStringList{"01UT3", "01DP2", "01DL-10.00", "01DH+100.00"}));
    QCOMPARE(s.t.port.written.last(), frame::request("01", "DH+100.00"));
    // The lists and fields show what the transmitter answered.
    QCOMPARE(s.index("cmbUnit"), 3);
    QCOMPARE(s.text("TXT_DPH"), QStringLiteral("+100.00"));
}

void TestRangeAndOutput::range_write_without_selection_sends_minus_one() {
    SelectedTransmitter s;
    s.t.control<QComboBox>("cmbUnit")->setCurrentIndex(-1);
    s.transmitter->silent.insert("UT");
    s.t.window->cmdSCALE_Write_Click();
    QCOMPARE(s.commands().first(), QStringLiteral("01UT-1"));
    QCOMPARE(s.index("cmbUnit"), -1);
}

void TestRangeAndOutput::failed_range_exchanges_move_nothing() {
    SelectedTransmitter s;
    s.t.control<QComboBox>("cmbUnit")->setCurrentIndex(4);
    s.t.control<QComboBox>("Cmb_DP")->setCurrentIndex(1);
    s.transmitter->silent = {"UT", "DL"};
    s.transmitter->rawReply.insert("DP", "*01299\r");
    s.transmitter->rawReply.insert("DH", frame::reply("01"));
    s.t.window->cmdSCALE_Read_Click();
    QCOMPARE(s.index("cmbUnit"), 4);
    QCOMPARE(s.index("Cmb_DP"), 1);
    QCOMPARE(s.text("TXT_DPL"), QStringLiteral(" 0"));
    QCOMPARE(s.text("TXT_DPH"), QStringLiteral("*01\r"));
    // Every exchange still ran.
    QCOMPARE(s.commands().size(), 4);

    // Codes outside the lists leave them too.
    s.transmitter->silent.clear();
    s.transmitter->rawReply.clear();
    s.transmitter->values.insert("UT", "7");
    s.transmitter->values.insert("DP", "99999");
    s.t.window->cmdSCALE_Read_Click();
    QCOMPARE(s.index("cmbUnit"), 4);
    QCOMPARE(s.index("Cmb_DP"), 1);
}

void TestRangeAndOutput::range_write_refuses_fields_without_a_number_data() {
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("named");
    QTest::newRow("initial text") << "TXT_DPL"
                                  << "+1.0"
                                  << "量程零点";
    QTest::newRow("lost read") << "+0.0"
                               << " 0"
                               << "量程满度";
    QTest::newRow("empty") << ""
                           << "+1.0"
                           << "量程零点";
    QTest::newRow("stray words") << "+0.0"
                                 << "12 bar"
                                 << "量程满度";
    QTest::newRow("beyond single precision") << "1e39"
                                             << "+1.0"
                                             << "量程零点";
    QTest::newRow("non-ASCII") << "+0.0"
                               << "１２"
                               << "量程满度";
}

void TestRangeAndOutput::range_write_refuses_fields_without_a_number() {
    QFETCH(QString, low);
    QFETCH(QString, high);
    QFETCH(QString, named);
    SelectedTransmitter s(true);
    s.setText("TXT_DPL", low);
    s.setText("TXT_DPH", high);
    QTest::mouseClick(s.t.control<QPushButton>("cmdSCALE_Write"), Qt::LeftButton);
    QVERIFY(s.commands().isEmpty());
    QCOMPARE(s.t.messages.shown.size(), 1);
    QCOMPARE(s.t.messages.shown[0].title, QStringLiteral("错误"));
    QVERIFY(s.t.messages.shown[0].text.contains(named));
    QCOMPARE(QApplication::focusWidget(),
             s.t.control(named == QStringLiteral("量程零点") ? "TXT_DPL" : "TXT_DPH"));
}

void TestRangeAndOutput::typed_value_is_reformatted_before_the_write() {
    SelectedTransmitter s(true);
    s.t.control<QComboBox>("Cmb_DP")->setCurrentIndex(2);
    auto* high = s.t.control<QLineEdit>("TXT_DPH");
    QTest::mouseClick(high, Qt::LeftButton);
    high->selectAll();
    QTest::keyClicks(high, "5");
    QTest::mouseClick(s.t.control<QPushButton>("cmdSCALE_Write"), Qt::LeftButton);
    QVERIFY(s.commands().contains("01DH+05.00"));

    // The same through the output frame, with a Tab out of the field.
    s.t.control<QComboBox>("Cmb_DP")->setCurrentIndex(1);
    auto* at20 = s.t.control<QLineEdit>("TXT_DAH");
    QTest::mouseClick(at20, Qt::LeftButton);
    at20->selectAll();
    QTest::keyClicks(at20, "-3.25");
    QTest::keyClick(at20, Qt::Key_Tab);
    QCOMPARE(at20->text(), QStringLiteral("-003.3"));
}

void TestRangeAndOutput::leaving_a_field_reformats_it_even_untyped() {
    SelectedTransmitter s(true);
    s.t.control<QComboBox>("Cmb_DP")->setCurrentIndex(2);
    // A value read from the transmitter stays as sent until the field is left.
    QCOMPARE(s.text("TXT_DAL"), QStringLiteral("+000.0"));
    QTest::mouseClick(s.t.control("TXT_DAL"), Qt::LeftButton);
    QTest::mouseClick(s.t.control("TXT_DAH"), Qt::LeftButton);
    QCOMPARE(s.text("TXT_DAL"), QStringLiteral("+00.00"));
    // Text that is no number stays, and the focus moves on regardless.
    s.setText("TXT_DAH", "abc");
    QTest::mouseClick(s.t.control("TXT_DPL"), Qt::LeftButton);
    QCOMPARE(s.text("TXT_DAH"), QStringLiteral("abc"));
    QCOMPARE(QApplication::focusWidget(), s.t.control("TXT_DPL"));
    QVERIFY(s.commands().isEmpty());
}

void TestRangeAndOutput::output_read_and_write_leave_the_bars() {
    SelectedTransmitter s;
    s.transmitter->values.insert("ZF", "+0012");
    s.transmitter->values.insert("FF", "-0040");
    s.t.window->cmdDA_Read_Click();
    QCOMPARE(s.commands(), (QStringList{"01OL", "01OH", "01ZF", "01FF"}));
    QCOMPARE(s.text("TXT_DAZF"), QStringLiteral("+0012"));
    QCOMPARE(trimPosition(s.t.control<QScrollBar>("VScroll1")), 0);

    s.heardBefore = int(s.bus.heard.size());
    s.t.window->cmdDA_Write_Click();
    QCOMPARE(s.commands(), (QStringList{"01OL+000.0", "01OH+100.0", "01ZF+0012", "01FF-0040"}));
    QCOMPARE(trimPosition(s.t.control<QScrollBar>("VScroll2")), 0);
}

void TestRangeAndOutput::output_write_refuses_a_lost_trim() {
    SelectedTransmitter s;
    s.transmitter->silent.insert("FF");
    s.t.window->cmdDA_Read_Click();
    QCOMPARE(s.text("TXT_DAFF"), QStringLiteral(" 0"));
    s.heardBefore = int(s.bus.heard.size());
    s.t.window->cmdDA_Write_Click();
    QVERIFY(s.commands().isEmpty());
    QVERIFY(s.t.messages.shown.last().text.contains(QStringLiteral("20mA微调")));
}

void TestRangeAndOutput::trim_bar_click_writes_the_absolute_position() {
    SelectedTransmitter s(true);
    auto* bar = s.t.control<QScrollBar>("VScroll1");
    clickArrow(bar, QStyle::SC_ScrollBarAddLine); // the lower arrow lowers the trim
    QCOMPARE(s.commands(), QStringList{"01ZF-0001"});
    QCOMPARE(s.text("TXT_DAZF"), QStringLiteral("-0001"));

    // The bar's own position goes out, not a step from the value shown.
    s.transmitter->values.insert("ZF", "+0300");
    s.t.window->cmdDA_Read_Click();
    s.heardBefore = int(s.bus.heard.size());
    clickArrow(bar, QStyle::SC_ScrollBarSubLine);
    QCOMPARE(s.commands(), QStringList{"01ZF+0000"});

    setTrimPosition(s.t.control<QScrollBar>("VScroll2"), 5000);
    setTrimPosition(bar, -5000);
    QCOMPARE(s.commands().mid(1), (QStringList{"01FF+5000", "01ZF-5000"}));
}

void TestRangeAndOutput::trim_write_without_reply_shows_zero() {
    SelectedTransmitter s;
    s.transmitter->silent.insert("FF");
    setTrimPosition(s.t.control<QScrollBar>("VScroll2"), 25);
    QCOMPARE(s.commands(), QStringList{"01FF+0025"});
    QCOMPARE(s.text("TXT_DAFF"), QStringLiteral(" 0"));
    // The bar keeps its new position.
    QCOMPARE(trimPosition(s.t.control<QScrollBar>("VScroll2")), 25);
}

void TestRangeAndOutput::nothing_selected_sends_nothing() {
    TestWindow t;
    t.settings.values.insert("Transmitter/CommPort", "1");
    t.create();
    t.window->cmdSCALE_Read_Click();
    t.window->cmdSCALE_Write_Click();
    t.window->cmdDA_Read_Click();
    t.window->cmdDA_Write_Click();
    setTrimPosition(t.control<QScrollBar>("VScroll1"), 3);
    QVERIFY(t.port.written.isEmpty());
    QCOMPARE(t.control<QLineEdit>("TXT_DAZF")->text(), QStringLiteral("+0003"));
}

QTEST_MAIN(TestRangeAndOutput)
#include "tst_range_and_output.moc"
