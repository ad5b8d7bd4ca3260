// The event rules the handlers rely on: list selection, scroll bar changes,
// validation on leaving a field, and the click on the window background.

#include "support/selected_transmitter.h"
#include "support/test_window.h"
#include "ui/leave_validation.h"
#include "ui/list_selection.h"
#include "ui/trim_bars.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace {
QPoint partOf(QScrollBar* bar, QStyle::SubControl part) {
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.upsideDown = bar->invertedAppearance();
    opt.subControls = QStyle::SC_All;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, part, bar).center();
}

// Picks entry index of an open combo popup with the mouse.
void pickFromPopup(QComboBox* list, int index) {
    list->showPopup();
    QAbstractItemView* view = list->view();
    QTRY_VERIFY(view->isVisible());
    const QRect item = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(view->viewport()->width() / 2, item.center().y()));
    QTRY_VERIFY(!view->isVisible());
}
// The form's bar on a window of its own, tall enough for arrows, track and
// thumb, so each part can be clicked; its settings come along.
QScrollBar* standAlone(TestWindow& t, const char* name) {
    auto* bar = t.control<QScrollBar>(name);
    bar->setParent(nullptr);
    bar->resize(bar->width(), 200);
    bar->show();
    if (!QTest::qWaitForWindowExposed(bar))
        qWarning("bar not exposed");
    return bar;
}
} // namespace

class TestEventRules : public QObject {
    Q_OBJECT

private slots:
    void list_handler_runs_once_per_change_from_code();
    void list_handler_runs_once_per_user_pick();
    void scroll_bar_reports_every_completed_move();
    void scroll_bar_is_silent_while_dragged();
    void trim_bars_raise_the_trim_upwards();
    void validation_runs_before_the_clicked_button_acts();
    void refused_validation_keeps_focus_and_drops_the_click();
    void refused_validation_keeps_focus_on_tab();
    void background_click_focuses_and_empties_the_code_field();
    void clicks_on_frames_and_labels_are_not_background_clicks();
    void background_click_respects_a_refused_validation();
    void bars_and_lists_change_only_the_forms_ways_data();
    void bars_and_lists_change_only_the_forms_ways();
    void a_leave_validates_once_data();
    void a_leave_validates_once();
    void tab_into_the_code_field_keeps_its_text();
};

void TestEventRules::list_handler_runs_once_per_change_from_code() {
    QComboBox list;
    list.addItems({QStringLiteral("a"), QStringLiteral("b")});
    list.setCurrentIndex(-1);
    ListSelection selection;
    int runs = 0;
    selection.connectList(&list, [&] { ++runs; });

    selection.select(&list, 1);
    QCOMPARE(runs, 1);
    QCOMPARE(list.currentIndex(), 1);
    selection.select(&list, 1); // already selected: an event, as a re-pick
    QCOMPARE(runs, 2);
    selection.select(&list, 0);
    QCOMPARE(runs, 3);
    selection.select(&list, -1); // nothing selected: no event
    QCOMPARE(runs, 3);
    QCOMPARE(list.currentIndex(), -1);
    selection.select(&list, 5); // no such entry
    QCOMPARE(runs, 3);
    // Emptying a list from code raises nothing either.
    selection.select(&list, 1);
    list.clear();
    QCOMPARE(runs, 4);
}

void TestEventRules::list_handler_runs_once_per_user_pick() {
    TestWindow t;
    t.settings.values.insert(QStringLiteral("Transmitter/CommPort"), QStringLiteral("1"));
    t.createShown();
    auto* ports = t.control<QComboBox>("cmbCommPort");
    QCOMPARE(t.port.openedPorts, QList<int>{1});

    pickFromPopup(ports, 2); // another entry
    QCOMPARE(t.port.openedPorts, (QList<int>{1, 3}));
    pickFromPopup(ports, 2); // the same entry again
    QCOMPARE(t.port.openedPorts, (QList<int>{1, 3, 3}));

    ports->setFocus();
    QTest::keyClick(ports, Qt::Key_Down); // by key
    QCOMPARE(t.port.openedPorts, (QList<int>{1, 3, 3, 4}));
    QCOMPARE(ports->currentIndex(), 3);
}

void TestEventRules::scroll_bar_reports_every_completed_move() {
    TestWindow t;
    t.createShown();
    for (const char* name : {"VScroll1", "VScroll2"}) {
        std::unique_ptr<QScrollBar> bar(standAlone(t, name));
        QSignalSpy changes(bar.get(), &QScrollBar::valueChanged);
        const int page = bar->pageStep();

        QTest::mouseClick(bar.get(), Qt::LeftButton, {},
                          partOf(bar.get(), QStyle::SC_ScrollBarAddLine));
        QCOMPARE(changes.size(), 1);
        QCOMPARE(qAbs(bar->value()), 1);

        bar->setValue(0);
        QCOMPARE(changes.size(), 2);
        QTest::mouseClick(bar.get(), Qt::LeftButton, {},
                          partOf(bar.get(), QStyle::SC_ScrollBarAddPage));
        QCOMPARE(changes.size(), 3);
        QCOMPARE(qAbs(bar->value()), page);

        bar->setValue(0);
        bar->setFocus();
        QTest::keyClick(bar.get(), Qt::Key_Down);
        QCOMPARE(changes.size(), 5);
        QCOMPARE(qAbs(bar->value()), 1);

        // Set by code: an event for a new value, none for the same one.
        bar->setValue(12);
        bar->setValue(12);
        QCOMPARE(changes.size(), 6);
        QCOMPARE(changes.last().first().toInt(), 12);
        QCOMPARE(bar->singleStep(), 1);
        QCOMPARE(bar->pageStep(), name == QLatin1String("VScroll2") ? 5 : 1);
    }
}

void TestEventRules::scroll_bar_is_silent_while_dragged() {
    TestWindow t;
    t.createShown();
    std::unique_ptr<QScrollBar> bar(standAlone(t, "VScroll1"));
    QSignalSpy changes(bar.get(), &QScrollBar::valueChanged);

    const QPoint thumb = partOf(bar.get(), QStyle::SC_ScrollBarSlider);
    QTest::mousePress(bar.get(), Qt::LeftButton, {}, thumb);
    QTest::mouseMove(bar.get(), thumb + QPoint(0, 20));
    QTest::mouseMove(bar.get(), thumb + QPoint(0, 40));
    QCOMPARE(changes.size(), 0);
    QTest::mouseRelease(bar.get(), Qt::LeftButton, {}, thumb + QPoint(0, 40));
    QCOMPARE(changes.size(), 1);
    QVERIFY(bar->value() != 0);
}

void TestEventRules::trim_bars_raise_the_trim_upwards() {
    TestWindow t;
    t.createShown();
    std::unique_ptr<QScrollBar> bar(standAlone(t, "VScroll2"));
    QCOMPARE(trimPosition(bar.get()), 0);

    QTest::mouseClick(bar.get(), Qt::LeftButton, {},
                      partOf(bar.get(), QStyle::SC_ScrollBarSubLine));
    QCOMPARE(trimPosition(bar.get()), 1);
    QTest::mouseClick(bar.get(), Qt::LeftButton, {},
                      partOf(bar.get(), QStyle::SC_ScrollBarSubPage));
    QCOMPARE(trimPosition(bar.get()), 6);
    bar->setFocus();
    QTest::keyClick(bar.get(), Qt::Key_Down);
    QCOMPARE(trimPosition(bar.get()), 5);

    // Both ends are reachable and nothing lies beyond them.
    setTrimPosition(bar.get(), 5000);
    QCOMPARE(trimPosition(bar.get()), 5000);
    QTest::keyClick(bar.get(), Qt::Key_Up);
    QCOMPARE(trimPosition(bar.get()), 5000);
    setTrimPosition(bar.get(), -5000);
    QCOMPARE(trimPosition(bar.get()), -5000);
    // The thumb of +5000 stands at the top.
    QVERIFY(partOf(bar.get(), QStyle::SC_ScrollBarSlider).y() > bar->height() / 2);
    setTrimPosition(bar.get(), 5000);
    QVERIFY(partOf(bar.get(), QStyle::SC_ScrollBarSlider).y() < bar->height() / 2);
}

void TestEventRules::validation_runs_before_the_clicked_button_acts() {
    TestWindow t;
    t.createShown();
    auto* field = t.control<QLineEdit>("TXT_DPH");
    t.window->leaveValidation().add(field, [field] {
        field->setText(QStringLiteral("+05.00"));
        return true;
    });
    QString seen;
    auto* write = t.control<QPushButton>("cmdSCALE_Write");
    connect(write, &QPushButton::clicked, [&] { seen = field->text(); });

    QTest::mouseClick(field, Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), field);
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("5"));
    QTest::mouseClick(write, Qt::LeftButton);

    QCOMPARE(seen, QStringLiteral("+05.00"));
    QCOMPARE(QApplication::focusWidget(), write);
}

void TestEventRules::refused_validation_keeps_focus_and_drops_the_click() {
    TestWindow t;
    t.createShown();
    auto* field = t.control<QLineEdit>("TXT_ADDR");
    int validations = 0;
    t.window->leaveValidation().add(field, [&] {
        ++validations;
        return field->text() != QLatin1String("100");
    });
    int clicks = 0;
    auto* modify = t.control<QPushButton>("COM_ADDR");
    connect(modify, &QPushButton::clicked, [&] { ++clicks; });

    QTest::mouseClick(field, Qt::LeftButton);
    field->setText(QStringLiteral("100"));
    QTest::mouseClick(modify, Qt::LeftButton);
    QCOMPARE(validations, 1);
    QCOMPARE(clicks, 0);
    QCOMPARE(QApplication::focusWidget(), field);
    QCOMPARE(field->text(), QStringLiteral("100"));

    // A combo and a scroll bar take the focus too: refused the same way.
    QTest::mouseClick(t.control<QComboBox>("CMB_BAND"), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), field);
    QVERIFY(!t.control<QComboBox>("CMB_BAND")->view()->isVisible());

    field->setText(QStringLiteral("12"));
    QTest::mouseClick(modify, Qt::LeftButton);
    QCOMPARE(clicks, 1);
    QCOMPARE(QApplication::focusWidget(), modify);
}

void TestEventRules::refused_validation_keeps_focus_on_tab() {
    TestWindow t;
    t.createShown();
    auto* field = t.control<QLineEdit>("TXT_ADDR");
    t.window->leaveValidation().add(field, [field] { return field->text() != QLatin1String("0"); });

    QTest::mouseClick(field, Qt::LeftButton);
    field->setText(QStringLiteral("0"));
    QTest::keyClick(field, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), field);
    QTest::keyClick(field, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), field);

    field->setText(QStringLiteral("07"));
    QTest::keyClick(field, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), t.control<QWidget>("CMB_BAND"));
}

void TestEventRules::background_click_focuses_and_empties_the_code_field() {
    TestWindow t;
    t.createShown();
    auto* code = t.control<QLineEdit>("txtPass");
    code->setText(QStringLiteral("abc"));
    QWidget* background = t.control<QWidget>("centralwidget");

    QTest::mouseClick(background, Qt::LeftButton, {}, QPoint(570, 250));

    QCOMPARE(QApplication::focusWidget(), code);
    QCOMPARE(code->text(), QString());
}

void TestEventRules::clicks_on_frames_and_labels_are_not_background_clicks() {
    TestWindow t;
    t.createShown();
    auto* code = t.control<QLineEdit>("txtPass");
    code->setText(QStringLiteral("abc"));
    QWidget* before = QApplication::focusWidget();

    auto* frame = t.control<QWidget>("frame_DISP");
    QTest::mouseClick(frame, Qt::LeftButton, {}, QPoint(frame->width() - 4, frame->height() - 4));
    QTest::mouseClick(t.control<QWidget>("Label7"), Qt::LeftButton);
    QTest::mouseClick(t.control<QWidget>("Label19"), Qt::LeftButton);

    QCOMPARE(code->text(), QStringLiteral("abc"));
    QCOMPARE(QApplication::focusWidget(), before);
}

void TestEventRules::background_click_respects_a_refused_validation() {
    TestWindow t;
    t.createShown();
    auto* field = t.control<QLineEdit>("TXT_ADDR");
    t.window->leaveValidation().add(field, [] { return false; });
    auto* code = t.control<QLineEdit>("txtPass");
    code->setText(QStringLiteral("abc"));

    QTest::mouseClick(field, Qt::LeftButton);
    QTest::mouseClick(t.control<QWidget>("centralwidget"), Qt::LeftButton, {}, QPoint(570, 250));

    QCOMPARE(QApplication::focusWidget(), field);
    QCOMPARE(code->text(), QStringLiteral("abc"));
}

void TestEventRules::bars_and_lists_change_only_the_forms_ways_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("changes");
    const auto row = [](const char* name, const char* control, const char* input, bool focused,
                        bool changes) {
        QTest::newRow(name) << QString(control) << QString(input) << focused << changes;
    };
    row("wheel over a bar", "VScroll1", "wheel", false, false);
    row("wheel over the focused bar", "VScroll2", "wheel", true, false);
    row("right click on a bar", "VScroll1", "right", false, false);
    row("middle click on a bar", "VScroll2", "middle", false, false);
    row("Home", "VScroll1", "Home", true, false);
    row("End", "VScroll2", "End", true, false);
    row("page key still moves", "VScroll1", "PageUp", true, true);
    row("wheel over the unit list", "cmbUnit", "wheel", false, false);
    row("wheel over the decimals list", "Cmb_DP", "wheel", false, false);
    row("wheel over the address list", "CMB_ADDR", "wheel", false, false);
    row("wheel over the focused list", "cmbUnit", "wheel", true, true);
}

void TestEventRules::bars_and_lists_change_only_the_forms_ways() {
    QFETCH(QString, control);
    QFETCH(QString, input);
    QFETCH(bool, focused);
    QFETCH(bool, changes);
    SelectedTransmitter s(true);
    s.list("02", 9600);
    QWidget* w = s.t.control(control.toLatin1().constData());
    auto* bar = qobject_cast<QScrollBar*>(w);
    auto* list = qobject_cast<QComboBox*>(w);
    if (list)
        list->setCurrentIndex(1);
    // Wheel focus would let the wheel take the focus before any filter runs.
    QVERIFY((w->focusPolicy() & Qt::WheelFocus) != Qt::WheelFocus);
    if (focused)
        w->setFocus();
    else
        s.t.control("cmdSEARCH")->setFocus();
    QWidget* focusBefore = QApplication::focusWidget();
    const auto position = [&] { return bar ? bar->value() : list->currentIndex(); };
    const int before = position();
    const qsizetype heard = s.bus.heard.size();
    // In the track, away from the thumb.
    const QPoint at(w->width() / 2, bar ? w->height() / 4 : w->height() / 2);

    bool menuShown = false;
    if (input == QLatin1String("wheel")) {
        QWheelEvent wheel(at, w->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &wheel);
    } else if (input == QLatin1String("right")) {
        QTimer::singleShot(300, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuShown = true;
                popup->close();
            }
        });
        QTest::mouseClick(w, Qt::RightButton, {}, at);
        QTest::qWait(400);
    } else if (input == QLatin1String("middle")) {
        QTest::mouseClick(w, Qt::MiddleButton, {}, at);
    } else {
        const Qt::Key key = input == QLatin1String("Home")  ? Qt::Key_Home
                            : input == QLatin1String("End") ? Qt::Key_End
                                                            : Qt::Key_PageUp;
        QTest::keyClick(w, key);
    }

    QVERIFY(!menuShown);
    QCOMPARE(position() != before, changes);
    // A bar that moves writes its trim; nothing else goes out.
    QCOMPARE(s.bus.heard.size() > heard, changes && bar);
    // A click may take the focus as any click does; the wheel never does.
    if (input == QLatin1String("wheel"))
        QCOMPARE(QApplication::focusWidget(), focusBefore);
}

void TestEventRules::a_leave_validates_once_data() {
    QTest::addColumn<bool>("byTab");
    QTest::addColumn<bool>("accept");
    QTest::newRow("Tab, accepted") << true << true;
    QTest::newRow("Tab, refused") << true << false;
    QTest::newRow("click, accepted") << false << true;
    QTest::newRow("click, refused") << false << false;
}

void TestEventRules::a_leave_validates_once() {
    QFETCH(bool, byTab);
    QFETCH(bool, accept);
    TestWindow t;
    t.createShown();
    auto* field = t.control<QLineEdit>("TXT_DPL");
    int validations = 0;
    t.window->leaveValidation().add(field, [&] {
        ++validations;
        return accept;
    });
    QTest::mouseClick(field, Qt::LeftButton);
    if (byTab)
        QTest::keyClick(field, Qt::Key_Tab);
    else
        QTest::mouseClick(t.control("TXT_DPH"), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(validations, 1);
    QCOMPARE(QApplication::focusWidget() == field, !accept);
}

void TestEventRules::tab_into_the_code_field_keeps_its_text() {
    TestWindow t;
    t.createShown();
    auto* code = t.control<QLineEdit>("txtPass");
    QTest::mouseClick(t.control("centralwidget"), Qt::LeftButton, {}, QPoint(570, 250));
    QCOMPARE(QApplication::focusWidget(), code);
    QTest::keyClicks(code, QStringLiteral("x"));
    QTest::keyClick(code, Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != code);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), code);
    QVERIFY(!code->hasSelectedText());
    QCOMPARE(code->cursorPosition(), 1);

    // A code after other characters is no code.
    QTest::keyClicks(code, QStringLiteral("wolmask"));
    QCOMPARE(code->text(), QStringLiteral("xwolmask"));
    QVERIFY(!t.control("Cmd_INS")->isEnabled());
}

QTEST_MAIN(TestEventRules)
#include "tst_event_rules.moc"
