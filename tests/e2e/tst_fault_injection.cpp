// Hostile conditions on the simulated bus, through the real serial layer:
// what the engineer sees, and what reached the transmitter (the simulator's
// trace of every frame it heard).

#include "link/exchange.h"
#include "link/reply_value.h"
#include "support/real_window.h"
#include "ui/list_selection.h"
#include "ui/status_panels.h"
#include "ui/trim_bars.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>

#include <sys/resource.h>

namespace {
const QByteArray kBus = R"({"transmitters": [
    {"address": "01", "baud": 9600, "model": "PT-1", "unit": 4, "decimals": 2,
     "trim4mA": "+0012", "trim20mA": "-0007"},
    {"address": "02", "baud": 1200, "model": "PT-A"},
    {"address": "02", "baud": 1200, "model": "PT-B"}]})";

long peakKiB() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_maxrss;
}
} // namespace

class TestFaultInjection : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void flood_without_CR_is_bounded_and_left_behind();
    void random_bytes_are_never_taken_for_a_reply();
    void reply_in_many_small_writes_is_gathered();
    void two_transmitters_at_one_address_never_mix();
    void failed_reads_are_never_written_back();
    void hostile_text_never_reaches_the_wire_data();
    void hostile_text_never_reaches_the_wire();
    void adapter_vanishing_while_polling();

private:
    QString send(const QString& address, const QString& command) {
        return m_tool.window->Comm_Send(address, command);
    }
    QLineEdit* field(const char* name) { return m_tool.control<QLineEdit>(name); }
    // The requests heard since the mark, without checksum and CR.
    QStringList heardSinceMark() {
        QStringList out;
        for (const QString& line : m_tool.line.frames().mid(m_mark))
            if (line.startsWith("heard $"))
                out.append(line.mid(7).section(QStringLiteral("\\r"), 0, 0).chopped(2));
        return out;
    }
    void mark() { m_mark = int(m_tool.line.frames().size()); }
    void selectTransmitter01() {
        m_tool.window->listSelection().select(m_tool.control<QComboBox>("CMB_ADDR"), 0);
    }

    RealWindow m_tool{kBus};
    int m_mark = 0;
};

void TestFaultInjection::initTestCase() {
    QVERIFY2(m_tool.start(), qPrintable(m_tool.line.simulator.errorString()));
    m_tool.window->UnitNames = {"kPa", "MPa", "mH2O", "Bar", "Psi", "mBar", "Unknown"};
    m_tool.window->OnlineList = {{"01", 3}, {"02", 0}};
    auto* list = m_tool.control<QComboBox>("CMB_ADDR");
    list->addItems({"01", "02"});
    list->setCurrentIndex(-1);
    selectTransmitter01();
    QCOMPARE(field("TXT_TYPE")->text(), QStringLiteral("PT-1"));
    m_tool.window->show();
    m_tool.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_tool.window.get()));
}

void TestFaultInjection::init() {
    QCOMPARE(m_tool.line.simulator.control("clear-faults"), QStringLiteral("ok"));
    m_tool.messages.shown.clear();
    QTest::qWait(150); // anything still on its way arrives before the test
    mark();
}

void TestFaultInjection::flood_without_CR_is_bounded_and_left_behind() {
    const long before = peakKiB();
    QCOMPARE(m_tool.line.simulator.control("flood 1048576"), QStringLiteral("ok"));
    // While the megabyte drains, every exchange fails or gets its own reply;
    // what is left of the flood, or of replies held up behind it, never
    // passes for anything else. Then the line is as good as before.
    const QStringList allowed{"EER 3\r", "ERR 0\r", "*01PT-1\r"};
    QElapsedTimer patience;
    patience.start();
    int goodInARow = 0;
    while (goodInARow < 3 && patience.elapsed() < 20000) {
        const QString reply = send("01", "TY");
        QVERIFY2(allowed.contains(reply), qPrintable(reply));
        goodInARow = reply == allowed.last() ? goodInARow + 1 : 0;
    }
    QCOMPARE(goodInARow, 3);
    // Far less than the megabyte was ever held at once.
    QVERIFY2(peakKiB() - before < 8 * 1024, qPrintable(QString::number(peakKiB() - before)));
}

void TestFaultInjection::random_bytes_are_never_taken_for_a_reply() {
    QRandomGenerator random(20261207);
    for (int round = 0; round < 10; ++round) {
        QString junk;
        for (int i = 0; i < 40; ++i)
            junk += QStringLiteral("\\x%1").arg(random.bounded(256), 2, 16, QLatin1Char('0'));
        QCOMPARE(m_tool.line.simulator.control("send " + junk), QStringLiteral("ok"));
        // The junk waits in the buffer and is dropped before the request.
        QCOMPARE(send("01", "TY"), QStringLiteral("*01PT-1\r"));
    }
}

void TestFaultInjection::reply_in_many_small_writes_is_gathered() {
    QCOMPARE(m_tool.line.simulator.control("fault 01 TY split"), QStringLiteral("ok"));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(send("01", "TY"), QStringLiteral("*01PT-1\r"));
    QVERIFY(m_tool.line.frames().mid(m_mark).filter("fault split (first byte)").size() >= 5);
}

void TestFaultInjection::two_transmitters_at_one_address_never_mix() {
    // Both answer; the tool sees one reply, the pair run together, or the
    // second arriving late. It never takes the leftover of one exchange for
    // the reply of the next. At 1200 baud a leftover stays too early for the
    // next reply even when a loaded machine holds the simulator up a while.
    QVERIFY(m_tool.line.port.setSettings(QStringLiteral("1200,N,8,1")));
    for (int i = 0; i < 10; ++i) {
        const QString model = send("02", "TY");
        QVERIFY2(model == "*02PT-A\r" || model == "*02PT-B\r" || model == "EER 3\r",
                 qPrintable(model));
        const QString version = send("02", "VR");
        QVERIFY2(version.startsWith("*02V") || version == "EER 3\r", qPrintable(version));
    }
    QVERIFY(m_tool.line.port.setSettings(QStringLiteral("9600,N,8,1")));
}

void TestFaultInjection::failed_reads_are_never_written_back() {
    auto* control = &m_tool.line.simulator;
    QCOMPARE(control->control("fault 01 UT silent"), QStringLiteral("ok"));
    QCOMPARE(control->control("fault 01 DP bad-checksum"), QStringLiteral("ok"));
    QCOMPARE(control->control("fault 01 ZF silent"), QStringLiteral("ok"));
    QCOMPARE(control->control("fault 01 FF bad-checksum"), QStringLiteral("ok"));
    QCOMPARE(control->control("fault 01 RP0 empty-data"), QStringLiteral("ok"));
    QVERIFY(trimPosition(m_tool.control<QScrollBar>("VScroll1")) != 0);

    m_tool.window->cmdReFresh_Click();
    QCOMPARE(field("TXT_UNIT")->text(), QStringLiteral(" 0"));
    QCOMPARE(field("TXT_DAZF")->text(), QStringLiteral(" 0"));
    QCOMPARE(field("TXT_DAFF")->text(), QStringLiteral(" 3"));
    QCOMPARE(field("txtMAX")->text(), QStringLiteral("-9999"));
    QCOMPARE(field("txtMIN")->text(), QStringLiteral("+9999"));
    QCOMPARE(control->control("clear-faults"), QStringLiteral("ok"));

    // The engineer now writes what the window shows.
    m_tool.window->cmdSCALE_Write_Click();
    m_tool.window->cmdDA_Write_Click();
    m_tool.window->cmdReset_Click();

    const QStringList heard = heardSinceMark();
    // The read itself wrote nothing back ...
    QCOMPARE(heard.mid(0, 14),
             (QStringList{"01TY", "01DL", "01DH", "01UT", "01TY", "01ID", "01VR", "01DP", "01OL",
                          "01OH", "01ZF", "01FF", "01RP0", "01RT0"}));
    // ... the range write sent the unit and decimals known before, not the
    // 0 or 3 of a lost reply ...
    QCOMPARE(heard.mid(14, 2), (QStringList{"01UT4", "01DP2"}));
    // ... and the output write was refused for its lost trims.
    QCOMPARE(heard.size(), 18);
    QVERIFY(m_tool.messages.shown.last().text.contains(QStringLiteral("4mA微调")));
    QCOMPARE(field("txtMAX")->text(), QStringLiteral("-9999"));
}

void TestFaultInjection::hostile_text_never_reaches_the_wire_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    // Text of every kind an engineer's slip or a paste can leave in a field;
    // the number-like ones are hostile only where a number belongs.
    const QList<QPair<QString, QString>> anyField{{"empty", ""},
                                                  {"spaces", "   "},
                                                  {"200 characters", QString(200, 'A')},
                                                  {"200 digits", QString(200, '7')},
                                                  {"non-ASCII", "压力"},
                                                  {"control", "1\t2"}};
    const QList<QPair<QString, QString>> numbersOnly{
        {"beyond single", "1e39"}, {"nan", "nan"}, {"infinite", "-inf"}};
    for (const char* name : {"TXT_DPL", "TXT_DPH", "TXT_DAL", "TXT_DAH", "TXT_ADDR", "txtType",
                             "txtID", "txtInsSend"}) {
        const bool numeric = QByteArray(name).startsWith("TXT_");
        for (const auto& [what, text] : anyField + (numeric ? numbersOnly : decltype(anyField){}))
            QTest::addRow("%s %s", name, qPrintable(what)) << name << text;
    }
    QTest::newRow("TXT_DPL -0") << "TXT_DPL"
                                << "-0";
}

void TestFaultInjection::hostile_text_never_reaches_the_wire() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QLineEdit* box = m_tool.control<QLineEdit>(field.toLatin1().constData());
    const QString original = box->text();
    m_tool.control<QLineEdit>("txtPass")->setText("wolmask");

    // Typed in, then the button that sends it, pressed with the mouse: the
    // field is left first, as an engineer's click leaves it.
    QCOMPARE(QApplication::activeWindow(), m_tool.window.get());
    box->setFocus();
    box->setText(text);
    const char* button = field.startsWith("TXT_DP")   ? "cmdSCALE_Write"
                         : field.startsWith("TXT_DA") ? "cmdDA_Write"
                         : field == "txtInsSend"      ? "Cmd_INS"
                                                      : "COM_ADDR";
    QTest::mouseClick(m_tool.control<QPushButton>(button), Qt::LeftButton);

    const QStringList heard = heardSinceMark();
    const QString after = box->text();
    if (!text.isEmpty())
        for (const QString& request : heard)
            QVERIFY2(!request.contains(text), qPrintable(request));
    if (text == "-0") {
        QCOMPARE(QApplication::focusWidget(), m_tool.control("cmdSCALE_Write"));
        // A number: reformatted, and only the formatted text went out.
        QCOMPARE(after, QStringLiteral("+00.00"));
        QVERIFY(heard.contains("01DL+00.00"));
    } else if (heard.isEmpty()) {
        // Refused: a message, or the text left where it stood.
        QVERIFY(!m_tool.messages.shown.isEmpty() || after == text);
    }
    box->setText(original);
    QVERIFY2(!m_tool.control<QComboBox>("Cmb_DP")->currentText().isEmpty(), "no pattern");
    QTest::mouseClick(m_tool.control<QLineEdit>("TXT_TYPE"), Qt::LeftButton);
}

void TestFaultInjection::adapter_vanishing_while_polling() {
    m_tool.window->cmdON_OFF_Click();
    QTest::qWait(600);
    QCOMPARE(m_tool.line.simulator.control("unplug"), QStringLiteral("ok"));
    QTest::qWait(800);

    // No crash; the failures show, and the port is found closed.
    QCOMPARE(field("TXT_PRESSURE")->text(), QStringLiteral(" 0"));
    QCOMPARE(field("TXT_TEMPERATURE")->text(), QStringLiteral(" 0"));
    QVERIFY(!m_tool.line.port.isOpen());
    // Panel 1 says why, naming the device.
    QCOMPARE(m_tool.window->StatusBar1().text(1),
             QStringLiteral("串口已断开：") + m_tool.line.simulator.devicePath());
    m_tool.window->cmdON_OFF_Click();

    // Back in place, the port is chosen again and works.
    QCOMPARE(m_tool.line.simulator.control("replug"), QStringLiteral("ok"));
    auto* ports = m_tool.control<QComboBox>("cmbCommPort");
    emit ports->activated(ports->currentIndex());
    QVERIFY(m_tool.line.port.isOpen());
    m_tool.window->cmdReFresh_Click();
    QCOMPARE(field("TXT_TYPE")->text(), QStringLiteral("PT-1"));
    QVERIFY(hasNumber(field("TXT_PRESSURE")->text()));
}

QTEST_MAIN(TestFaultInjection)
#include "tst_fault_injection.moc"
