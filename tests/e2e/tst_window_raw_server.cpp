// The window on a bus behind a raw serial device server: port com1 mapped to
// ser2net's plain TCP accepter, whose line is fixed at 4800 baud, in front of
// the simulator's default bus (01 at 9600, 07 at 4800, 12 at 1200). The
// search walks 4800 alone and finds 07 only, and a rate the line cannot run
// at is refused in the window before anything goes out. The search takes its
// real time: 99 time-outs at 4800 plus the link's latency, some fifteen
// seconds.

#include "support/window_on_server.h"
#include "ui/status_panels.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
const QString kFixed = QStringLiteral("该端口的波特率固定为 4800，");

// Every frame the simulator heard, as "<baud> <frame>".
QStringList heardFrames(const QStringList& trace) {
    static const QRegularExpression heard(QStringLiteral("^\\d+ (\\d+) heard (.*?)( --.*)?$"));
    QStringList frames;
    for (const QString& line : trace)
        if (const QRegularExpressionMatch m = heard.match(line); m.hasMatch())
            frames.append(m.captured(1) + QLatin1Char(' ') + m.captured(2));
    return frames;
}
} // namespace

class TestWindowRawServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void search_walks_the_fixed_rate_alone();
    void another_rate_is_refused_before_anything_goes_out();

private:
    template <typename T> T* control(const char* name) const {
        return m_w.window->findChild<T*>(QLatin1String(name));
    }

    WindowOnServer m_w;
};

void TestWindowRawServer::initTestCase() {
    const QString program = ser2netPath();
    if (program.isEmpty())
        QSKIP("ser2net is not installed (scripts/install-deps.sh installs it)");
    const QString problem = m_w.start(program, {}, 4800);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(m_w.port.fixedBaud(), 4800);
    QCOMPARE(control<QComboBox>("CMB_BAND")->currentText(), QStringLiteral("4800"));
    m_w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_w.window.get()));
}

void TestWindowRawServer::search_walks_the_fixed_rate_alone() {
    // Read at the search's first check, before the first probe's panels.
    QString panel1AtStart;
    QTimer::singleShot(0, m_w.window.get(),
                       [&] { panel1AtStart = m_w.window->StatusBar1().text(1); });
    m_w.window->cmdSEARCH_Click();

    QCOMPARE(panel1AtStart, kFixed + QStringLiteral("只搜索此波特率"));
    auto* list = control<QComboBox>("CMB_ADDR");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->itemText(0), QStringLiteral("07"));
    QCOMPARE(m_w.window->OnlineList, (QList<OnlineTransmitter>{{"07", 2}}));
    QCOMPARE(m_w.window->StatusBar1().text(1), QStringLiteral("变送器搜索完毕"));
    // Read in full at the line's one rate.
    QCOMPARE(control<QLineEdit>("TXT_TYPE")->text(), QStringLiteral("PDS305G"));
    QCOMPARE(control<QLineEdit>("TXT_ID")->text(), QStringLiteral("B2211037"));
    QCOMPARE(control<QLineEdit>("TXT_BAND")->text(), QStringLiteral("4800"));

    const QStringList heard = heardFrames(m_w.simulator->traceLines());
    static const QRegularExpression probe(QStringLiteral("^\\d+ \\$\\d\\dAD[0-9A-F]{2}\\\\r$"));
    QCOMPARE(heard.filter(probe).size(), 99);
    for (const QString& frame : heard)
        QVERIFY2(frame.startsWith(QLatin1String("4800 ")), qPrintable(frame));
}

void TestWindowRawServer::another_rate_is_refused_before_anything_goes_out() {
    const qsizetype before = m_w.simulator->traceLines().size();
    const qsizetype boxesBefore = m_w.messages.shown.size();
    auto* rates = control<QComboBox>("CMB_BAND");

    // The engineer opens the rate list and clicks 9600.
    rates->showPopup();
    QAbstractItemView* view = rates->view();
    QTRY_VERIFY(view->isVisible());
    const QRect item = view->visualRect(view->model()->index(3, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(view->viewport()->width() / 2, item.center().y()));
    QTRY_COMPARE(m_w.messages.shown.size(), boxesBefore + 1);
    QCOMPARE(m_w.messages.shown.last().text, kFixed + QStringLiteral("不能改为 9600"));
    QCOMPARE(m_w.messages.shown.last().title, QStringLiteral("错误"));
    QCOMPARE(m_w.messages.shown.last().icon, MessageBoxes::Icon::Exclamation);
    QCOMPARE(rates->currentText(), QStringLiteral("4800"));

    // The list set from code to another rate, then the write: refused too.
    rates->setCurrentIndex(0);
    m_w.window->COM_ADDR_Click();
    QCOMPARE(m_w.messages.shown.size(), boxesBefore + 2);
    QCOMPARE(m_w.messages.shown.last().text, kFixed + QStringLiteral("不能改为 1200"));
    QCOMPARE(rates->currentText(), QStringLiteral("4800"));

    // A frame on its way would have reached the simulator by now.
    QTest::qWait(500);
    QCOMPARE(m_w.simulator->traceLines().size(), before);

    // 07 still answers where it was.
    m_w.window->cmdReFresh_Click();
    QCOMPARE(control<QLineEdit>("TXT_TYPE")->text(), QStringLiteral("PDS305G"));
}

QTEST_MAIN(TestWindowRawServer)
#include "tst_window_raw_server.moc"
