// Selecting a transmitter and the full read, against one transmitter on a
// fake port.

#include "link/frame.h"
#include "support/fake_bus.h"
#include "support/test_window.h"
#include "ui/list_selection.h"
#include "ui/status_panels.h"
#include "ui/trim_bars.h"

#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

namespace {
const QStringList kReadOrder{"TY", "DL", "DH", "UT", "TY", "ID",  "VR",
                             "DP", "OL", "OH", "ZF", "FF", "RP0", "RT0"};

// One transmitter at 01, listed as if a search had found it at baud.
struct ReadFixture {
    TestWindow t;
    FakeBus bus{t.port};
    FakeTransmitter* transmitter = nullptr;

    explicit ReadFixture(int baud = 9600) {
        t.settings.values.insert("Transmitter/CommPort", "1");
        t.create();
        transmitter = &bus.add("01", baud);
        fillTypicalValues(*transmitter);
        static const QList<int> kBauds{1200, 2400, 4800, 9600};
        t.window->OnlineList = {{"01", qint16(kBauds.indexOf(baud))}};
        t.window->UnitNames = {"kPa", "MPa", "mH2O", "Bar", "Psi", "mBar", "Unknown"};
        t.control<QComboBox>("CMB_ADDR")->addItem("01");
        t.control<QComboBox>("CMB_ADDR")->setCurrentIndex(-1);
    }
    void select() { t.window->listSelection().select(t.control<QComboBox>("CMB_ADDR"), 0); }
    QString text(const char* name) const { return t.control<QLineEdit>(name)->text(); }
    int index(const char* name) const { return t.control<QComboBox>(name)->currentIndex(); }
    QStringList commands() const { return bus.commandsTo("01"); }
};

// Every field the full read fills, with what it shows.
QMap<QString, QString> fieldTexts(const ReadFixture& f) {
    QMap<QString, QString> out;
    for (const char* name :
         {"TXT_TYPE", "TXT_SCZ", "TXT_DPL", "TXT_SCF", "TXT_DPH", "txtType", "TXT_ID", "txtID",
          "TXT_VER", "TXT_DAL", "TXT_DAH", "TXT_DAZF", "TXT_DAFF", "TXT_PRESSURE", "txtMAX",
          "txtMIN", "TXT_TEMPERATURE", "TXT_UNIT"})
        out.insert(name, f.text(name));
    return out;
}
} // namespace

class TestFullRead : public QObject {
    Q_OBJECT

private slots:
    void selection_sets_the_rate_before_sending();
    void fourteen_exchanges_fill_every_field();
    void unit_and_decimals_select_their_lists_data();
    void unit_and_decimals_select_their_lists();
    void silent_transmitter_never_moves_the_lists_or_trims_data();
    void silent_transmitter_never_moves_the_lists_or_trims();
    void valid_reply_without_a_value();
    void trim_is_written_back_once_when_it_moves_data();
    void trim_is_written_back_once_when_it_moves();
    void refresh_repeats_the_full_read();
    void nothing_selected_sends_nothing();
};

void TestFullRead::selection_sets_the_rate_before_sending() {
    ReadFixture f(1200);
    f.select();
    QCOMPARE(f.t.control<QComboBox>("CMB_BAND")->currentText(), QStringLiteral("1200"));
    QCOMPARE(f.text("TXT_BAND"), QStringLiteral("1200"));
    QCOMPARE(f.text("TXT_ADDR"), QStringLiteral("01"));
    for (const FakeBus::Heard& h : f.bus.heard)
        QCOMPARE(h.settings, QStringLiteral("1200,n,8,1"));
    QCOMPARE(f.commands(), kReadOrder);
}

void TestFullRead::fourteen_exchanges_fill_every_field() {
    ReadFixture f;
    f.transmitter->values.insert("DL", "-10.00");
    f.transmitter->values.insert("ZF", "+0000.4"); // rounds to the bar's own 0
    f.select();

    QCOMPARE(f.commands(), kReadOrder);
    QCOMPARE(f.t.port.written.first(), QByteArray("$01TY0C\r"));
    const QMap<QString, QString> expected{
        {"TXT_TYPE", "PT-200"}, {"TXT_SCZ", "-10.00"},        {"TXT_DPL", "-10.00"},
        {"TXT_SCF", "+100.0"},  {"TXT_DPH", "+100.0"},        {"txtType", "PT-200"},
        {"TXT_ID", "SN4711"},   {"txtID", "SN4711"},          {"TXT_VER", "V1.34"},
        {"TXT_DAL", "+000.0"},  {"TXT_DAH", "+100.0"},        {"TXT_DAZF", "+0000.4"},
        {"TXT_DAFF", "+0000"},  {"TXT_PRESSURE", "+012.3"},   {"txtMAX", "+012.3"},
        {"txtMIN", "+012.3"},   {"TXT_TEMPERATURE", "+21.5"}, {"TXT_UNIT", "kPa"}};
    QCOMPARE(fieldTexts(f), expected);
    QCOMPARE(f.index("cmbUnit"), 0);
    QCOMPARE(f.index("Cmb_DP"), 1);
}

void TestFullRead::unit_and_decimals_select_their_lists_data() {
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("decimals");
    QTest::addColumn<int>("unitIndex");
    QTest::addColumn<QString>("unitShown");
    QTest::addColumn<int>("decimalsIndex");
    QTest::newRow("Bar, 00.00") << "3"
                                << "2" << 3 << "Bar" << 2;
    QTest::newRow("MPa beside Mpa") << "1"
                                    << "0" << 1 << "MPa" << 0;
    QTest::newRow("leading zero") << "06"
                                  << "02" << 6 << "Unknown" << 2;
    QTest::newRow("half to even") << "2.5"
                                  << "3.5" << 2 << "mH2O" << 4;
    // Codes outside the lists leave them as they were; the unit box shows
    // what came.
    QTest::newRow("out of range") << "7"
                                  << "5" << -1 << "7" << -1;
    QTest::newRow("negative") << "-1"
                              << "-1" << -1 << "-1" << -1;
    QTest::newRow("beyond 16 bits") << "70000"
                                    << "99999999999" << -1 << "70000" << -1;
    QTest::newRow("no number") << "XY"
                               << "ab" << -1 << "XY" << -1;
}

void TestFullRead::unit_and_decimals_select_their_lists() {
    QFETCH(QString, unit);
    QFETCH(QString, decimals);
    QFETCH(int, unitIndex);
    QFETCH(QString, unitShown);
    QFETCH(int, decimalsIndex);
    ReadFixture f;
    f.transmitter->values.insert("UT", unit);
    f.transmitter->values.insert("DP", decimals);
    f.select();
    QCOMPARE(f.index("cmbUnit"), unitIndex);
    QCOMPARE(f.text("TXT_UNIT"), unitShown);
    QCOMPARE(f.index("Cmb_DP"), decimalsIndex);
    QCOMPARE(f.commands(), kReadOrder);
}

void TestFullRead::silent_transmitter_never_moves_the_lists_or_trims_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    QTest::newRow("no reply") << QByteArray() << " 0";
    QTest::newRow("bad checksum") << QByteArray("*01399\r") << " 3";
}

void TestFullRead::silent_transmitter_never_moves_the_lists_or_trims() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    ReadFixture f;
    // A first read that worked, then the transmitter fails every exchange.
    f.transmitter->values.insert("UT", "4");
    f.transmitter->values.insert("DP", "2");
    f.transmitter->values.insert("ZF", "+0012");
    f.transmitter->values.insert("FF", "-0007");
    f.select();
    QCOMPARE(trimPosition(f.t.control<QScrollBar>("VScroll1")), 12);
    f.bus.heard.clear();
    for (const QString& c : kReadOrder) {
        if (reply.isEmpty())
            f.transmitter->silent.insert(c);
        else
            f.transmitter->rawReply.insert(c, reply);
    }

    f.t.window->cmdReFresh_Click();

    QMap<QString, QString> expected;
    for (const QString& name : fieldTexts(f).keys())
        expected.insert(name, shown);
    // Lost readings never become extremes.
    expected.insert("txtMAX", "-9999");
    expected.insert("txtMIN", "+9999");
    QCOMPARE(fieldTexts(f), expected);
    QCOMPARE(f.index("cmbUnit"), 4);
    QCOMPARE(f.index("Cmb_DP"), 2);
    QCOMPARE(trimPosition(f.t.control<QScrollBar>("VScroll1")), 12);
    QCOMPARE(trimPosition(f.t.control<QScrollBar>("VScroll2")), -7);
    // Nothing of it went back to the transmitter.
    QCOMPARE(f.commands(), kReadOrder);
}

void TestFullRead::valid_reply_without_a_value() {
    ReadFixture f;
    f.transmitter->values.insert("UT", "5");
    f.transmitter->values.insert("DP", "3");
    f.select();
    const QByteArray empty = frame::reply("01");
    for (const QString& c : kReadOrder)
        f.transmitter->rawReply.insert(c, empty);
    f.bus.heard.clear();

    f.t.window->cmdReFresh_Click();

    // Plain cuts empty, guarded cuts keep the whole reply.
    for (const char* name : {"TXT_TYPE", "TXT_SCZ", "TXT_DPL", "TXT_SCF", "TXT_DPH", "txtType",
                             "TXT_ID", "txtID", "TXT_VER"})
        QCOMPARE(f.text(name), QString());
    for (const char* name :
         {"TXT_DAL", "TXT_DAH", "TXT_DAZF", "TXT_DAFF", "TXT_PRESSURE", "TXT_TEMPERATURE"})
        QCOMPARE(f.text(name), QStringLiteral("*01\r"));
    QCOMPARE(f.index("cmbUnit"), 5);
    QCOMPARE(f.index("Cmb_DP"), 3);
    QCOMPARE(f.text("txtMAX"), QStringLiteral("-9999"));
    QCOMPARE(f.commands(), kReadOrder);
}

void TestFullRead::trim_is_written_back_once_when_it_moves_data() {
    QTest::addColumn<QString>("trim");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("written");
    // An earlier step of the read that fails, and how: no reply when the
    // reply is empty.
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QByteArray>("failingReply");
    QTest::newRow("half down to even") << "+0012.5" << 12 << "ZF+0012"
                                       << "" << QByteArray();
    QTest::newRow("half up to even") << "+0013.5" << 14 << "ZF+0014"
                                     << "" << QByteArray();
    QTest::newRow("negative") << "-0007" << -7 << "ZF-0007"
                              << "" << QByteArray();
    QTest::newRow("top") << "+5000" << 5000 << "ZF+5000"
                         << "" << QByteArray();
    QTest::newRow("bottom") << "-5000" << -5000 << "ZF-5000"
                            << "" << QByteArray();
    QTest::newRow("same as the bar") << "+0000" << 0 << ""
                                     << "" << QByteArray();
    QTest::newRow("beyond the bar") << "+5001" << 0 << ""
                                    << "" << QByteArray();
    QTest::newRow("beyond 16 bits") << "+99999" << 0 << ""
                                    << "" << QByteArray();
    QTest::newRow("not a number") << "ABC" << 0 << ""
                                  << "" << QByteArray();
    // After a failed step a late reply may still be about: both trims are
    // shown as read, and neither bar moves nor writes.
    QTest::newRow("after a silent UT") << "+0012" << 0 << ""
                                       << "UT" << QByteArray();
    QTest::newRow("after a bad checksum on DP") << "+0012" << 0 << ""
                                                << "DP" << QByteArray("*01399\r");
}

void TestFullRead::trim_is_written_back_once_when_it_moves() {
    QFETCH(QString, trim);
    QFETCH(int, position);
    QFETCH(QString, written);
    QFETCH(QString, failing);
    QFETCH(QByteArray, failingReply);
    ReadFixture f;
    f.transmitter->values.insert("ZF", trim);
    if (!failing.isEmpty()) {
        f.transmitter->values.insert("FF", "-0007");
        if (failingReply.isEmpty())
            f.transmitter->silent.insert(failing);
        else
            f.transmitter->rawReply.insert(failing, failingReply);
    }
    f.select();

    QCOMPARE(trimPosition(f.t.control<QScrollBar>("VScroll1")), position);
    if (!failing.isEmpty()) {
        QCOMPARE(trimPosition(f.t.control<QScrollBar>("VScroll2")), 0);
        QCOMPARE(f.text("TXT_DAFF"), QStringLiteral("-0007"));
    }
    QStringList expected = kReadOrder;
    if (!written.isEmpty())
        expected.insert(kReadOrder.indexOf("ZF") + 1, written);
    QCOMPARE(f.commands(), expected);
    // The field shows the write's reply value, or the value read.
    QCOMPARE(f.text("TXT_DAZF"), written.isEmpty() ? trim : written.mid(2));
}

void TestFullRead::refresh_repeats_the_full_read() {
    ReadFixture f;
    f.select();
    f.transmitter->values.insert("TY", "PT-300");
    f.t.window->cmdReFresh_Click();
    QCOMPARE(f.commands(), kReadOrder + kReadOrder);
    QCOMPARE(f.text("TXT_TYPE"), QStringLiteral("PT-300"));
}

void TestFullRead::nothing_selected_sends_nothing() {
    ReadFixture f;
    f.t.window->cmdReFresh_Click();
    f.t.window->CMB_ADDR_Click();
    QVERIFY(f.t.port.written.isEmpty());
    QVERIFY(f.t.window->StatusBar1().text(1).contains(QStringLiteral("搜索")));
    QCOMPARE(f.text("TXT_TYPE"), QStringLiteral("TYPE"));

    // A list entry that no search record backs is treated the same.
    f.t.window->OnlineList.clear();
    f.select();
    QVERIFY(f.t.port.written.isEmpty());
}

QTEST_MAIN(TestFullRead)
#include "tst_full_read.moc"
