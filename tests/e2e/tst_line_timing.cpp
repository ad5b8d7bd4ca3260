// Links with and without line timing, through the real serial layer: a
// simulator that answers at once is found only on a port marked
// lineTiming=false, an unmarked port explains why it found nothing, and on a
// timed line a stale frame never passes for the reply that follows it. The
// searches stop after the probe of address 10, which covers the bus.

#include "link/exchange.h"
#include "support/real_line.h"
#include "support/real_window.h"
#include "ui/status_panels.h"

#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace {
const QByteArray kBus = R"({"transmitters": [
    {"address": "03", "baud": 9600, "model": "PT-A"},
    {"address": "06", "baud": 9600, "model": "PT-B"}]})";

// Runs a search on the window and stops it, as a stop click would, once
// address 10 is being probed.
void searchUpToAddress10(MainWindow& window) {
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, &window, [&] {
        if (window.StatusBar1().text(1) == QStringLiteral("正在搜索变送器：10")) {
            stopper.stop();
            window.cmdSEARCH_Click();
        }
    });
    stopper.start(1);
    window.cmdSEARCH_Click();
}

QStringList listed(const RealWindow& tool) {
    QStringList out;
    auto* list = tool.control<QComboBox>("CMB_ADDR");
    for (int i = 0; i < list->count(); ++i)
        out.append(list->itemText(i));
    return out;
}
} // namespace

class TestLineTiming : public QObject {
    Q_OBJECT

private slots:
    void marked_port_finds_an_untimed_bus_and_reads_it();
    void unmarked_port_explains_finding_nothing();
    void stale_frame_before_the_reply_is_dropped();
};

void TestLineTiming::marked_port_finds_an_untimed_bus_and_reads_it() {
    RealWindow tool(kBus, {"--no-line-timing"});
    tool.line.settings.values.insert("Ports/com1.lineTiming", " False ");
    QVERIFY2(tool.start(), qPrintable(tool.line.simulator.errorString()));
    QVERIFY(!tool.line.port.hasLineTiming());
    searchUpToAddress10(*tool.window);

    QCOMPARE(listed(tool), (QStringList{"03", "06"}));
    QCOMPARE(tool.window->StatusBar1().text(1), QStringLiteral("变送器搜索完毕"));
    QCOMPARE(tool.control<QLineEdit>("TXT_TYPE")->text(), QStringLiteral("PT-A"));
    // Every field the full read fills holds a value the transmitter sent.
    for (const char* name :
         {"TXT_TYPE", "TXT_SCZ", "TXT_DPL", "TXT_SCF", "TXT_DPH", "txtType", "TXT_ID", "txtID",
          "TXT_VER", "TXT_DAL", "TXT_DAH", "TXT_DAZF", "TXT_DAFF", "TXT_PRESSURE", "txtMAX",
          "txtMIN", "TXT_TEMPERATURE", "TXT_UNIT"}) {
        const QString text = tool.control<QLineEdit>(name)->text();
        QVERIFY2(!text.isEmpty() && text != " 0" && text != " 3" && !text.startsWith('*'),
                 qPrintable(QStringLiteral("%1: '%2'").arg(name, text)));
    }
    QCOMPARE(tool.line.frames().filter("heard $03VR").size(), 2);
}

void TestLineTiming::unmarked_port_explains_finding_nothing() {
    RealWindow tool(kBus, {"--no-line-timing"});
    QVERIFY2(tool.start(), qPrintable(tool.line.simulator.errorString()));
    QVERIFY(tool.line.port.hasLineTiming());
    searchUpToAddress10(*tool.window);

    QVERIFY(listed(tool).isEmpty());
    const QString panel1 = tool.window->StatusBar1().text(1);
    QVERIFY2(panel1.contains("com1.lineTiming=false"), qPrintable(panel1));
    // The transmitters did answer, every time.
    QCOMPARE(tool.line.frames().filter(QRegularExpression("^sent \\*0(3|6)")).size(), 2);
}

void TestLineTiming::stale_frame_before_the_reply_is_dropped() {
    // At 1200 baud a reply to the model read takes about 170 ms to come; the
    // pressure reply of the exchange before, sent too late, arrives about
    // 40 ms into it.
    RealLine line(R"({"transmitters": [{"address": "01", "baud": 1200, "model": "PT-1"}]})");
    QVERIFY2(line.start(), qPrintable(line.simulator.errorString()));
    QVERIFY(line.port.setSettings("1200,N,8,1"));
    QCOMPARE(line.simulator.control("fault 01 RP0 late"), QStringLiteral("ok"));
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(Comm_Send(line.port, line.clock, "01", "RP0"), QStringLiteral("ERR 0\r"));
        ExchangeNotes notes;
        QCOMPARE(Comm_Send(line.port, line.clock, "01", "TY", &notes), QStringLiteral("*01PT-1\r"));
        QCOMPARE(notes.framesTooEarly, 1);
    }
}

QTEST_MAIN(TestLineTiming)
#include "tst_line_timing.moc"
