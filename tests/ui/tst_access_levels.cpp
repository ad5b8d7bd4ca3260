// The access codes typed into the concealed field, as an engineer types them:
// a click on the window background, then the keys.

#include "support/test_window.h"

#include <QLineEdit>
#include <QTest>

namespace {
const QStringList kCommandGroup{QStringLiteral("Frame_Command"), QStringLiteral("txtInsSend"),
                                QStringLiteral("Cmd_INS"),       QStringLiteral("lblIns1"),
                                QStringLiteral("lblIns2"),       QStringLiteral("txtReturn")};
const QStringList kDisplayGroup{QStringLiteral("txtMAX"), QStringLiteral("txtMIN"),
                                QStringLiteral("TXT_TEMPERATURE")};

struct Levels {
    bool commandEnabled;
    bool displayShown;
    bool factoryShown;
};

Levels levelsOf(const TestWindow& t) {
    auto enabled = [&](const QString& n) {
        return t.control(n.toLatin1().constData())->isEnabled();
    };
    auto shown = [&](const QString& n) { return !t.control(n.toLatin1().constData())->isHidden(); };
    Levels l{enabled(kCommandGroup.first()), shown(kDisplayGroup.first()),
             shown(QStringLiteral("CMD_FACT"))};
    // Each group switches as a whole.
    for (const QString& n : kCommandGroup)
        if (enabled(n) != l.commandEnabled)
            qFatal("%s differs from its group", qPrintable(n));
    for (const QString& n : kDisplayGroup)
        if (shown(n) != l.displayShown)
            qFatal("%s differs from its group", qPrintable(n));
    if (shown(QStringLiteral("chkSame")) != l.factoryShown ||
        enabled(QStringLiteral("CMD_FACT")) != l.factoryShown)
        qFatal("factory group split");
    return l;
}

void typeCode(TestWindow& t, const QString& keys, bool clickFirst = true) {
    if (clickFirst)
        QTest::mouseClick(t.control("centralwidget"), Qt::LeftButton, {}, QPoint(570, 250));
    QTest::keyClicks(t.control<QLineEdit>("txtPass"), keys);
}
} // namespace

class TestAccessLevels : public QObject {
    Q_OBJECT

private slots:
    void every_start_is_locked();
    void display_code_in_any_case_unlocks_display_group_data();
    void display_code_in_any_case_unlocks_display_group();
    void factory_code_shows_the_factory_button();
    void lock_code_locks_all_but_the_displays();
    void near_misses_unlock_nothing_data();
    void near_misses_unlock_nothing();
    void unlocked_state_survives_further_typing_and_emptying();
};

void TestAccessLevels::every_start_is_locked() {
    TestWindow t;
    t.create();
    const Levels l = levelsOf(t);
    QVERIFY(!l.commandEnabled);
    QVERIFY(!l.displayShown);
    QVERIFY(!l.factoryShown);
}

void TestAccessLevels::display_code_in_any_case_unlocks_display_group_data() {
    QTest::addColumn<QString>("code");
    QTest::newRow("lower") << QStringLiteral("wolmask");
    QTest::newRow("upper") << QStringLiteral("WOLMASK");
    QTest::newRow("mixed") << QStringLiteral("WolMasK");
}

void TestAccessLevels::display_code_in_any_case_unlocks_display_group() {
    QFETCH(QString, code);
    TestWindow t;
    t.createShown();
    typeCode(t, code);
    const Levels l = levelsOf(t);
    QVERIFY(l.commandEnabled);
    QVERIFY(l.displayShown);
    QVERIFY(!l.factoryShown);
    // The code stays in the field.
    QCOMPARE(t.control<QLineEdit>("txtPass")->text(), code);
}

void TestAccessLevels::factory_code_shows_the_factory_button() {
    TestWindow t;
    t.createShown();
    typeCode(t, QStringLiteral("tekrund"));
    Levels l = levelsOf(t);
    QVERIFY(l.factoryShown);
    QVERIFY(!l.commandEnabled);
    QVERIFY(!l.displayShown);

    // Both groups may be open at once.
    typeCode(t, QStringLiteral("wolmask"));
    l = levelsOf(t);
    QVERIFY(l.factoryShown && l.commandEnabled && l.displayShown);
}

void TestAccessLevels::lock_code_locks_all_but_the_displays() {
    TestWindow t;
    t.createShown();
    typeCode(t, QStringLiteral("wolmask"));
    typeCode(t, QStringLiteral("tekrund"));
    typeCode(t, QStringLiteral("BAVIZEN"));
    const Levels l = levelsOf(t);
    QVERIFY(!l.commandEnabled);
    QVERIFY(!l.factoryShown);
    // Once shown, the measurement displays stay until the program ends.
    QVERIFY(l.displayShown);
}

void TestAccessLevels::near_misses_unlock_nothing_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("clickFirst");
    QTest::newRow("preceded, field not emptied") << QStringLiteral("xwolmask") << true;
    QTest::newRow("leading blank") << QStringLiteral(" wolmask") << true;
    QTest::newRow("short") << QStringLiteral("wolmas") << true;
    QTest::newRow("inside a longer text") << QStringLiteral("awolmaskb") << true;
    QTest::newRow("after an earlier text") << QStringLiteral("tekrun") << false;
}

void TestAccessLevels::near_misses_unlock_nothing() {
    QFETCH(QString, keys);
    QFETCH(bool, clickFirst);
    TestWindow t;
    t.createShown();
    if (!clickFirst) {
        // Something typed earlier without the field being emptied.
        t.control<QLineEdit>("txtPass")->setText(QStringLiteral("x"));
        t.control<QLineEdit>("txtPass")->setFocus();
    }
    typeCode(t, keys, clickFirst);
    typeCode(t, QStringLiteral("d"), false);
    const Levels l = levelsOf(t);
    QVERIFY(!l.commandEnabled);
    QVERIFY(!l.displayShown);
    QVERIFY(!l.factoryShown);
}

void TestAccessLevels::unlocked_state_survives_further_typing_and_emptying() {
    TestWindow t;
    t.createShown();
    typeCode(t, QStringLiteral("wolmask"));
    typeCode(t, QStringLiteral("x"), false);
    QVERIFY(levelsOf(t).commandEnabled);
    // The background click empties the field and locks nothing.
    QTest::mouseClick(t.control("centralwidget"), Qt::LeftButton, {}, QPoint(570, 250));
    QCOMPARE(t.control<QLineEdit>("txtPass")->text(), QString());
    QVERIFY(levelsOf(t).commandEnabled);
    QVERIFY(levelsOf(t).displayShown);
}

QTEST_MAIN(TestAccessLevels)
#include "tst_access_levels.moc"
