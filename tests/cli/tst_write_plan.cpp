// Planning the writes of set, apply and move: what goes out, in what order and
// form, and what is refused before anything goes out.

#include "cli/apply_plan.h"
#include "cli/arguments.h"
#include "cli/move_plan.h"
#include "cli/reply_words.h"
#include "cli/transmitter_read.h"
#include "cli/write_plan.h"
#include "cli/write_read_back.h"
#include "connection/transmitter_connection.h"
#include "protocol/bus_search.h"
#include "protocol/number_format.h"

#include <QTest>

namespace {
// The commands of a plan, or "refused: " + the message.
QStringList outcome(const std::variant<WritePlan, Refusal>& plan) {
    if (const Refusal* r = std::get_if<Refusal>(&plan))
        return {QStringLiteral("refused: ") + r->message};
    QStringList commands;
    for (const PlannedWrite& w : std::get<WritePlan>(plan).writes)
        commands.append(w.command);
    return commands;
}

const QByteArray kRead = R"({"address": "07", "baud": 4800, "model": "PT-A", "id": "SN7",
    "version": "V1", "unit": {"code": 3, "name": "Bar"}, "decimals": 2,
    "rangeLow": "+000.00", "rangeHigh": "100", "outputLow": null, "outputHigh": "+250.00",
    "trim4mA": "+0012", "trim20mA": "-0007", "pressure": "+1.00", "temperature": "+23.5",
    "errors": []})";
} // namespace

class TestWritePlan : public QObject {
    Q_OBJECT

private slots:
    void set_data();
    void set();
    void apply_data();
    void apply();
    void read_back_comparison();
    void write_read_back_data();
    void write_read_back();
    void move_and_core_rules();
    void argument_lists();
};

void TestWritePlan::set_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("transmitterDecimals"); // -1: not read
    QTest::addColumn<QStringList>("expected");    // commands, or one "refused: ..." prefix

    QTest::newRow("window order, whatever the order given")
        << QStringList{"model=PT-9", "trim20mA=-7", "rangeHigh=250", "unit=Bar",
                       "id=SN 1",    "outputLow=0", "decimals=1",    "trim4mA=12"}
        << -1 << QStringList{"UT3",     "DP1",     "DH+250.0", "OL+000.0",
                             "ZF+0012", "FF-0007", "IDSN 1",   "TYPT-9"};
    QTest::newRow("pressures with the transmitter's decimals")
        << QStringList{"rangeLow=-3.2", "outputHigh=0.5"} << 4
        << QStringList{"DL-3.2000", "OH+.5000"};
    QTest::newRow("decimals given win over the transmitter's")
        << QStringList{"rangeLow=12.345", "decimals=0"} << 4 << QStringList{"DP0", "DL+0012."};
    QTest::newRow("halves rounded away from zero, as typed")
        << QStringList{"rangeLow=-0.125", "rangeHigh=12.345", "outputHigh=99.995"} << 2
        << QStringList{"DL-00.13", "DH+12.35", "OH+100.00"};
    QTest::newRow("unit by code and by name, any case")
        << QStringList{"unit=mpa"} << -1 << QStringList{"UT1"};
    QTest::newRow("trim limits") << QStringList{"trim4mA=-5000", "trim20mA=+5000"} << -1
                                 << QStringList{"ZF-5000", "FF+5000"};

    const auto refused = [](const char* name, QStringList args, const char* message,
                            int decimals = 2) {
        QTest::newRow(name) << args << decimals
                            << QStringList{QStringLiteral("refused: ") + message};
    };
    refused("fractional trim", {"trim4mA=12.5"}, "trim4mA: \"12.5\" is no trim");
    refused("trim beyond 5000", {"trim20mA=5001"}, "trim20mA: \"5001\" is no trim");
    refused("unknown key", {"span=3"}, "\"span\" is no key");
    refused("key twice", {"unit=1", "unit=2"}, "unit is given twice");
    refused("no equals sign", {"unit"}, "\"unit\" is no KEY=VALUE");
    refused("not a number", {"rangeLow=12abc"}, "rangeLow: \"12abc\" is not a number");
    refused("empty number", {"outputHigh="}, "outputHigh: \"\" is not a number");
    refused("beyond single precision", {"rangeHigh=1e39"},
            "rangeHigh: \"1e39\" is too large a number");
    refused("more digits than single precision holds", {"rangeHigh=16777217"},
            "rangeHigh: \"16777217\" would go out as \"+16777216.00\"");
    refused("unit out of range", {"unit=7"}, "unit: \"7\" is no unit");
    refused("decimals out of range", {"decimals=5"}, "decimals: \"5\" is no number of decimals");
    refused("non-ASCII text", {"id=SN\u00e9"}, "id: \"SN\u00e9\" holds characters other than");
    refused("blank text", {"model=   "}, "model: \"   \" holds only blanks");
    refused("empty text only reads", {"model="}, "model: \"\" is empty");
    refused("text too long", {"id=" + QString(33, 'x')}, "id: \"xxxx");
    refused("pressure without decimals", {"rangeLow=1"},
            "rangeLow: the number of decimals is not known", -1);
    refused("a bad value after good ones", {"unit=1", "decimals=2", "rangeLow=x"},
            "rangeLow: \"x\"");
}

void TestWritePlan::set() {
    QFETCH(QStringList, args);
    QFETCH(int, transmitterDecimals);
    QFETCH(QStringList, expected);
    const QStringList got = outcome(planSet(
        args, transmitterDecimals < 0 ? std::nullopt : std::optional<int>(transmitterDecimals)));
    if (expected.size() == 1 && expected.first().startsWith(QLatin1String("refused: ")))
        QVERIFY2(got.size() == 1 && got.first().startsWith(expected.first()),
                 qPrintable(got.join(QLatin1Char('|'))));
    else
        QCOMPARE(got, expected);
}

void TestWritePlan::apply_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("withTrims");
    QTest::addColumn<bool>("withTexts");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("entry"); // --address of an inventory list

    QTest::newRow("range and output only; null skipped")
        << kRead << false << false
        << QStringList{"UT3", "DP2", "DL+00.00", "DH+100.00", "OH+250.00"} << QString();
    QTest::newRow("with trims and texts")
        << kRead << true << true
        << QStringList{"UT3",     "DP2",     "DL+00.00", "DH+100.00", "OH+250.00",
                       "ZF+0012", "FF-0007", "IDSN7",    "TYPT-A"}
        << QString();
    QByteArray noDecimals = kRead;
    noDecimals.replace("\"decimals\": 2", "\"decimals\": null");
    QTest::newRow("no decimals in the document: the transmitter's, when they are the same")
        << QByteArray(noDecimals)
               .replace("\"100\"", "\"+100.0\"")
               .replace("+000.00", "+000.0")
               .replace("+250.00", "+250.0")
        << false << false << QStringList{"UT3", "DL+000.0", "DH+100.0", "OH+250.0"} << QString();
    QByteArray withNumbers = kRead;
    withNumbers.replace("\"rangeHigh\": \"100\"",
                        "\"rangeHigh\": \"100\", \"rangeHighValue\": 100");
    QTest::newRow("a number beside its text that agrees")
        << withNumbers << false << false
        << QStringList{"UT3", "DP2", "DL+00.00", "DH+100.00", "OH+250.00"} << QString();
    QTest::newRow("an entry of an inventory list")
        << "[{\"address\": \"12\"}, " + kRead + "]" << false << false
        << QStringList{"UT3", "DP2", "DL+00.00", "DH+100.00", "OH+250.00"} << "07";
    const auto refused = [](const char* name, QByteArray document, const char* message,
                            const QString& entry = {}) {
        QTest::newRow(name) << document << true << true
                            << QStringList{QStringLiteral("refused: ") + message} << entry;
    };
    refused("not JSON, saying where", "{\"unit\": 3,,}", "the document is no JSON: ");
    refused("a bare string", "\"hello\"",
            "the document is a JSON string, not an object as read --json writes it");
    QByteArray edited = withNumbers;
    edited.replace("\"rangeHighValue\": 100", "\"rangeHighValue\": 99");
    refused("a number edited beside its text", edited,
            "rangeHighValue: 99 disagrees with rangeHigh \"100\"");
    refused("a list without --address", "[]", "the document is a list (inventory --json)");
    refused("a list without the entry", "[]", "the list holds no entry for address 07", "07");
    QByteArray typo = kRead;
    typo.replace("\"rangeHigh\"", "\"rangHigh\"");
    refused("a key read never writes", typo, "\"rangHigh\" is no key read --json writes");
    QByteArray unitNames = kRead;
    unitNames.replace("\"name\": \"Bar\"", "\"name\": \"kPa\"");
    refused("a unit whose code and name disagree", unitNames, "unit: code 3 is Bar, not \"kPa\"");
    refused("pressures at other decimals than the transmitter's, without the document's",
            noDecimals, "rangeLow: the document holds \"+000.00\"");
    refused("an inventory-like object", R"({"address": "07", "baud": 4800})",
            "the document has no \"unit\"");
    QByteArray unitText = kRead;
    unitText.replace("{\"code\": 3, \"name\": \"Bar\"}", "\"Bar\"");
    refused("unit not as read writes it", unitText, "unit: the document's value");
    QByteArray badTrim = kRead;
    badTrim.replace("\"+0012\"", "\"+12.5\"");
    refused("a trim set would refuse", badTrim, "trim4mA: \"+12.5\" is no trim");
}

void TestWritePlan::apply() {
    QFETCH(QByteArray, document);
    QFETCH(bool, withTrims);
    QFETCH(bool, withTexts);
    QFETCH(QStringList, expected);
    QFETCH(QString, entry);
    const auto plan = planApply(document, withTrims, withTexts, 1,
                                entry.isEmpty() ? std::nullopt : std::optional<QString>(entry));
    if (const Refusal* r = std::get_if<Refusal>(&plan)) {
        QVERIFY2(expected.first().startsWith(QLatin1String("refused: ")) &&
                     r->message.startsWith(expected.first().mid(9)),
                 qPrintable(r->message));
        return;
    }
    QCOMPARE(outcome(std::get<ApplyPlan>(plan).plan), expected);
    QVERIFY(std::get<ApplyPlan>(plan).document.nullKeys.contains("outputLow"));
}

void TestWritePlan::read_back_comparison() {
    TransmitterRead read;
    read.values = {{"unit", "3"},        {"decimals", "2"},  {"rangeHigh", "+100.00"},
                   {"trim4mA", "+0012"}, {"model", "PT-A "}, {"outputHigh", "+250.01"}};
    read.unitCode = 3;
    read.decimals = 2;
    const SettingValues written{{"unit", "3"},     {"decimals", "2"}, {"rangeHigh", "100"},
                                {"trim4mA", "12"}, {"model", "PT-A"}, {"outputHigh", "250"},
                                {"rangeLow", "0"}};
    QStringList differing;
    for (const Difference& d : compareReadBack(written, read))
        differing.append(d.key + QLatin1Char('=') + d.actual);
    // Numbers agree by value; texts only as they are; a missing value differs.
    QCOMPARE(differing, (QStringList{"rangeLow=(no answer)", "outputHigh=+250.01", "model=PT-A "}));

    // A read shows who the transmitter is, its settings in the window's order
    // of writing, then what it measures.
    QCOMPARE(readKeys(), (QStringList{"model", "id", "version", "unit", "decimals", "rangeLow",
                                      "rangeHigh", "outputLow", "outputHigh", "trim4mA", "trim20mA",
                                      "pressure", "temperature"}));
}

void TestWritePlan::write_read_back_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("read");
    QTest::addColumn<bool>("holds");
    const int pressure = int(SettingKind::Pressure);
    QTest::newRow("pressure in another form") << pressure << "+100.00"
                                              << "100.0" << true;
    QTest::newRow("pressure beyond its decimals") << pressure << "+100.00"
                                                  << "+100.004" << true;
    QTest::newRow("pressure one step off") << pressure << "+100.00"
                                           << "+100.01" << false;
    QTest::newRow("pressure without decimals") << pressure << "+250"
                                               << "+249.6" << true;
    QTest::newRow("pressure read as junk") << pressure << "+100.00"
                                           << "+1OO.00" << false;
    QTest::newRow("unit by code") << int(SettingKind::Unit) << "3"
                                  << "+3" << true;
    QTest::newRow("unit out of range") << int(SettingKind::Unit) << "3"
                                       << "13" << false;
    QTest::newRow("decimals") << int(SettingKind::Decimals) << "2"
                              << "1" << false;
    QTest::newRow("trim as the same text") << int(SettingKind::Trim) << "+0012"
                                           << "+0012" << true;
    QTest::newRow("trim in another form") << int(SettingKind::Trim) << "+0012"
                                          << "12" << false;
    QTest::newRow("text exactly") << int(SettingKind::Text) << "SN 7"
                                  << "SN 7" << true;
    QTest::newRow("text blank") << int(SettingKind::Text) << "SN 7"
                                << "" << false;
}

void TestWritePlan::write_read_back() {
    QFETCH(int, kind);
    QFETCH(QString, sent);
    QFETCH(QString, read);
    QFETCH(bool, holds);
    QCOMPARE(holdsSentValue(SettingKind(kind), sent, read), holds);
}

void TestWritePlan::move_and_core_rules() {
    QStringList commands;
    for (const PlannedWrite& w : planMove("05", 3, "SN7", "PT-A"))
        commands.append(w.address + w.command);
    QCOMPARE(commands, (QStringList{"IDSN7", "AD05", "05BD3", "05TYPT-A"}));
    // The echo may name the old address or the new; the value must be the new.
    const auto from = [](const QString& reply, const QString& address) {
        return Exchanged{replyKindOf(reply, address), reply};
    };
    const auto addressProblem = [&](const QString& reply, const QString& oldAddress,
                                    const QString& newAddress) {
        return addressChangeProblem(from(reply, oldAddress), oldAddress, newAddress);
    };
    QCOMPARE(addressProblem("*0705\r", "07", "05"), QString());
    QCOMPARE(addressProblem("*0505\r", "07", "05"), QString());
    QVERIFY(!addressProblem("*0707\r", "07", "05").isEmpty());
    QVERIFY(!addressProblem("ERR 0\r", "07", "05").isEmpty());
    QCOMPARE(rateChangeProblem(from("*053\r", "05"), 3), QString());
    QVERIFY(!rateChangeProblem(from("*052\r", "05"), 3).isEmpty());

    // A fuzzer may hand the planner keys that no command line could give.
    QVERIFY(std::holds_alternative<Refusal>(planSettings({{"span", "1"}}, 2)));

    QCOMPARE((QStringList{decimalPattern(0), decimalPattern(1), decimalPattern(2),
                          decimalPattern(3), decimalPattern(4)}),
             (QStringList{"0000.", "000.0", "00.00", "0.000", ".0000"}));
    QVERIFY(decimalPattern(5).isEmpty() && decimalPattern(-1).isEmpty());
    for (const char* yes : {"01", "07", "99"})
        QVERIFY2(isBusAddress(yes), yes);
    for (const char* no : {"00", "7", "100", "12\n", " 12", "1a", ""})
        QVERIFY2(!isBusAddress(no), no);
}

void TestWritePlan::argument_lists() {
    using Numbers = std::optional<QList<int>>;
    const Numbers none;
    QCOMPARE(parseAddressList("31,5-7,6,99"), Numbers({5, 6, 7, 31, 99}));
    QCOMPARE(parseAddressList(" 1-3 ,1-3"), Numbers({1, 2, 3}));
    for (const char* bad : {"", ",", "1,", "0", "100", "7-5", "1-2-3", "-5", "5-", "1 2", "\uff11"})
        QVERIFY2(parseAddressList(QString::fromUtf8(bad)) == none, bad);
    QCOMPARE(parseBaudList("1200,9600,1200"), Numbers({3, 0}));
    for (const char* bad : {"", "9600,", "19200", "96OO"})
        QVERIFY2(parseBaudList(bad) == none, bad);
    QCOMPARE(parseBusAddress(u" 7 ").value_or("none"), QStringLiteral("07"));
    for (const char* bad : {"007", "0", "100", "+7", "7a"})
        QVERIFY2(!parseBusAddress(QString::fromLatin1(bad)), bad);
}

QTEST_APPLESS_MAIN(TestWritePlan)
#include "tst_write_plan.moc"
