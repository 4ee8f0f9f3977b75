// Keeping, reopening and correcting a scenario: the notice line and the
// hollow clusters, the floor view's right-click menu and its shortcuts, and
// scenario files (save, open, broken files).

#include <sys/stat.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <map>

#include "app_test_support.h"
#include "floorplan/floor_plan_view.h"

using apptest::TestDialog;
namespace fs = std::filesystem;

namespace {

// The client pixel at which a click records the view position (vx, vy).
QPoint pixelOf(const floorplan::FloorPlanView* view, float vx, float vy) {
    return QPoint(static_cast<int>(std::lround((vx + 1.0f) * static_cast<float>(view->width()) / 2.0f)),
                  static_cast<int>(std::lround((vy + 1.0f) * static_cast<float>(view->height()) / 2.0f)));
}

void place(app::EscapeSetupDialog& dialog, bool exit, float vx, float vy) {
    dialog.control<QRadioButton>(exit ? app::IdPlaceExits : app::IdPlacePeople)->click();
    floorplan::FloorPlanView* view = dialog.floorView();
    QTest::mouseClick(view, Qt::LeftButton, {}, pixelOf(view, vx, vy));
}

void setCount(app::EscapeSetupDialog& dialog, int id, int value) {
    dialog.control<QLineEdit>(id)->setText(QString::number(value));
}

QAction* menuAction(app::EscapeSetupDialog& dialog, const char* name) {
    return dialog.viewMenu()->findChild<QAction*>(QString::fromLatin1(name));
}

// Green pixels of the view's frame in a square of `radius` around the
// view position (vx, vy), skipping those within `hole` of it.
int greenAround(floorplan::FloorPlanView* view, float vx, float vy, int radius, int hole) {
    const QImage frame = view->grabFramebuffer();
    const double ratio = frame.width() / static_cast<double>(view->width());
    const QPoint c = pixelOf(view, vx, vy);
    int green = 0;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            if (std::abs(dx) <= hole && std::abs(dy) <= hole) continue;
            const QPoint p(static_cast<int>((c.x() + dx) * ratio),
                           static_cast<int>((c.y() + dy) * ratio));
            if (!frame.rect().contains(p)) continue;
            const QColor colour = frame.pixelColor(p);
            if (colour.green() > 200 && colour.red() < 60 && colour.blue() < 60) ++green;
        }
    return green;
}

}  // namespace

class DialogScenarioTest : public QObject {
    Q_OBJECT

  private slots:
    void noticeCountsPeopleAndUsedClusters();
    void noticeShowsTheFloorInMetresAndWarnsInRedBeforeABuild();
    void buildKeepsItsScenarioBesideTheTree();
    void unusedAndOffFloorClustersAreHollow();
    void menuOffersTheFiveActions();
    void undoAndClearTakeBackPlacements();
    void shortcutsWorkWithoutTheMenu();
    void saveThenOpenBuildsTheSameTree();
    void savedFileIsWhatEscapeBuildReads();
    void brokenFileChangesNothing_data();
    void brokenFileChangesNothing();
    void unwritableSaveIsReported();
};

void DialogScenarioTest::noticeCountsPeopleAndUsedClusters() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    QLabel* notice = dialog.floorNotice();
    QVERIFY(notice->isVisible());
    QVERIFY2(notice->text().startsWith(QStringLiteral("20 people: 5 families, 5 adults, 5 children; 0 of 0 clusters used")), qPrintable(notice->text()));

    place(dialog, false, 0.0f, 0.0f);
    place(dialog, false, 0.3f, 0.2f);
    place(dialog, false, -0.3f, 0.2f);
    QVERIFY2(notice->text().startsWith(QStringLiteral("20 people: 5 families, 5 adults, 5 children; 2 of 3 clusters used")), qPrintable(notice->text()));
    setCount(dialog, app::IdPairsEdit, 0);
    setCount(dialog, app::IdAdultsEdit, 5);
    setCount(dialog, app::IdChildrenEdit, 0);
    QVERIFY2(notice->text().startsWith(QStringLiteral("5 people: 0 families, 5 adults, 0 children; 0 of 3 clusters used")), qPrintable(notice->text()));
    setCount(dialog, app::IdPairsEdit, 49);
    setCount(dialog, app::IdChildrenEdit, 10);
    QVERIFY2(notice->text().startsWith(QStringLiteral("113 people: 49 families, 5 adults, 10 children; 3 of 3 clusters used")), qPrintable(notice->text()));
    // The line fits its label and stays clear of the buttons below.
    QVERIFY(QFontMetrics(notice->font())
                .boundingRect(QRect(0, 0, notice->width(), notice->height()), Qt::TextWordWrap,
                              notice->text())
                .height() <= notice->height());
    QVERIFY(notice->geometry().bottom() < dialog.control(app::IdRunMorvanta)->geometry().top());
}

void DialogScenarioTest::noticeShowsTheFloorInMetresAndWarnsInRedBeforeABuild() {
    apptest::StartDirectory start;
    fs::copy_file(testsupport::sourcePath("tests/fixtures/hall-metres-unstated.kvx"),
                  start / "hall.kvx");
    TestDialog dialog;
    dialog.chooserAnswers.push_back(QString::fromStdString((start / "hall.kvx").string()));
    QVERIFY(apptest::showAndWait(dialog));
    QLabel* notice = dialog.floorNotice();
    const QColor normal = notice->palette().color(QPalette::WindowText);
    // The basic floor, as the runtime reads it (decimetres).
    QVERIFY2(notice->text().contains(QStringLiteral("floor 14.00 m x 10.00 m")),
             qPrintable(notice->text()));
    auto redPixels = [notice] {
        const QImage shot = notice->grab().toImage();
        int red = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                if (c.red() > 120 && c.green() < 80 && c.blue() < 90) ++red;
            }
        return red;
    };
    QCOMPARE(redPixels(), 0);

    // A 20 m x 12 m hall drawn in metres without its Units line: 2 m x 1.2 m
    // to the runtime, too small for 20 people. Said in red before any build.
    QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
    QVERIFY2(notice->text().startsWith(
                 QStringLiteral("20 people cannot fit on 2.00 m x 1.20 m (8.3 per m\u00b2")),
             qPrintable(notice->text()));
    QVERIFY(notice->text().contains(QStringLiteral("\"Units 1.0\"")));
    QCOMPARE(notice->palette().color(QPalette::WindowText), QColor(0xb0, 0x00, 0x20));
    QVERIFY(notice->isVisible());
    QVERIFY(redPixels() > 50);
    QVERIFY(notice->toolTip().contains(QString::fromStdString((start / "hall.kvx").string())));
    QVERIFY(notice->toolTip().contains(QStringLiteral("20.00 m x 12.00 m")));

    // Three people fit, but the floor still looks drawn in metres.
    setCount(dialog, app::IdPairsEdit, 0);
    setCount(dialog, app::IdAdultsEdit, 3);
    setCount(dialog, app::IdChildrenEdit, 0);
    QVERIFY2(notice->text().startsWith(QStringLiteral("Floor only 2.00 m x 1.20 m")),
             qPrintable(notice->text()));
    QVERIFY(notice->text().contains(QStringLiteral("3 people: 0 families, 3 adults, 0 children")));
    QVERIFY(redPixels() > 50);

    // Back on the basic floor: no warning.
    dialog.control<QRadioButton>(app::IdBasic)->click();
    QCOMPARE(notice->palette().color(QPalette::WindowText), normal);
    QVERIFY(notice->text().contains(QStringLiteral("floor 14.00 m x 10.00 m")));
}

void DialogScenarioTest::buildKeepsItsScenarioBesideTheTree() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    setCount(dialog, app::IdPairsEdit, 30);
    setCount(dialog, app::IdAdultsEdit, 20);
    setCount(dialog, app::IdChildrenEdit, 10);
    place(dialog, false, 0.3f, 0.2f);
    place(dialog, true, 0.0f, 0.6f);
    QTest::mouseClick(dialog.control<QPushButton>(app::IdCreateKvx), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const std::string record = testsupport::readFile(start / "bProj-scenario.json");
    // The scenario file of "Save scenario as...", with the command's recording.
    QCOMPARE(QString::fromStdString(record),
             QString::fromStdString(dialog.scenarioText()).replace(
                 QStringLiteral("\"record\": \"none\""), QStringLiteral("\"record\": \"kvx\"")));
    QVERIFY(record.find("\"pairs\": 30") != std::string::npos);
    QVERIFY(record.find("\"viewClusters\"") != std::string::npos);
}

void DialogScenarioTest::unusedAndOffFloorClustersAreHollow() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();
    // The basic floor (x -70..70, z -60..40): the first two clusters lie on
    // it, the third off it (its people would be moved), the fourth on it.
    place(dialog, false, 0.0f, 0.0f);
    place(dialog, false, 0.4f, 0.2f);
    place(dialog, false, -0.95f, -0.95f);
    place(dialog, false, -0.4f, 0.2f);
    // 20 people: clusters 0 and 1 used.
    QCOMPARE(view->hollowClusters(), (std::vector<bool>{false, false, true, true}));
    QVERIFY2(dialog.floorNotice()->text().startsWith(QStringLiteral(
                 "20 people: 5 families, 5 adults, 5 children; 2 of 4 clusters used; 1 off the floor")),
             qPrintable(dialog.floorNotice()->text()));
    setCount(dialog, app::IdPairsEdit, 20);
    QCOMPARE(view->hollowClusters(), (std::vector<bool>{false, false, true, false}));

    // Drawn: a filled point at a used cluster, an empty square at the others.
    QTRY_VERIFY(greenAround(view, 0.0f, 0.0f, 1, -1) > 0);
    QCOMPARE(greenAround(view, -0.95f, -0.95f, 1, -1), 0);
    QVERIFY(greenAround(view, -0.95f, -0.95f, 5, 2) > 0);
    QCOMPARE(greenAround(view, 0.0f, 0.0f, 6, 3), 0);
}

void DialogScenarioTest::menuOffersTheFiveActions() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();
    const QPoint at = pixelOf(view, 0.2f, 0.2f);
    QTest::mouseClick(view, Qt::RightButton, {}, at);
    // Qt sends the context menu event on the press itself on X11.
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
    QCoreApplication::sendEvent(view, &event);
    QMenu* menu = dialog.viewMenu();
    QTRY_VERIFY(menu->isVisible());
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts << action->text();
    QCOMPARE(texts, (QStringList{QStringLiteral("Undo last placement"),
                                 QStringLiteral("Clear exits"),
                                 QStringLiteral("Clear people clusters"),
                                 QStringLiteral("Save scenario as\u2026"),
                                 QStringLiteral("Open scenario\u2026")}));
    // Nothing to undo yet; a right click places nothing.
    QVERIFY(!menuAction(dialog, "undoPlacement")->isEnabled());
    QCOMPARE(view->placements().clusterCount, 0);
    menu->close();
}

void DialogScenarioTest::undoAndClearTakeBackPlacements() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    floorplan::FloorPlanView* view = dialog.floorView();
    const auto& store = view->placements();
    place(dialog, false, 0.1f, 0.1f);
    place(dialog, false, 0.2f, 0.1f);
    place(dialog, true, 0.5f, 0.5f);
    place(dialog, true, -0.5f, 0.5f);
    place(dialog, true, 0.0f, -0.6f);  // replaces the first exit
    QCOMPARE(store.exitCount, 2);
    QCOMPARE(store.exits[0].y, view->mapClick(pixelOf(view, 0.0f, -0.6f)).y);

    menuAction(dialog, "undoPlacement")->trigger();  // the replaced exit comes back
    QCOMPARE(store.exitCount, 2);
    QCOMPARE(store.exits[0].x, view->mapClick(pixelOf(view, 0.5f, 0.5f)).x);
    QCOMPARE(store.nextExit, 0);
    menuAction(dialog, "clearClusters")->trigger();
    QCOMPARE(store.clusterCount, 0);
    QCOMPARE(store.exitCount, 2);
    menuAction(dialog, "clearExits")->trigger();
    QCOMPARE(store.exitCount, 0);
    // A click after clearing starts again at the first slot.
    place(dialog, true, 0.3f, 0.3f);
    QCOMPARE(store.exitCount, 1);
    QCOMPARE(store.nextExit, 1);
    // Undo walks back through the clearings, one step each.
    menuAction(dialog, "undoPlacement")->trigger();
    menuAction(dialog, "undoPlacement")->trigger();
    QCOMPARE(store.exitCount, 2);
    QCOMPARE(store.clusterCount, 0);
    menuAction(dialog, "undoPlacement")->trigger();
    QCOMPARE(store.clusterCount, 2);
    QVERIFY(dialog.floorNotice()->text().startsWith(QStringLiteral("20 people: 5 families, 5 adults, 5 children; 2 of 2 clusters used")));
    for (int i = 0; i < 4; ++i) menuAction(dialog, "undoPlacement")->trigger();
    QCOMPARE(store.clusterCount, 0);
    QCOMPARE(store.exitCount, 0);
    QVERIFY(!view->canUndo());
    menuAction(dialog, "undoPlacement")->trigger();  // nothing left: no change
    QCOMPARE(store.clusterCount, 0);
}

void DialogScenarioTest::shortcutsWorkWithoutTheMenu() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    dialog.activateWindow();
    QTRY_VERIFY(dialog.isActiveWindow());
    place(dialog, false, 0.1f, 0.1f);
    place(dialog, false, 0.2f, 0.1f);
    QPushButton* run = dialog.control<QPushButton>(app::IdRunMorvanta);
    run->setFocus();
    QTest::keyClick(run, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(dialog.floorView()->placements().clusterCount, 1);

    const QString file = QString::fromStdString((start / "kept.json").string());
    dialog.scenarioAnswers.push_back(file);
    QTest::keyClick(run, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(dialog.scenarioAsks, std::vector<bool>{true});
    QVERIFY(fs::exists(start / "kept.json"));

    dialog.scenarioAnswers.push_back(QString());  // cancelled: nothing happens
    QTest::keyClick(run, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(dialog.scenarioAsks, (std::vector<bool>{true, false}));
    QCOMPARE(dialog.floorView()->placements().clusterCount, 1);
    QVERIFY(dialog.messages.empty());
    QVERIFY(dialog.isVisible());
}

void DialogScenarioTest::saveThenOpenBuildsTheSameTree() {
    apptest::StartDirectory first;
    fs::create_directories(first / "floors");
    testsupport::writeFile(first / "floors" / "hall.kvx",
                           apptest::kvxFloor({{-120.0f, 0.0f, -80.0f},
                                              {120.0f, 0.0f, -80.0f},
                                              {120.0f, 0.0f, 80.0f},
                                              {-120.0f, 0.0f, 80.0f}}));
    const QString scenarioFile = QString::fromStdString((first / "kept.json").string());
    {
        TestDialog dialog;
        dialog.chooserAnswers.push_back(QString::fromStdString((first / "floors" / "hall.kvx").string()));
        QVERIFY(apptest::showAndWait(dialog));
        QTest::mouseClick(dialog.control<QPushButton>(app::IdBrowse), Qt::LeftButton);
        setCount(dialog, app::IdPairsEdit, 12);
        setCount(dialog, app::IdAdultsEdit, 7);
        setCount(dialog, app::IdChildrenEdit, 0);
        place(dialog, true, 0.93f, 0.1f);
        place(dialog, true, -0.2f, -0.8f);
        for (float x : {-0.5f, 0.0f, 0.4f}) place(dialog, false, x, 0.3f);
        QVERIFY(dialog.saveScenario(scenarioFile));
        QTest::mouseClick(dialog.control<QPushButton>(app::IdRunMorvanta), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    const auto saved = apptest::treeOf(first / "bProj");

    // Another start directory, a dialog with other counts and placements:
    // opening the file brings back everything the build uses.
    apptest::StartDirectory second;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    place(dialog, false, 0.5f, 0.5f);
    setCount(dialog, app::IdPairsEdit, 3);
    QVERIFY(dialog.openScenario(scenarioFile));
    QVERIFY(dialog.messages.empty());
    QVERIFY(dialog.control<QRadioButton>(app::IdUserSelected)->isChecked());
    QCOMPARE(dialog.control<QLineEdit>(app::IdPairsEdit)->text(), QStringLiteral("12"));
    QVERIFY2(dialog.floorNotice()->text().contains(QStringLiteral("31 people: ")), qPrintable(dialog.floorNotice()->text()));
    QVERIFY(dialog.floorNotice()->text().contains(QStringLiteral("; 3 of 3 clusters used")));
    QTest::mouseClick(dialog.control<QPushButton>(app::IdRunMorvanta), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const auto reopened = apptest::treeOf(second / "bProj");
    QCOMPARE(reopened.size(), std::size_t(25));
    QVERIFY(saved == reopened);
}

void DialogScenarioTest::savedFileIsWhatEscapeBuildReads() {
#ifndef ESCAPE_BUILD_PROGRAM
    QSKIP("escape-build is not part of this build");
#else
    apptest::StartDirectory fromDialog;
    const QString scenarioFile = QString::fromStdString((fromDialog / "kept.json").string());
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    setCount(dialog, app::IdAdultsEdit, 31);
    place(dialog, true, 0.7f, -0.35f);
    place(dialog, false, -0.25f, 0.15f);
    place(dialog, false, 0.33f, 0.05f);
    QVERIFY(dialog.saveScenario(scenarioFile));
    QTest::mouseClick(dialog.control<QPushButton>(app::IdRunMorvanta), Qt::LeftButton);
    const auto dialogTree = apptest::treeOf(fromDialog / "bProj");

    apptest::StartDirectory headless;
    QProcess build;
    build.setWorkingDirectory(QString::fromStdString(headless.path().string()));
    build.start(QStringLiteral(ESCAPE_BUILD_PROGRAM), {QStringLiteral("--scenario"), scenarioFile});
    QVERIFY(build.waitForFinished(60000));
    QCOMPARE(build.exitCode(), 0);
    QVERIFY(dialogTree == apptest::treeOf(headless / "bProj"));
#endif
}

void DialogScenarioTest::brokenFileChangesNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not JSON") << "broken.json" << QByteArray("{\"pairs\": 3,") << "not valid JSON";
    QTest::newRow("count out of range")
        << "big.json" << QByteArray("{\"pairs\": 150}") << "'pairs' must be a count";
    QTest::newRow("unknown key") << "typo.json" << QByteArray("{\"pair\": 3}") << "unknown key";
    QTest::newRow("third exit")
        << "exits.json" << QByteArray("{\"viewExits\": [[0,0],[0.1,0],[0.2,0]]}") << "third exit";
    QTest::newRow("floor missing")
        << "floor.json" << QByteArray("{\"pairs\": 1, \"floor\": \"nowhere/hall.kvx\"}")
        << "cannot read 'nowhere/hall.kvx'";
    // What escape-build refuses, the dialog refuses by the same words,
    // without waiting for a FIFO.
    QTest::newRow("floor a FIFO") << "fifo.json" << QByteArray("{\"floor\": \"pipe.kvx\"}")
                                  << "is a FIFO";
    QTest::newRow("floor a device") << "device.json" << QByteArray("{\"floor\": \"/dev/null\"}")
                                    << "is a device, not a regular file";
    QTest::newRow("floor path too long")
        << "long.json" << QByteArray("{\"floor\": \"" + QByteArray(5000, 'f') + "\"}")
        << "cannot read 'fff";
    QTest::newRow("exit beyond any world")
        << "far.json" << QByteArray("{\"viewExits\": [[1e38, 1e38]]}") << "lies beyond any world";
    QTest::newRow("no such file") << "" << QByteArray() << "cannot read it";
}

void DialogScenarioTest::brokenFileChangesNothing() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    apptest::StartDirectory start;
    const fs::path file = start / (name.isEmpty() ? std::string("missing.json") : name.toStdString());
    if (!name.isEmpty()) testsupport::writeFile(file, content.toStdString());
    QCOMPARE(::mkfifo((start / "pipe.kvx").c_str(), 0644), 0);
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    place(dialog, false, 0.1f, 0.1f);
    place(dialog, true, 0.6f, 0.1f);
    setCount(dialog, app::IdChildrenEdit, 17);
    const std::string before = dialog.scenarioText();
    const auto beforeStore = dialog.floorView()->placements();

    dialog.scenarioAnswers.push_back(QString::fromStdString(file.string()));
    menuAction(dialog, "openScenario")->trigger();
    QCOMPARE(dialog.messages.size(), std::size_t(1));
    QVERIFY2(dialog.messages[0].text.contains(QString::fromStdString(file.filename().string())),
             qPrintable(dialog.messages[0].text));
    QVERIFY2(dialog.messages[0].text.contains(reason), qPrintable(dialog.messages[0].text));
    QCOMPARE(dialog.scenarioText(), before);
    QCOMPARE(dialog.control<QRadioButton>(app::IdBasic)->isChecked(), true);
    QCOMPARE(dialog.floorView()->floorPath(), std::string("unchanged\\floor.kvx"));
    // Nothing new to undo: the first undo takes back the last click.
    menuAction(dialog, "undoPlacement")->trigger();
    QCOMPARE(dialog.floorView()->placements().exitCount, beforeStore.exitCount - 1);
    QCOMPARE(dialog.floorView()->placements().clusterCount, beforeStore.clusterCount);
}

void DialogScenarioTest::unwritableSaveIsReported() {
    apptest::StartDirectory start;
    TestDialog dialog;
    QVERIFY(apptest::showAndWait(dialog));
    const fs::path target = start / "no-such-folder" / "kept.json";
    QVERIFY(!dialog.saveScenario(QString::fromStdString(target.string())));
    QCOMPARE(dialog.messages.size(), std::size_t(1));
    QVERIFY(dialog.messages[0].text.contains(QStringLiteral("kept.json")));
    QVERIFY(!fs::exists(target));
}

APPTEST_MAIN(DialogScenarioTest)
#include "dialog_scenario_test.moc"
