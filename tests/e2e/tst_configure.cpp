// Changing a transmitter on the simulated bus through the real serial layer:
// settings written and read back, a new address and rate followed, and the
// data areas. Ends with a real search, a little over a minute.

#include "link/frame.h"
#include "support/real_window.h"
#include "ui/list_selection.h"
#include "ui/trim_bars.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

namespace {
const QByteArray kBus = R"({"transmitters": [
    {"address": "05", "baud": 9600, "model": "PT-5", "id": "SN5", "decimals": 1}]})";
}

class TestConfigure : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void range_written_and_read_back();
    void output_and_trims_written_and_read_back();
    void data_areas_answer_with_their_messages();
    void long_texts_follow_a_move_to_every_rate_data();
    void long_texts_follow_a_move_to_every_rate();
    void new_address_and_rate_are_followed_and_found_again();

private:
    QLineEdit* field(const char* name) { return m_tool.control<QLineEdit>(name); }
    QComboBox* list(const char* name) { return m_tool.control<QComboBox>(name); }
    RealWindow m_tool{kBus};
};

void TestConfigure::initTestCase() {
    QVERIFY2(m_tool.start(), qPrintable(m_tool.line.simulator.errorString()));
    // As a search would leave it, without spending a minute on one here.
    m_tool.window->UnitNames = {"kPa", "MPa", "mH2O", "Bar", "Psi", "mBar", "Unknown"};
    m_tool.window->OnlineList = {{"05", 3}};
    list("CMB_ADDR")->addItem("05");
    list("CMB_ADDR")->setCurrentIndex(-1);
    m_tool.window->listSelection().select(list("CMB_ADDR"), 0);
    QCOMPARE(field("TXT_TYPE")->text(), QStringLiteral("PT-5"));
}

void TestConfigure::range_written_and_read_back() {
    list("cmbUnit")->setCurrentIndex(4);
    list("Cmb_DP")->setCurrentIndex(2);
    field("TXT_DPL")->setText("-12.50");
    field("TXT_DPH")->setText("+250.00");
    m_tool.window->cmdSCALE_Write_Click();

    list("cmbUnit")->setCurrentIndex(0);
    list("Cmb_DP")->setCurrentIndex(0);
    field("TXT_DPL")->setText("x");
    field("TXT_DPH")->setText("y");
    m_tool.window->cmdSCALE_Read_Click();
    QCOMPARE(list("cmbUnit")->currentIndex(), 4);
    QCOMPARE(list("Cmb_DP")->currentIndex(), 2);
    QCOMPARE(field("TXT_DPL")->text(), QStringLiteral("-12.50"));
    QCOMPARE(field("TXT_DPH")->text(), QStringLiteral("+250.00"));
}

void TestConfigure::output_and_trims_written_and_read_back() {
    field("TXT_DAL")->setText("+000.00");
    field("TXT_DAH")->setText("+200.00");
    m_tool.window->cmdDA_Write_Click();
    setTrimPosition(m_tool.control<QScrollBar>("VScroll1"), 37);
    setTrimPosition(m_tool.control<QScrollBar>("VScroll2"), -120);
    QCOMPARE(field("TXT_DAZF")->text(), QStringLiteral("+0037"));

    field("TXT_DAL")->setText("");
    field("TXT_DAFF")->setText("");
    m_tool.window->cmdDA_Read_Click();
    QCOMPARE(field("TXT_DAL")->text(), QStringLiteral("+000.00"));
    QCOMPARE(field("TXT_DAH")->text(), QStringLiteral("+200.00"));
    QCOMPARE(field("TXT_DAZF")->text(), QStringLiteral("+0037"));
    QCOMPARE(field("TXT_DAFF")->text(), QStringLiteral("-0120"));
}

void TestConfigure::data_areas_answer_with_their_messages() {
    m_tool.window->CMD_USER_Click();
    m_tool.control<QLineEdit>("txtPass")->setText("tekrund");
    m_tool.window->CMD_FACT_Click();
    // A change after the factory area was written, then undone by restoring.
    field("TXT_DPH")->setText("+999.00");
    m_tool.window->cmdSCALE_Write_Click();
    m_tool.window->CMD_LD_Click();
    m_tool.window->cmdSCALE_Read_Click();

    QStringList texts;
    for (const FakeMessageBoxes::Box& box : m_tool.messages.shown)
        texts.append(box.title + ": " + box.text);
    QCOMPARE(texts, (QStringList{"写入用户数据区: 写入用户数据区完成!",
                                 "写入工厂数据区: 写入工厂数据区完成!",
                                 "恢复工厂设定: 恢复工厂设定完成!"}));
    QCOMPARE(field("TXT_DPH")->text(), QStringLiteral("+250.00"));
}

void TestConfigure::long_texts_follow_a_move_to_every_rate_data() {
    QTest::addColumn<int>("baudIndex");
    // Ends where it began, at 9600; each move writes the ID at the rate
    // before and the model at the rate after, the read takes both at the new.
    for (const int index : {0, 1, 2, 3})
        QTest::addRow("to %d", index) << index;
}

void TestConfigure::long_texts_follow_a_move_to_every_rate() {
    QFETCH(int, baudIndex);
    const QString model = QStringLiteral("M%1-").arg(baudIndex).leftJustified(32, 'm');
    const QString id = QStringLiteral("I%1-").arg(baudIndex).leftJustified(32, 'i');
    field("TXT_ADDR")->setText("05");
    list("CMB_BAND")->setCurrentIndex(baudIndex);
    field("txtType")->setText(model);
    field("txtID")->setText(id);
    m_tool.window->COM_ADDR_Click();
    QCOMPARE(field("TXT_BAND")->text(), list("CMB_BAND")->itemText(baudIndex));
    QCOMPARE(field("txtType")->text(), model);
    QCOMPARE(field("txtID")->text(), id);

    m_tool.window->cmdReFresh_Click();
    QCOMPARE(field("TXT_TYPE")->text(), model);
    QCOMPARE(field("TXT_ID")->text(), id);
}

void TestConfigure::new_address_and_rate_are_followed_and_found_again() {
    field("TXT_ADDR")->setText("45");
    list("CMB_BAND")->setCurrentIndex(1);
    field("txtType")->setText("PT-5B");
    m_tool.window->COM_ADDR_Click();
    QCOMPARE(list("CMB_ADDR")->currentText(), QStringLiteral("45"));
    QCOMPARE(field("TXT_BAND")->text(), QStringLiteral("2400"));
    QCOMPARE(m_tool.line.port.settings(), QStringLiteral("2400,n,8,1"));
    QCOMPARE(field("txtType")->text(), QStringLiteral("PT-5B"));

    // It keeps answering at its new address and rate.
    m_tool.window->cmdReFresh_Click();
    QCOMPARE(field("TXT_TYPE")->text(), QStringLiteral("PT-5B"));
    QCOMPARE(field("TXT_ADDR")->text(), QStringLiteral("45"));

    m_tool.window->cmdSEARCH_Click();
    QCOMPARE(list("CMB_ADDR")->count(), 1);
    QCOMPARE(list("CMB_ADDR")->itemText(0), QStringLiteral("45"));
    QCOMPARE(m_tool.window->OnlineList, (QList<OnlineTransmitter>{{"45", 1}}));
}

QTEST_MAIN(TestConfigure)
#include "tst_configure.moc"
