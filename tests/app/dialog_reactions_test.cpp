// The dialog's reactions short of a build: the count clamp, the spin steps,
// the two radio groups and the floor choice with its file chooser.

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/spin_arrows.h"
#include "app_test_support.h"
#include "floorplan/floor_plan_view.h"
#include "platform/platform.h"

using apptest::TestDialog;

namespace {

// The notice's text fits its two rows.
bool fitsItsLabel(const QLabel* notice) {
    return QFontMetrics(notice->font())
               .boundingRect(QRect(0, 0, notice->width(), notice->height()), Qt::TextWordWrap,
                             notice->text())
               .height() <= notice->height();
}

QLineEdit* edit(app::EscapeSetupDialog& d, int id) { return d.control<QLineEdit>(id); }
QRadioButton* radio(app::EscapeSetupDialog& d, int id) { return d.control<QRadioButton>(id); }

// Writes a square floor of half-size `half` and returns its full path.
QString writeSquareFloor(const std::filesystem::path& file, float half) {
    testsupport::writeFile(file, apptest::kvxFloor(apptest::squareFloor(half)));
    return QString::fromStdString(file.string());
}

}  // namespace

class DialogReactionsTest : public QObject {
    Q_OBJECT

  private slots:
    void countClampWhileTyping();
    void countClampOnPasteAndProgrammaticText();
    void spinSteps_data();
    void spinSteps();
    void spinStepsOnlyItsOwnEdit();
    void radioGroupsAreIndependent();
    void chosenFileThenBasicThenUserSelected();
    void cancelledChooserChangesNothing();
    void basicTwiceKeepsPlacements();
    void basicRestoresTheStartDirectory();
    void userSelectedBeforeAnyChoiceReloadsBasicFloor();
    void fileWithoutMeshShowsNotice();
    void realChooserChoosesAndRemembers();
};

void DialogReactionsTest::countClampWhileTyping() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));

    QLineEdit* pairs = edit(dialog, app::IdPairsEdit);
    pairs->selectAll();
    QTest::keyClicks(pairs, QStringLiteral("150"));
    QCOMPARE(pairs->text(), QStringLiteral("99"));  // "15" stood, "150" was clamped

    QLineEdit* adults = edit(dialog, app::IdAdultsEdit);
    adults->selectAll();
    QTest::keyClicks(adults, QStringLiteral("007"));
    QCOMPARE(adults->text(), QStringLiteral("007"));  // in range: left as typed

    // Letters and signs are not taken.
    QLineEdit* children = edit(dialog, app::IdChildrenEdit);
    children->selectAll();
    QTest::keyClicks(children, QStringLiteral("a-4b2"));
    QCOMPARE(children->text(), QStringLiteral("42"));

    // An emptied edit stays empty.
    children->selectAll();
    QTest::keyClick(children, Qt::Key_Backspace);
    QCOMPARE(children->text(), QString());
    QCOMPARE(dialog.gatherSettings(scenario::BuildCommand::RunMorvanta).childCount, 0);
}

void DialogReactionsTest::countClampOnPasteAndProgrammaticText() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QLineEdit* pairs = edit(dialog, app::IdPairsEdit);

    QApplication::clipboard()->setText(QStringLiteral("123456789012345"));
    pairs->selectAll();
    pairs->paste();
    QCOMPARE(pairs->text(), QStringLiteral("99"));

    // Pasted text that is no count is refused; the edit keeps its value.
    QApplication::clipboard()->setText(QStringLiteral("12 people"));
    pairs->selectAll();
    pairs->paste();
    QCOMPARE(pairs->text(), QStringLiteral("99"));

    // Text set by the program runs the same clamp.
    pairs->setText(QStringLiteral("-7"));
    QCOMPARE(pairs->text(), QStringLiteral("0"));
    pairs->setText(QStringLiteral("100"));
    QCOMPARE(pairs->text(), QStringLiteral("99"));
    pairs->setText(QStringLiteral(" 42x"));
    QCOMPARE(pairs->text(), QStringLiteral(" 42x"));
    QCOMPARE(dialog.gatherSettings(scenario::BuildCommand::RunMorvanta).pairCount, 42);
}

void DialogReactionsTest::spinSteps_data() {
    QTest::addColumn<int>("spin");
    QTest::addColumn<int>("edit");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("after");
    QTest::newRow("99 up stays 99")
        << int(app::IdPairsSpin) << int(app::IdPairsEdit) << "99" << true << "99";
    QTest::newRow("0 down stays 0")
        << int(app::IdAdultsSpin) << int(app::IdAdultsEdit) << "0" << false << "0";
    QTest::newRow("99 down gives 98")
        << int(app::IdChildrenSpin) << int(app::IdChildrenEdit) << "99" << false << "98";
    QTest::newRow("empty up gives 1")
        << int(app::IdPairsSpin) << int(app::IdPairsEdit) << "" << true << "1";
    QTest::newRow("not a number down gives 0")
        << int(app::IdAdultsSpin) << int(app::IdAdultsEdit) << "x" << false << "0";
    QTest::newRow("007 up gives 8")
        << int(app::IdChildrenSpin) << int(app::IdChildrenEdit) << "007" << true << "8";
}

void DialogReactionsTest::spinSteps() {
    QFETCH(int, spin);
    QFETCH(int, edit);
    QFETCH(QString, before);
    QFETCH(bool, up);
    QFETCH(QString, after);

    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QLineEdit* count = dialog.control<QLineEdit>(edit);
    count->setText(before);
    auto* arrows = dialog.control<app::SpinArrows>(spin);
    QToolButton* arrow = up ? arrows->upButton() : arrows->downButton();
    QTest::mouseClick(arrow, Qt::LeftButton);
    QCOMPARE(count->text(), after);
    // The arrows never take the focus from where it was.
    QVERIFY(QApplication::focusWidget() != arrow);
}

void DialogReactionsTest::spinStepsOnlyItsOwnEdit() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    // Larger steps (an arrow held down) are clamped too.
    dialog.stepCount(edit(dialog, app::IdAdultsEdit), 20);
    QCOMPARE(edit(dialog, app::IdAdultsEdit)->text(), QStringLiteral("25"));
    dialog.stepCount(edit(dialog, app::IdAdultsEdit), -30);
    QCOMPARE(edit(dialog, app::IdAdultsEdit)->text(), QStringLiteral("0"));
    dialog.stepCount(edit(dialog, app::IdAdultsEdit), 0);
    QCOMPARE(edit(dialog, app::IdAdultsEdit)->text(), QStringLiteral("0"));

    // Each spin steps the edit of its own row: 1012 pairs, 1016 adults, 1014 children.
    QTest::mouseClick(dialog.control<app::SpinArrows>(app::IdAdultsSpin)->upButton(),
                      Qt::LeftButton);
    QTest::mouseClick(dialog.control<app::SpinArrows>(app::IdChildrenSpin)->downButton(),
                      Qt::LeftButton);
    QCOMPARE(edit(dialog, app::IdPairsEdit)->text(), QStringLiteral("5"));
    QCOMPARE(edit(dialog, app::IdAdultsEdit)->text(), QStringLiteral("1"));
    QCOMPARE(edit(dialog, app::IdChildrenEdit)->text(), QStringLiteral("4"));

    // An arrow held down keeps stepping, and stops at the bound.
    QToolButton* up = dialog.control<app::SpinArrows>(app::IdPairsSpin)->upButton();
    QTest::mousePress(up, Qt::LeftButton);
    QTRY_VERIFY(edit(dialog, app::IdPairsEdit)->text().toInt() >= 8);
    QTest::mouseRelease(up, Qt::LeftButton);
    const QString released = edit(dialog, app::IdPairsEdit)->text();
    QTest::qWait(300);
    QCOMPARE(edit(dialog, app::IdPairsEdit)->text(), released);  // no step after the release
    edit(dialog, app::IdPairsEdit)->setText(QStringLiteral("97"));
    QTest::mousePress(up, Qt::LeftButton);
    QTest::qWait(900);
    QTest::mouseRelease(up, Qt::LeftButton);
    QCOMPARE(edit(dialog, app::IdPairsEdit)->text(), QStringLiteral("99"));
}

void DialogReactionsTest::radioGroupsAreIndependent() {
    apptest::StartDirectory start;
    testsupport::writeFile(start / "other.kvx", apptest::kvxFloor(apptest::squareFloor(20)));
    TestDialog dialog;
    dialog.chooserAnswers.push_back(QString::fromStdString((start / "other.kvx").string()));
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();

    QTest::mouseClick(radio(dialog, app::IdPlaceExits), Qt::LeftButton);
    QVERIFY(radio(dialog, app::IdPlaceExits)->isChecked());
    QVERIFY(!radio(dialog, app::IdPlacePeople)->isChecked());
    QVERIFY(radio(dialog, app::IdBasic)->isChecked());

    // The view asks the dialog at each click.
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    QCOMPARE(view->placements().exitCount, 1);
    QCOMPARE(view->placements().clusterCount, 0);

    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QVERIFY(radio(dialog, app::IdUserSelected)->isChecked());
    QVERIFY(!radio(dialog, app::IdBasic)->isChecked());
    QVERIFY(radio(dialog, app::IdPlaceExits)->isChecked());

    QTest::mouseClick(radio(dialog, app::IdPlacePeople), Qt::LeftButton);
    QVERIFY(radio(dialog, app::IdUserSelected)->isChecked());
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 60));
    QCOMPARE(view->placements().exitCount, 1);
    QCOMPARE(view->placements().clusterCount, 1);
}

void DialogReactionsTest::chosenFileThenBasicThenUserSelected() {
    apptest::StartDirectory start;
    std::filesystem::create_directories(start / "floors");
    const QString chosen = writeSquareFloor(start / "floors" / "square.kvx", 30.0f);
    TestDialog dialog;
    dialog.chooserAnswers.push_back(chosen);
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();
    const std::string basicInView = "unchanged\\\\floor.kvx";  // as setFloorPath stores it

    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(60, 70));
    const floorplan::PlacementStore placed = view->placements();

    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QCOMPARE(dialog.chooserCalls, 1);
    QCOMPARE(dialog.chosenFloorPath(), chosen);
    QCOMPARE(edit(dialog, app::IdFloorPath)->text(), chosen);
    QVERIFY(radio(dialog, app::IdUserSelected)->isChecked());
    QCOMPARE(view->floorPath(), chosen.toStdString());
    QCOMPARE(view->scale(), 30.0f);  // reset to 0 before the load, so not 70
    QCOMPARE(view->lastLoad().outcome, floorplan::LoadOutcome::Loaded);
    QCOMPARE(view->outlineVertexCount(), std::size_t(4));

    QTest::mouseClick(radio(dialog, app::IdBasic), Qt::LeftButton);
    QVERIFY(radio(dialog, app::IdBasic)->isChecked());
    QCOMPARE(view->floorPath(), basicInView);
    QCOMPARE(view->scale(), 70.0f);
    QCOMPARE(edit(dialog, app::IdFloorPath)->text(), chosen);  // still shows the chosen file
    QCOMPARE(dialog.chosenFloorPath(), chosen);
    const scenario::ScenarioSettings onBasic =
        dialog.gatherSettings(scenario::BuildCommand::RunMorvanta);
    QCOMPARE(onBasic.floorPath, basicInView);  // a build uses the floor on show
    QCOMPARE(onBasic.floorScale, 70);

    QTest::mouseClick(radio(dialog, app::IdUserSelected), Qt::LeftButton);
    QCOMPARE(view->floorPath(), chosen.toStdString());
    QCOMPARE(view->scale(), 30.0f);
    QCOMPARE(dialog.gatherSettings(scenario::BuildCommand::RunMorvanta).floorScale, 30);

    // The placements survived every change of floor.
    QCOMPARE(view->placements().clusterCount, placed.clusterCount);
    QCOMPARE(view->placements().clusters[0].x, placed.clusters[0].x);
    QCOMPARE(view->placements().clusters[0].y, placed.clusters[0].y);
}

void DialogReactionsTest::cancelledChooserChangesNothing() {
    apptest::StartDirectory start;
    const QString chosen = writeSquareFloor(start / "square.kvx", 12.0f);
    TestDialog dialog;
    dialog.chooserAnswers.push_back(QString());  // cancel
    dialog.chooserAnswers.push_back(chosen);
    dialog.chooserAnswers.push_back(QString());  // cancel
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();

    // Cancel with "Basic" selected and nothing chosen yet.
    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QCOMPARE(dialog.chooserCalls, 1);
    QVERIFY(radio(dialog, app::IdBasic)->isChecked());
    QCOMPARE(edit(dialog, app::IdFloorPath)->text(), QStringLiteral("unchanged\\floor.kvx"));
    QCOMPARE(view->floorPath(), std::string("unchanged\\floor.kvx"));
    QCOMPARE(view->scale(), 70.0f);

    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QVERIFY(radio(dialog, app::IdUserSelected)->isChecked());
    QCOMPARE(view->scale(), 12.0f);

    // Now "Basic", then a cancelled chooser: "Basic" stays, the view too.
    QTest::mouseClick(radio(dialog, app::IdBasic), Qt::LeftButton);
    const std::string pathBefore = view->floorPath();
    const float scaleBefore = view->scale();
    const std::size_t verticesBefore = view->outlineVertexCount();
    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QCOMPARE(dialog.chooserCalls, 3);
    QVERIFY(radio(dialog, app::IdBasic)->isChecked());
    QVERIFY(!radio(dialog, app::IdUserSelected)->isChecked());
    QCOMPARE(edit(dialog, app::IdFloorPath)->text(), chosen);
    QCOMPARE(dialog.chosenFloorPath(), chosen);
    QCOMPARE(view->floorPath(), pathBefore);
    QCOMPARE(view->scale(), scaleBefore);
    QCOMPARE(view->outlineVertexCount(), verticesBefore);
}

void DialogReactionsTest::basicTwiceKeepsPlacements() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();

    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 30));
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(120, 90));
    QTest::mouseClick(radio(dialog, app::IdPlaceExits), Qt::LeftButton);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(200, 10));
    const floorplan::PlacementStore before = view->placements();
    QCOMPARE(before.clusterCount, 2);
    QCOMPARE(before.exitCount, 1);

    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(radio(dialog, app::IdBasic), Qt::LeftButton);
        QCOMPARE(view->lastLoad().outcome, floorplan::LoadOutcome::Loaded);
        QCOMPARE(view->scale(), 70.0f);
    }
    const floorplan::PlacementStore& after = view->placements();
    QCOMPARE(after.clusterCount, before.clusterCount);
    QCOMPARE(after.exitCount, before.exitCount);
    QCOMPARE(after.nextCluster, before.nextCluster);
    QCOMPARE(after.nextExit, before.nextExit);
    for (int j = 0; j < 2; ++j) {
        QCOMPARE(after.clusters[static_cast<std::size_t>(j)].x,
                 before.clusters[static_cast<std::size_t>(j)].x);
        QCOMPARE(after.clusters[static_cast<std::size_t>(j)].y,
                 before.clusters[static_cast<std::size_t>(j)].y);
    }
    QCOMPARE(after.exits[0].x, before.exits[0].x);
    QCOMPARE(after.exits[0].y, before.exits[0].y);
}

void DialogReactionsTest::basicRestoresTheStartDirectory() {
    apptest::StartDirectory start;
    std::filesystem::create_directories(start / "elsewhere");
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));

    // Something (a file chooser on some platforms) moved the current directory.
    QVERIFY(platform::setCurrentDirectory((start / "elsewhere").string()));
    QTest::mouseClick(radio(dialog, app::IdBasic), Qt::LeftButton);
    QCOMPARE(std::filesystem::current_path(), start.path());
    QCOMPARE(dialog.floorView()->lastLoad().outcome, floorplan::LoadOutcome::Loaded);
    QVERIFY(!dialog.floorNotice()->text().contains(QStringLiteral("mesh")));
}

void DialogReactionsTest::userSelectedBeforeAnyChoiceReloadsBasicFloor() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QTest::mouseClick(radio(dialog, app::IdUserSelected), Qt::LeftButton);
    QVERIFY(radio(dialog, app::IdUserSelected)->isChecked());
    floorplan::FloorPlanView* view = dialog.floorView();
    QCOMPARE(view->floorPath(), std::string("unchanged\\\\floor.kvx"));
    QCOMPARE(view->lastLoad().outcome, floorplan::LoadOutcome::Loaded);
    QCOMPARE(view->scale(), 70.0f);
    QCOMPARE(dialog.chooserCalls, 0);

    // Unlike "Basic" it resolves against the current directory as it is:
    // from elsewhere the basic floor is not found there.
    std::filesystem::create_directories(start / "elsewhere");
    QVERIFY(platform::setCurrentDirectory((start / "elsewhere").string()));
    QTest::mouseClick(radio(dialog, app::IdUserSelected), Qt::LeftButton);
    QCOMPARE(view->lastLoad().outcome, floorplan::LoadOutcome::NoFloor);
    QVERIFY(dialog.floorNotice()->isVisible());
    QVERIFY(dialog.floorNotice()->text().contains(QStringLiteral("not even")));
    QVERIFY(fitsItsLabel(dialog.floorNotice()));
    QTest::mouseClick(radio(dialog, app::IdBasic), Qt::LeftButton);
    QCOMPARE(view->lastLoad().outcome, floorplan::LoadOutcome::Loaded);
    QVERIFY(!dialog.floorNotice()->text().contains(QStringLiteral("mesh")));
}

void DialogReactionsTest::fileWithoutMeshShowsNotice() {
    apptest::StartDirectory start;
    testsupport::writeFile(start / "empty.kvx", "KVX TEXT 2.1\r\nTW_Scene SCN-Nothing\r\n");
    const QString good = writeSquareFloor(start / "good.kvx", 25.0f);
    TestDialog dialog;
    dialog.chooserAnswers.push_back(QString::fromStdString((start / "empty.kvx").string()));
    dialog.chooserAnswers.push_back(good);
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();
    QLabel* notice = dialog.floorNotice();
    QVERIFY(!notice->text().contains(QStringLiteral("mesh")));

    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QCOMPARE(view->lastLoad().outcome, floorplan::LoadOutcome::FellBack);
    QVERIFY(notice->isVisible());
    QVERIFY(notice->text().contains(QStringLiteral("basic floor")));
    QVERIFY(fitsItsLabel(notice));
    QVERIFY(notice->toolTip().contains(QStringLiteral("empty.kvx")));
    // The edit keeps naming the chosen file; the view shows the basic floor.
    QVERIFY(edit(dialog, app::IdFloorPath)->text().endsWith(QStringLiteral("empty.kvx")));
    QCOMPARE(view->floorPath(), std::string("unchanged\\floor.kvx"));
    QCOMPARE(dialog.gatherSettings(scenario::BuildCommand::RunMorvanta).floorPath,
             std::string("unchanged\\floor.kvx"));
    // The notice sits next to the floor path, inside the dialog, clear of
    // the buttons.
    const QRect floorEdit = dialog.control(app::IdFloorPath)->geometry();
    QVERIFY(notice->geometry().top() >= floorEdit.bottom());
    QVERIFY(notice->geometry().bottom() < dialog.control(app::IdRunMorvanta)->geometry().top());

    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QCOMPARE(view->lastLoad().outcome, floorplan::LoadOutcome::Loaded);
    QVERIFY(!notice->text().contains(QStringLiteral("mesh")));
}

void DialogReactionsTest::realChooserChoosesAndRemembers() {
    apptest::StartDirectory start;
    std::filesystem::create_directories(start / "floors");
    const QString chosen = writeSquareFloor(start / "floors" / "hall.kvx", 40.0f);
    app::EscapeSetupDialog dialog;  // the toolkit's own file chooser
    QVERIFY(apptest::showAndWait(dialog));
    QFileDialog* chooser = dialog.floorChooser();

    // First opening: the initial name is floor.kvx; choose hall.kvx.
    QStringList firstSelection;
    QTimer::singleShot(0, chooser, [&] {
        QTRY_VERIFY(chooser->isVisible());
        firstSelection = chooser->selectedFiles();
        chooser->selectFile(chosen);
        static_cast<QDialog*>(chooser)->accept();  // runs QFileDialog::accept
    });
    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QCOMPARE(firstSelection.size(), 1);
    QVERIFY(firstSelection.first().endsWith(QStringLiteral("floor.kvx")));
    QCOMPARE(dialog.chosenFloorPath(), chosen);
    QVERIFY(dialog.control<QRadioButton>(app::IdUserSelected)->isChecked());
    QCOMPARE(dialog.floorView()->scale(), 40.0f);

    // Second opening starts from that choice; cancelling changes nothing.
    QTest::mouseClick(dialog.control<QRadioButton>(app::IdBasic), Qt::LeftButton);
    QStringList secondSelection;
    QTimer::singleShot(0, chooser, [&] {
        QTRY_VERIFY(chooser->isVisible());
        secondSelection = chooser->selectedFiles();
        chooser->reject();
    });
    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QCOMPARE(secondSelection, QStringList{chosen});
    QVERIFY(dialog.control<QRadioButton>(app::IdBasic)->isChecked());
    QCOMPARE(dialog.floorView()->scale(), 70.0f);
    QCOMPARE(dialog.chosenFloorPath(), chosen);
}

APPTEST_MAIN(DialogReactionsTest)
#include "dialog_reactions_test.moc"
