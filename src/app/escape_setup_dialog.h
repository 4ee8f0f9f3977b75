#pragma once
// The main dialog "Morvanta Escape Simulation": the three people counts, the
// floor choice, the click mode of the floor plan view and the three build
// commands.

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QMessageBox>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_units.h"
#include "scenario/build_request.h"
#include "floorplan/floor_reader.h"
#include "generator/project_builder.h"
#include "platform/platform.h"
#include "scenario/scenario_settings.h"

class QAction;
class QButtonGroup;
class QMenu;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace floorplan {
class FloorPlanView;
}

namespace app {

class SpinArrows;

// Control ids of the dialog template. Each control carries its id as its Qt
// object name ("1013"), so tests and accessibility tools find it.
enum ControlId : int {
    IdCancel = 2,
    IdPlaceholder = 1001,
    IdRunMorvanta = 1002,
    IdCreateKvx = 1003,
    IdBasic = 1004,
    IdUserSelected = 1005,
    IdFloorPath = 1006,
    IdCreateAvi = 1007,
    IdBrowse = 1009,
    IdPairsSpin = 1012,
    IdPairsEdit = 1013,
    IdChildrenSpin = 1014,
    IdChildrenEdit = 1015,
    IdAdultsSpin = 1016,
    IdAdultsEdit = 1017,
    IdPlacePeople = 1018,
    IdPlaceExits = 1019,
    IdCountsHeading = 1021,
    IdFloorHeading = 1022,
    IdClickHeading = 1023,
};

inline constexpr int kMaxCount = 99;

class EscapeSetupDialog : public QDialog {
    Q_OBJECT

  public:
    explicit EscapeSetupDialog(QWidget* parent = nullptr);
    ~EscapeSetupDialog() override;

    // The control with the given id (its object name), or null.
    template <typename T = QWidget>
    T* control(int id) const {
        return findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
    }

    floorplan::FloorPlanView* floorView() const { return view_; }
    QFileDialog* floorChooser() const { return floorChooser_; }
    const QString& chosenFloorPath() const { return chosenFloorPath_; }
    const std::string& startDirectory() const { return startDirectory_; }
    const QFont& dialogFont() const { return dialogFont_; }
    const QFont& headingFont() const { return headingFont_; }
    const DialogUnits& units() const { return units_; }
    // The notice line below the floor path: what a build will simulate (the
    // people by role, the clusters used, the floor's size in metres as the
    // runtime reads it), after a warning when the view could not show the
    // floor asked for, or in red when the people cannot fit on it or it looks
    // drawn in metres without a Units line.
    QLabel* floorNotice() const { return floorNotice_; }

    // The floor view's right-click menu: "Undo last placement", "Clear
    // exits", "Clear people clusters", "Save scenario as...", "Open
    // scenario...". Its actions carry the dialog's shortcuts Ctrl+Z, Ctrl+S
    // and Ctrl+O.
    QMenu* viewMenu() const { return viewMenu_; }
    // Opens the menu at `pos` (view coordinates) without waiting for it.
    void showViewMenu(const QPoint& pos);

    // The scenario as a scenario file holds it (the file escape-build
    // --scenario reads): the counts, the recording of the file last opened
    // ("none" before), the placements in view units and, when "User
    // Selected" is on, the chosen floor.
    std::string scenarioText() const;
    // The same as a request, as escape-build reads it.
    scenario::BuildRequest scenarioRequest() const;
    // Write the scenario to `path` / read it from there. A failure is told in
    // a message naming the file, and changes nothing (an opened file that
    // cannot be read leaves every count, placement and the floor as they
    // were). Returns whether it worked.
    bool saveScenario(const QString& path);
    bool openScenario(const QString& path);
    // The menu's "Save scenario as..." and "Open scenario...": ask for the
    // file, then save or open it.
    void saveScenarioAs();
    void openScenarioAsked();

    // Fills the record of a build command from the edits and the view.
    scenario::ScenarioSettings gatherSettings(scenario::BuildCommand command) const;

    // The reactions, one for each event. The controls call them;
    // tests may too.
    void clampCount(QLineEdit* edit);
    void stepCount(QLineEdit* edit, int signedSize);
    void selectBasicFloor();
    void selectChosenFloor();
    void chooseFloorFile();
    void runBuildCommand(scenario::BuildCommand command);
    void undoPlacement();
    void clearExits();
    void clearClusters();

  protected:
    // The file chooser: returns the full path of the chosen file, or nothing
    // when the user cancels. By default runs `floorChooser()` modally; tests
    // override it to choose or cancel without a dialog.
    virtual std::optional<QString> askForFloorFile();

    // The chooser of a scenario file to save to (`forSaving`) or to open;
    // nothing when the user cancels. Tests override it.
    virtual std::optional<QString> askForScenarioFile(bool forSaving);

    // Every message box of the dialog goes through here, so tests can answer
    // without a modal box. Returns the button that was pressed.
    virtual QMessageBox::StandardButton showMessage(QMessageBox::Icon icon, const QString& title,
                                                    const QString& text,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton);

    // Starts the runtime in the start directory without waiting for it.
    virtual platform::LaunchResult startRuntime();

  private:
    void buildTemplate();
    void openingSteps();
    void showFloorReport(const floorplan::LoadReport& report);
    void buildViewMenu();
    void updateNotice();
    QString projectFolder() const;

    QIcon icon_;
    QFont dialogFont_;
    QFont headingFont_;
    DialogUnits units_;
    floorplan::FloorPlanView* view_ = nullptr;
    QFileDialog* floorChooser_ = nullptr;
    QString chosenFloorPath_;
    std::string startDirectory_;

    QLineEdit* pairsEdit_ = nullptr;
    QLineEdit* adultsEdit_ = nullptr;
    QLineEdit* childrenEdit_ = nullptr;
    QLineEdit* floorPathEdit_ = nullptr;
    QRadioButton* basicRadio_ = nullptr;
    QRadioButton* userSelectedRadio_ = nullptr;
    QRadioButton* placePeopleRadio_ = nullptr;
    QRadioButton* placeExitsRadio_ = nullptr;
    QButtonGroup* floorGroup_ = nullptr;
    QButtonGroup* clickModeGroup_ = nullptr;
    QPushButton* runButton_ = nullptr;
    QLabel* placeholder_ = nullptr;
    QLabel* floorNotice_ = nullptr;
    // The warning of the last floor load (empty when it loaded) and its
    // details for the notice's tool tip.
    QString floorProblem_;
    QString floorProblemDetail_;
    // The unit of the floor on show, as the runtime reads it.
    double floorMetresPerUnit_ = 0.1;
    bool floorUnitsStated_ = false;
    QMenu* viewMenu_ = nullptr;
    // What the last opened scenario file asked to record, written back when
    // the scenario is saved (the dialog's buttons choose for a build).
    std::string scenarioRecord_ = "none";
};

// The text of the warning that lists the failures of a build and asks
// whether to start the runtime anyway.
QString buildFailureMessage(const std::vector<generator::BuildFailure>& failures,
                            const QString& projectFolder);

}  // namespace app
