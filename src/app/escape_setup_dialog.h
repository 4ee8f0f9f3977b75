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
#include "floorplan/floor_reader.h"
#include "generator/project_builder.h"
#include "platform/platform.h"
#include "scenario/scenario_settings.h"

class QButtonGroup;
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
    // The small notice next to the floor path; hidden while the view shows
    // the floor that was asked for.
    QLabel* floorNotice() const { return floorNotice_; }

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

  protected:
    // The file chooser: returns the full path of the chosen file, or nothing
    // when the user cancels. By default runs `floorChooser()` modally; tests
    // override it to choose or cancel without a dialog.
    virtual std::optional<QString> askForFloorFile();

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
};

// The text of the warning that lists the failures of a build and asks
// whether to start the runtime anyway.
QString buildFailureMessage(const std::vector<generator::BuildFailure>& failures,
                            const QString& projectFolder);

}  // namespace app
