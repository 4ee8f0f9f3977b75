// The three build commands: what the dialog hands the generator, the start of
// the runtime, the close, and the messages when a build or the start fails.

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <map>

#include "app_test_support.h"
#include "floorplan/floor_plan_view.h"
#include "generator/project_builder.h"
#include "platform/platform.h"
#include "projectformat/project_files.h"
#include "projectformat/startup_script_format.h"

using apptest::TestDialog;
namespace fs = std::filesystem;

namespace {

fs::path startupScript(const apptest::StartDirectory& start) {
    return start / "bProj" / "Vellico" / "startup.pc";
}

namespace pf = projectformat;

// Row `number` of the script's table with the given fields filled in.
std::string tableRow(int number, std::initializer_list<std::pair<pf::Field, float>> fields) {
    pf::FieldValues values;
    for (const auto& [field, value] : fields)
        values[static_cast<std::size_t>(field)] = pf::formatReal(value);
    std::string row;
    pf::appendRow(row, number, values);
    row.pop_back();  // the line feed
    return row;
}

void clickButton(app::EscapeSetupDialog& dialog, int id) {
    QTest::mouseClick(dialog.control<QPushButton>(id), Qt::LeftButton);
}

}  // namespace

class DialogBuildTest : public QObject {
    Q_OBJECT

  private slots:
    void emptyCountBuildsAsZero();
    void enterInACountEditBuilds();
    void enterOnAnotherButtonRunsThatButton();
    void closingWithoutBuilding_data();
    void closingWithoutBuilding();
    void buildCarriesClickedPositions();
    void commandFlags_data();
    void commandFlags();
    void runtimeStartsInTheStartDirectory();
    void missingRuntimeIsReported();
    void buildFailureKeepsTheDialogOpen();
    void buildFailureThenStartAnyway();
    void realMessageBoxAnswersNo();
    void sameBytesAsTheHeadlessBuild();
};

void DialogBuildTest::emptyCountBuildsAsZero() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QLineEdit* pairs = dialog.control<QLineEdit>(app::IdPairsEdit);
    pairs->selectAll();
    QTest::keyClick(pairs, Qt::Key_Delete);
    QCOMPARE(pairs->text(), QString());

    clickButton(dialog, app::IdRunMorvanta);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QVERIFY(dialog.messages.empty());
    const auto rows = apptest::readRows(startupScript(start));
    QVERIFY(apptest::hasRow(rows, "\tglobal var TotalPeople=10;"));  // 2*0 + 5 + 5
    QCOMPARE(start.waitForRuntimeRecord().size(), std::size_t(3));
}

void DialogBuildTest::enterInACountEditBuilds() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QLineEdit* children = dialog.control<QLineEdit>(app::IdChildrenEdit);
    children->setFocus();
    children->selectAll();
    QTest::keyClicks(children, QStringLiteral("12"));
    QTest::keyClick(children, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const auto rows = apptest::readRows(startupScript(start));
    QVERIFY(apptest::hasRow(rows, "\tglobal var TotalPeople=27;"));  // 10 + 5 + 12
    QVERIFY(apptest::hasRow(rows, "\tglobal var dumpToKVX = 0;"));
    QVERIFY(apptest::hasRow(rows, "\tglobal var dumpToAVI = 0;"));
}

void DialogBuildTest::enterOnAnotherButtonRunsThatButton() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QPushButton* avi = dialog.control<QPushButton>(app::IdCreateAvi);
    avi->setFocus();
    QTest::keyClick(avi, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(
        apptest::hasRow(apptest::readRows(startupScript(start)), "\tglobal var dumpToAVI = 1;"));
}

void DialogBuildTest::closingWithoutBuilding_data() {
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close box") << 2;
}

void DialogBuildTest::closingWithoutBuilding() {
    QFETCH(int, how);
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    if (how == 0) {
        clickButton(dialog, app::IdCancel);
    } else if (how == 1) {
        QTest::keyClick(dialog.control<QLineEdit>(app::IdPairsEdit), Qt::Key_Escape);
    } else {
        QVERIFY(dialog.close());
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!fs::exists(start / "bProj"));
    QVERIFY(dialog.messages.empty());
    QVERIFY(start.waitForRuntimeRecord(300).empty());
}

void DialogBuildTest::buildCarriesClickedPositions() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();
    dialog.control<QLineEdit>(app::IdPairsEdit)->setText(QStringLiteral("20"));  // 50 people

    const QPoint clusterClicks[] = {{40, 50}, {150, 120}, {200, 30}};
    const QPoint exitClicks[] = {{100, 8}, {230, 180}};
    for (QPoint p : clusterClicks) QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseClick(dialog.control<QRadioButton>(app::IdPlaceExits), Qt::LeftButton);
    for (QPoint p : exitClicks) QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, p);

    const float scale = view->scale();
    QCOMPARE(scale, 70.0f);
    clickButton(dialog, app::IdRunMorvanta);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    const auto rows = apptest::readRows(startupScript(start));
    QVERIFY(apptest::hasRow(rows, "\tglobal var TotalPeople=50;"));
    using scenario::PlacementKind;
    struct ExitRows {
        int a, b;
        pf::Field ax, bx, z;
    };
    const ExitRows exitRows[2] = {
        {pf::row::kFirstExitA, pf::row::kFirstExitB, pf::Field::FirstExitAX,
         pf::Field::FirstExitBX, pf::Field::FirstExitZ},
        {pf::row::kSecondExitA, pf::row::kSecondExitB, pf::Field::SecondExitAX,
         pf::Field::SecondExitBX, pf::Field::SecondExitZ}};
    for (int k = 0; k < 2; ++k) {
        const floorplan::ViewPoint v = view->mapClick(QPointF(exitClicks[k]));
        const scenario::WorldPosition w =
            scenario::viewToWorld(PlacementKind::Exit, v.x, v.y, scale);
        QVERIFY(w.x != 0.0f && w.z != 0.0f);
        const ExitRows& r = exitRows[k];
        const float half = pf::script::kExitHalfWidth;
        const std::string a = tableRow(r.a, {{r.ax, w.x + half}, {r.z, w.z}});
        const std::string b = tableRow(r.b, {{r.bx, w.x - half}, {r.z, w.z}});
        QVERIFY2(apptest::hasRow(rows, a), a.c_str());
        QVERIFY2(apptest::hasRow(rows, b), b.c_str());
    }
    // The cluster rows take the table's place of the centre row, each
    // followed by its cluster call.
    const auto first = rows.begin() + (pf::row::kClusterCentre - 1);
    for (std::size_t j = 0; j < 3; ++j) {
        const floorplan::ViewPoint v = view->mapClick(QPointF(clusterClicks[j]));
        const scenario::WorldPosition w =
            scenario::viewToWorld(PlacementKind::Cluster, v.x, v.y, scale);
        QCOMPARE(*(first + 2 * j),
                 tableRow(pf::row::kClusterCentre,
                          {{pf::Field::ClusterX, w.x}, {pf::Field::ClusterZ, w.z}}));
        QCOMPARE(*(first + 2 * j + 1), tableRow(pf::row::kClusterCall, {}));
    }
    QCOMPARE(*(first + 6), tableRow(pf::row::kClusterCall + 1, {}));
    // The camera follows the floor's whole-number scale.
    QVERIFY(apptest::hasRow(rows, "\tT.position.x = -100;"));
    QVERIFY(apptest::hasRow(rows, "\tT.position.y = 20;"));
    QVERIFY(apptest::hasRow(rows, "\tT.position.z = 100;"));
    // The floor on show went into the project.
    QCOMPARE(testsupport::readFile(start / "bProj" / "Content" / "Actors" / "Floor" / "Floor.kvx"),
             testsupport::readFile(start / "unchanged" / "floor.kvx"));
}

void DialogBuildTest::commandFlags_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("kvx");
    QTest::addColumn<int>("avi");
    QTest::newRow("Run Morvanta") << int(app::IdRunMorvanta) << 0 << 0;
    QTest::newRow("Create KVX") << int(app::IdCreateKvx) << 1 << 0;
    QTest::newRow("Create AVI") << int(app::IdCreateAvi) << 0 << 1;
}

void DialogBuildTest::commandFlags() {
    QFETCH(int, button);
    QFETCH(int, kvx);
    QFETCH(int, avi);
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    clickButton(dialog, button);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const auto rows = apptest::readRows(startupScript(start));
    QVERIFY(apptest::hasRow(rows, "\tglobal var dumpToKVX = " + std::to_string(kvx) + ";"));
    QVERIFY(apptest::hasRow(rows, "\tglobal var dumpToAVI = " + std::to_string(avi) + ";"));
    QVERIFY(apptest::hasRow(rows, "\tglobal var TotalPeople=20;"));
    // The whole tree is there, every file of it.
    for (const pf::ProjectFile& file : pf::projectFiles()) {
        const std::string name(file.path);
        QVERIFY2(fs::is_regular_file(pf::hostPath(start.path(), file.path)), name.c_str());
    }
}

void DialogBuildTest::runtimeStartsInTheStartDirectory() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    // The current directory wandered off meanwhile; the build and the runtime
    // still use the start directory.
    fs::create_directories(start / "elsewhere");
    QVERIFY(platform::setCurrentDirectory((start / "elsewhere").string()));
    clickButton(dialog, app::IdCreateKvx);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(dialog.messages.empty());
    const auto record = start.waitForRuntimeRecord();
    QCOMPARE(record.size(), std::size_t(3));
    QCOMPARE(record[0], fs::canonical(start.path()).string());
    QCOMPARE(record[1], std::string("0"));      // no arguments
    QCOMPARE(record[2], std::string("built"));  // started after the project was written
    QVERIFY(!fs::exists(start / "elsewhere" / "bProj"));
}

void DialogBuildTest::missingRuntimeIsReported() {
    apptest::StartDirectory start;
    qputenv("MORVANTA_RUNTIME", QByteArray::fromStdString((start / "no-such-runtime").string()));
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    clickButton(dialog, app::IdRunMorvanta);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.messages.size(), std::size_t(1));
    const TestDialog::Message& m = dialog.messages.front();
    QCOMPARE(m.icon, QMessageBox::Warning);
    QVERIFY(m.text.contains(QStringLiteral("could not be started")));
    QVERIFY(m.text.contains(QStringLiteral("no-such-runtime")));
    const QString project = QString::fromStdString((start.path() / "bProj").string());
    QVERIFY2(m.text.contains(project), qPrintable(m.text));
    QVERIFY(fs::is_regular_file(startupScript(start)));
}

void DialogBuildTest::buildFailureKeepsTheDialogOpen() {
    apptest::StartDirectory start;
    fs::create_directories(start / "bProj" / "something.spj");  // a folder where a file goes
    TestDialog dialog;
    dialog.messageAnswers.push_back(QMessageBox::No);
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();
    dialog.control<QLineEdit>(app::IdAdultsEdit)->setText(QStringLiteral("17"));
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));

    clickButton(dialog, app::IdCreateAvi);
    QCOMPARE(dialog.messages.size(), std::size_t(1));
    const TestDialog::Message& m = dialog.messages.front();
    QCOMPARE(m.icon, QMessageBox::Warning);
    QCOMPARE(m.buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(m.text.contains(QStringLiteral("something.spj")), qPrintable(m.text));
    QVERIFY(m.text.contains(QStringLiteral("anyway")));
    // Only the failed step is listed: the other files were written.
    QVERIFY(!m.text.contains(QStringLiteral("startup.pc")));
    QVERIFY(fs::is_regular_file(startupScript(start)));

    // "No": the dialog stays open with everything as it was, no runtime.
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    QCOMPARE(dialog.control<QLineEdit>(app::IdAdultsEdit)->text(), QStringLiteral("17"));
    QCOMPARE(view->placements().clusterCount, 1);
    QVERIFY(start.waitForRuntimeRecord(500).empty());
}

void DialogBuildTest::buildFailureThenStartAnyway() {
    apptest::StartDirectory start;
    fs::create_directories(start / "bProj" / "something.spj");
    TestDialog dialog;
    dialog.messageAnswers.push_back(QMessageBox::No);
    dialog.messageAnswers.push_back(QMessageBox::Yes);
    QVERIFY(apptest::showAndWait(dialog));
    clickButton(dialog, app::IdRunMorvanta);
    QVERIFY(dialog.isVisible());
    clickButton(dialog, app::IdRunMorvanta);  // same failure, now "Yes"
    QCOMPARE(dialog.messages.size(), std::size_t(2));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(start.waitForRuntimeRecord().size(), std::size_t(3));
}

void DialogBuildTest::realMessageBoxAnswersNo() {
    apptest::StartDirectory start;
    fs::create_directories(start / "bProj" / "something.sws");
    app::EscapeSetupDialog dialog;  // the toolkit's own message box
    QVERIFY(apptest::showAndWait(dialog));
    QString shownText;
    QTimer::singleShot(0, &dialog, [&] {
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        shownText = box->text();
        QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
        box->button(QMessageBox::No)->click();
    });
    clickButton(dialog, app::IdRunMorvanta);
    QVERIFY(shownText.contains(QStringLiteral("something.sws")));
    QVERIFY(dialog.isVisible());
    QVERIFY(start.waitForRuntimeRecord(300).empty());
}

void DialogBuildTest::sameBytesAsTheHeadlessBuild() {
#ifndef ESCAPE_BUILD_PROGRAM
    QSKIP("escape-build is not part of this build");
#else
    apptest::StartDirectory fromDialog;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    clickButton(dialog, app::IdRunMorvanta);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const auto dialogTree = apptest::treeOf(fromDialog / "bProj");

    apptest::StartDirectory headless;
    QProcess build;
    build.setWorkingDirectory(QString::fromStdString(headless.path().string()));
    build.start(QStringLiteral(ESCAPE_BUILD_PROGRAM), {});
    QVERIFY(build.waitForFinished(60000));
    QCOMPARE(build.exitCode(), 0);
    const auto headlessTree = apptest::treeOf(headless / "bProj");
    QCOMPARE(dialogTree.size(), std::size_t(25));
    QVERIFY(dialogTree == headlessTree);
#endif
}

APPTEST_MAIN(DialogBuildTest)
#include "dialog_build_test.moc"
