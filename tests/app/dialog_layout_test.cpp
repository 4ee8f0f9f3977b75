// The dialog as it opens: controls, texts and ids, every control inside the
// dialog and none on another, tab order, default button, fonts, icon, and
// the floor view on the placeholder's rectangle.

#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/spin_arrows.h"
#include "app_test_support.h"
#include "floorplan/floor_plan_view.h"

using app::EscapeSetupDialog;

namespace {

struct TemplateControl {
    const char* name;  // the object name: the control's id, or the label's name
    const char* text;  // nullptr: no text to compare
};

// The controls of the dialog in the order they are created, with the texts
// the user reads.
const TemplateControl kTemplate[] = {
    {"1021", "Number of each type (99 max each)"},
    {"1001", ""},
    {"1002", "Run Morvanta"},
    {"1022", "Floor Plan Choice"},
    {"labelPairs", "Number of Mother and Child Pairs"},
    {"1004", "Basic"},
    {"1005", "User Selected"},
    {"1006", nullptr},
    {"1003", "Create KVX"},
    {"1007", "Create AVI"},
    {"2", "Cancel"},
    {"1009", "..."},
    {"1012", nullptr},
    {"1013", nullptr},
    {"1014", nullptr},
    {"1015", nullptr},
    {"labelAdults", "Number of Additional Adults"},
    {"1016", nullptr},
    {"1017", nullptr},
    {"labelChildren", "Number of Additional Children"},
    {"1018", "Place People (10 people in each click)"},
    {"1019", "Place Exits (2 maximum)"},
    {"1023", "Clicking the Interface will:"},
};

// A control the user clicks or types into.
bool takesInput(QWidget* w) {
    return qobject_cast<QAbstractButton*>(w) != nullptr || qobject_cast<QLineEdit*>(w) != nullptr ||
           qobject_cast<app::SpinArrows*>(w) != nullptr;
}

// Where a label's text is painted: from its left edge, as wide as the text,
// as high as a line, centred in the label's height.
QRect paintedText(QLabel* label) {
    const QFontMetrics metrics(label->font());
    const QRect box = label->geometry();
    const int width = std::min(metrics.horizontalAdvance(label->text()), box.width());
    const int height = std::min(metrics.height(), box.height());
    return QRect(box.left(), box.top() + (box.height() - height) / 2, width, height);
}

QString textOf(QWidget* w) {
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    return {};
}

}  // namespace

class DialogLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    void dialogUnitsFollowTheFont();
    void openingState();
    void templateControlsLieInsideAndApart();
    void tabOrderAndFocus();
    void fontsAndIcon();
    void viewLiesOnThePlaceholderAndDraws();
};

void DialogLayoutTest::dialogUnitsFollowTheFont() {
    // Base units 6 x 13: the placeholder's rectangle as the platform maps it,
    // corners rounded half away from zero.
    const app::DialogUnits units(6, 13);
    QCOMPARE(units.toPixels(178, 50, 163, 125), QRect(267, 81, 245, 203));
    QCOMPARE(units.toPixelsX(348), 522);
    QCOMPARE(units.toPixelsY(182), 296);
    // Neighbours stay neighbours: the pairs edit ends where the gap to its
    // spin begins, whatever the rounding.
    const app::DialogUnits odd(7, 15);
    QCOMPARE(odd.toPixels(122, 20, 17, 14).right() + 1, odd.toPixelsX(139));

    // The average character width is measured over the 52 letters.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(8);
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const app::DialogUnits measured = app::DialogUnits::forFont(font);
    QCOMPARE(measured.baseX(), (letters + 26) / 52);
    QCOMPARE(measured.baseY(), metrics.height());
    // A bigger font gives a bigger dialog with the same proportions.
    font.setPointSize(16);
    const app::DialogUnits big = app::DialogUnits::forFont(font);
    QVERIFY(big.baseX() > measured.baseX());
    QVERIFY(big.baseY() > measured.baseY());
}

void DialogLayoutTest::openingState() {
    apptest::StartDirectory start;
    EscapeSetupDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));

    QCOMPARE(dialog.windowTitle(), QStringLiteral("Morvanta Escape Simulation"));
    for (int id : {app::IdPairsEdit, app::IdAdultsEdit, app::IdChildrenEdit})
        QCOMPARE(dialog.control<QLineEdit>(id)->text(), QStringLiteral("5"));
    QVERIFY(dialog.control<QRadioButton>(app::IdBasic)->isChecked());
    QVERIFY(!dialog.control<QRadioButton>(app::IdUserSelected)->isChecked());
    QVERIFY(dialog.control<QRadioButton>(app::IdPlacePeople)->isChecked());
    QVERIFY(!dialog.control<QRadioButton>(app::IdPlaceExits)->isChecked());
    auto* floorEdit = dialog.control<QLineEdit>(app::IdFloorPath);
    QCOMPARE(floorEdit->text(), QStringLiteral("unchanged\\floor.kvx"));
    QVERIFY(floorEdit->isReadOnly());
    QCOMPARE(dialog.chosenFloorPath(), QStringLiteral("unchanged\\floor.kvx"));
    QCOMPARE(dialog.startDirectory(), start.path().string());

    // The view shows the basic floor below the start directory.
    floorplan::FloorPlanView* view = dialog.floorView();
    QCOMPARE(view->lastLoad().outcome, floorplan::LoadOutcome::Loaded);
    QCOMPARE(view->floorPath(), std::string("unchanged\\floor.kvx"));
    QCOMPARE(view->scale(), 70.0f);
    QCOMPARE(view->placements().exitCount, 0);
    QCOMPARE(view->placements().clusterCount, 0);
    QVERIFY(!dialog.floorNotice()->text().contains(QStringLiteral("mesh")));

    // Fixed size, with a close box and nothing to minimise or maximise.
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.size(), QSize(dialog.units().toPixelsX(348), dialog.units().toPixelsY(182)));
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowContextHelpButtonHint));
}

void DialogLayoutTest::templateControlsLieInsideAndApart() {
    apptest::StartDirectory start;
    EscapeSetupDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));

    QWidget* previous = nullptr;
    std::vector<QWidget*> inputs;
    std::vector<QLabel*> labels;
    for (const TemplateControl& c : kTemplate) {
        QWidget* w =
            dialog.findChild<QWidget*>(QString::fromLatin1(c.name), Qt::FindDirectChildrenOnly);
        QVERIFY2(w != nullptr, c.name);
        if (c.text != nullptr) QCOMPARE(textOf(w), QString::fromLatin1(c.text));
        // Created in template order: each comes after the one before it
        // among the dialog's children.
        if (previous != nullptr) {
            const QObjectList& children = dialog.children();
            QVERIFY2(children.indexOf(previous) < children.indexOf(w), c.name);
        }
        previous = w;
        // Every control lies whole inside the dialog.
        QVERIFY2(dialog.rect().contains(w->geometry()), c.name);
        QVERIFY2(!w->geometry().isEmpty(), c.name);
        // Every text reads whole: no label or button is too narrow for it.
        if (c.text != nullptr && qobject_cast<QLabel*>(w) != nullptr) {
            const QFontMetrics metrics(w->font());
            QVERIFY2(metrics.horizontalAdvance(textOf(w)) <= w->width(), c.name);
        }
        if (takesInput(w)) inputs.push_back(w);
        if (auto* label = qobject_cast<QLabel*>(w); label != nullptr && c.text != nullptr)
            labels.push_back(label);
    }
    // Nothing the user clicks or types into lies on another such control,
    // and no text is painted over one.
    for (std::size_t i = 0; i < inputs.size(); ++i)
        for (std::size_t j = i + 1; j < inputs.size(); ++j)
            QVERIFY2(!inputs[i]->geometry().intersects(inputs[j]->geometry()),
                     qPrintable(inputs[i]->objectName() + " on " + inputs[j]->objectName()));
    for (QLabel* label : labels)
        for (QWidget* input : inputs)
            QVERIFY2(!paintedText(label).intersects(input->geometry()),
                     qPrintable(label->objectName() + " painted over " + input->objectName()));
    // The view lies beside the counts and the floor choice, not on them.
    for (QWidget* input : inputs)
        QVERIFY2(!input->geometry().intersects(dialog.floorView()->geometry()),
                 qPrintable(input->objectName()));
    QVERIFY(!dialog.control(app::IdPlaceholder)->isVisible());
    for (int id : {app::IdPairsSpin, app::IdAdultsSpin, app::IdChildrenSpin}) {
        auto* spin = dialog.control<app::SpinArrows>(id);
        QVERIFY(spin != nullptr);
        QCOMPARE(spin->upButton()->arrowType(), Qt::UpArrow);
        QCOMPARE(spin->downButton()->arrowType(), Qt::DownArrow);
        QVERIFY(spin->upButton()->geometry().bottom() < spin->downButton()->geometry().top());
    }
    // The chooser: one filter, the default suffix, the initial name, and the
    // toolkit's own dialog.
    QFileDialog* chooser = dialog.floorChooser();
    QCOMPARE(chooser->nameFilters(), QStringList{QStringLiteral("KVX World Files (*.kvx)")});
    QCOMPARE(chooser->defaultSuffix(), QStringLiteral("kvx"));
    QVERIFY(chooser->testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(chooser->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(chooser->parent(), &dialog);
}

void DialogLayoutTest::tabOrderAndFocus() {
    apptest::StartDirectory start;
    EscapeSetupDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));

    auto* run = dialog.control<QPushButton>(app::IdRunMorvanta);
    QVERIFY(run->isDefault());
    for (int id : {app::IdCreateKvx, app::IdCreateAvi, app::IdCancel, app::IdBrowse})
        QVERIFY(!dialog.control<QPushButton>(id)->isDefault());
    // The dialog's focus (the window need not be active under a bare X server).
    QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(run));

    // Tab walks the template's tab stops and comes back round.
    const int order[] = {app::IdCreateKvx,  app::IdCreateAvi,  app::IdCancel,
                         app::IdBrowse,     app::IdPairsEdit,  app::IdChildrenEdit,
                         app::IdAdultsEdit, app::IdRunMorvanta};
    for (int id : order) {
        QTest::keyClick(dialog.focusWidget(), Qt::Key_Tab);
        QCOMPARE(dialog.focusWidget(), dialog.control(id));
    }
    // Radio buttons, the floor-path edit, spins and the view are no tab stops.
    for (int id : {app::IdBasic, app::IdUserSelected, app::IdPlacePeople, app::IdPlaceExits,
                   app::IdFloorPath})
        QVERIFY(!(dialog.control(id)->focusPolicy() & Qt::TabFocus));
    QVERIFY(!(dialog.floorView()->focusPolicy() & Qt::TabFocus));
}

void DialogLayoutTest::fontsAndIcon() {
    apptest::StartDirectory start;
    EscapeSetupDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));

    const QFont labelFont = dialog.findChild<QLabel*>(QStringLiteral("labelPairs"))->font();
    QCOMPARE(labelFont.pointSize(), 8);
    QCOMPARE(labelFont.weight(), QFont::Normal);
    for (int id : {app::IdCountsHeading, app::IdFloorHeading, app::IdClickHeading}) {
        const QFont heading = dialog.control<QLabel>(id)->font();
        QCOMPARE(heading.weight(), QFont::Bold);
        QVERIFY(heading.pointSizeF() >= labelFont.pointSizeF());
        QCOMPARE(heading.family(), labelFont.family());
    }
    // Every control speaks the dialog's font.
    QCOMPARE(dialog.control(app::IdRunMorvanta)->font().pointSize(), 8);

    const QIcon icon = dialog.windowIcon();
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)));
    QVERIFY(sizes.contains(QSize(32, 32)));
    // The drawing is not empty: it has opaque pixels of more than one colour.
    const QImage picture = icon.pixmap(QSize(32, 32)).toImage();
    QVERIFY(picture.pixelColor(16, 16).alpha() == 255);
    QVERIFY(picture.pixelColor(2, 16) != picture.pixelColor(24, 4));
}

void DialogLayoutTest::viewLiesOnThePlaceholderAndDraws() {
    apptest::StartDirectory start;
    EscapeSetupDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();
    QCOMPARE(view->parentWidget(), &dialog);
    QCOMPARE(view->geometry(), dialog.control(app::IdPlaceholder)->geometry());
    QVERIFY(view->isVisible());

    // A click near the view's centre records about (0, 0); its mark shows there.
    const QPoint middle(view->width() / 2, view->height() / 2);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, middle);
    QCOMPARE(view->placements().clusterCount, 1);
    const floorplan::ViewPoint expected = view->mapClick(QPointF(middle));
    QCOMPARE(view->placements().clusters[0].x, expected.x);
    QCOMPARE(view->placements().clusters[0].y, expected.y);
    QVERIFY(std::abs(expected.x) < 0.01f && std::abs(expected.y) < 0.01f);

    // The grab is in device pixels (twice the logical ones at a scale of 2).
    const QImage frame = dialog.grab().toImage();
    const qreal ratio = frame.devicePixelRatio();
    auto device = [ratio](QPoint p) {
        return QPoint(qRound(p.x() * ratio), qRound(p.y() * ratio));
    };
    const QRect area(device(view->geometry().topLeft()), device(view->geometry().bottomRight()));
    int red = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = frame.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) ++red;
        }
    QVERIFY2(red > 100, "the floor outline is drawn inside the dialog");
    const QColor centre = frame.pixelColor(device(view->geometry().topLeft() + middle));
    QVERIFY(centre.green() > 200 && centre.red() < 60);
}

APPTEST_MAIN(DialogLayoutTest)
#include "dialog_layout_test.moc"
