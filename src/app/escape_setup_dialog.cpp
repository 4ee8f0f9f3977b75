#include "app/escape_setup_dialog.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSaveFile>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/cluster_use.h"
#include "app/spin_arrows.h"
#include "scenario/build_record.h"
#include "scenario/build_request.h"
#include "floorplan/floor_plan_view.h"
#include "crowd/floor_outline.h"
#include "floorplan/floor_fit.h"
#include "floorplan/floor_units.h"
#include "floorplan/floor_check.h"
#include "platform/number_text.h"
#include "projectformat/project_files.h"

// Q_INIT_RESOURCE must be used outside any namespace. The icon lives in a
// static library, so its resource is registered explicitly.
static void initEscapeSetupResources() { Q_INIT_RESOURCE(escape_setup); }

namespace app {

namespace {

const char* const kTitle = "Morvanta Escape Simulation";

// The template's font, "Tahoma" at 8 points, when the system has it; the
// application's default face at 8 points otherwise.
QFont chooseDialogFont() {
    QFont font = QApplication::font();
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families) {
        if (family.compare(QStringLiteral("Tahoma"), Qt::CaseInsensitive) == 0) {
            font = QFont(family);
            break;
        }
    }
    font.setPointSize(8);
    font.setWeight(QFont::Normal);
    return font;
}

QIcon loadApplicationIcon() {
    initEscapeSetupResources();
    QIcon icon;
    icon.addFile(QStringLiteral(":/escape-setup/icon-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/escape-setup/icon-16.png"), QSize(16, 16));
    return icon;
}

// The path in the form the file system layer expects (the local 8-bit
// encoding of file names).
std::string toSystemPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

QString buildFailureMessage(const std::vector<generator::BuildFailure>& failures,
                            const QString& projectFolder) {
    constexpr std::size_t kShown = 12;
    QString text = QObject::tr(
                       "The project in %1 could not be written completely. "
                       "%n step(s) failed:",
                       nullptr, static_cast<int>(failures.size()))
                       .arg(projectFolder);
    text += QLatin1Char('\n');
    const std::size_t shown = std::min(failures.size(), kShown);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto& failure = failures[i];
        text += QStringLiteral("\n\u2022 ") + QString::fromStdString(failure.path);
        const std::string reason = failure.reason();
        if (!reason.empty()) text += QStringLiteral(": ") + QString::fromStdString(reason);
    }
    if (failures.size() > shown) {
        text += QLatin1Char('\n') + QObject::tr("\u2022 and %n more", nullptr,
                                                static_cast<int>(failures.size() - shown));
    }
    text += QStringLiteral("\n\n") + QObject::tr("Start the Morvanta runtime anyway?");
    return text;
}

EscapeSetupDialog::EscapeSetupDialog(QWidget* parent)
    : QDialog(parent),
      icon_(loadApplicationIcon()),
      dialogFont_(chooseDialogFont()),
      headingFont_(dialogFont_),
      units_(DialogUnits::forFont(dialogFont_)) {
    buildTemplate();
    openingSteps();
}

EscapeSetupDialog::~EscapeSetupDialog() = default;

// The dialog's layout: the controls in template order, which
// is also the tab order.
void EscapeSetupDialog::buildTemplate() {
    setWindowTitle(QString::fromLatin1(kTitle));
    // A caption with a close box and a modal frame; no minimise, maximise or
    // help box; not resizable.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(dialogFont_);
    setFixedSize(units_.toPixelsX(348), units_.toPixelsY(182));
    setSizeGripEnabled(false);

    auto place = [this](QWidget* widget, const QString& name, int x, int y, int w, int h) {
        widget->setObjectName(name);
        widget->setGeometry(units_.toPixels(x, y, w, h));
    };
    auto label = [&](const QString& name, const QString& text, int x, int y, int w, int h) {
        auto* l = new QLabel(text, this);
        // Static text of the platform: left aligned, from the top.
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(l, name, x, y, w, h);
        return l;
    };
    auto button = [&](int id, const QString& text, int x, int y, int w, int h) {
        auto* b = new QPushButton(text, this);
        b->setAutoDefault(true);
        b->setFocusPolicy(Qt::StrongFocus);
        place(b, QString::number(id), x, y, w, h);
        return b;
    };
    auto radio = [&](int id, const QString& text, int x, int y, int w, int h) {
        auto* r = new QRadioButton(text, this);
        // No tab stop in the template: reached by the mouse only.
        r->setFocusPolicy(Qt::ClickFocus);
        place(r, QString::number(id), x, y, w, h);
        return r;
    };
    auto countEdit = [&](int id, int x, int y, int w, int h) {
        auto* e = new QLineEdit(this);
        e->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
        e->setFocusPolicy(Qt::StrongFocus);
        place(e, QString::number(id), x, y, w, h);
        return e;
    };
    auto spin = [&](int id, int x, int y, int w, int h) {
        auto* s = new SpinArrows(this);
        place(s, QString::number(id), x, y, w, h);
        return s;
    };

    label(QString::number(IdCountsHeading), tr("Number of each type (99 max each)"), 7, 7, 159, 14);

    placeholder_ = label(QString::number(IdPlaceholder), QString(), 178, 50, 163, 125);
    placeholder_->setFrameStyle(QFrame::Box | QFrame::Plain);
    placeholder_->setLineWidth(1);
    placeholder_->hide();

    runButton_ = button(IdRunMorvanta, tr("Run Morvanta"), 7, 147, 60, 14);
    runButton_->setDefault(true);

    label(QString::number(IdFloorHeading), tr("Floor Plan Choice"), 7, 78, 79, 15);
    QLabel* pairsLabel =
        label(QStringLiteral("labelPairs"), tr("Number of Mother and Child Pairs"), 14, 22, 109, 9);

    basicRadio_ = radio(IdBasic, tr("Basic"), 7, 92, 32, 10);
    userSelectedRadio_ = radio(IdUserSelected, tr("User Selected"), 7, 105, 60, 10);

    floorPathEdit_ = new QLineEdit(this);
    floorPathEdit_->setReadOnly(true);
    floorPathEdit_->setFocusPolicy(Qt::ClickFocus);
    floorPathEdit_->setAccessibleName(tr("Floor file"));
    place(floorPathEdit_, QString::number(IdFloorPath), 7, 119, 123, 14);

    QPushButton* kvxButton = button(IdCreateKvx, tr("Create KVX"), 78, 147, 60, 14);
    QPushButton* aviButton = button(IdCreateAvi, tr("Create AVI"), 78, 161, 60, 14);
    QPushButton* cancelButton = button(IdCancel, tr("Cancel"), 7, 161, 60, 14);
    QPushButton* browseButton = button(IdBrowse, tr("..."), 133, 119, 14, 14);
    browseButton->setAccessibleName(tr("Choose floor file"));
    browseButton->setToolTip(tr("Choose a floor file (*.kvx)"));

    SpinArrows* pairsSpin = spin(IdPairsSpin, 142, 20, 11, 14);
    pairsEdit_ = countEdit(IdPairsEdit, 122, 20, 17, 14);
    SpinArrows* childrenSpin = spin(IdChildrenSpin, 142, 55, 11, 14);
    childrenEdit_ = countEdit(IdChildrenEdit, 122, 55, 17, 14);
    QLabel* adultsLabel =
        label(QStringLiteral("labelAdults"), tr("Number of Additional Adults"), 14, 41, 90, 9);
    SpinArrows* adultsSpin = spin(IdAdultsSpin, 142, 38, 11, 14);
    adultsEdit_ = countEdit(IdAdultsEdit, 122, 38, 17, 14);
    QLabel* childrenLabel =
        label(QStringLiteral("labelChildren"), tr("Number of Additional Children"), 14, 58, 100, 8);

    placePeopleRadio_ =
        radio(IdPlacePeople, tr("Place People (10 people in each click)"), 195, 21, 131, 10);
    placeExitsRadio_ = radio(IdPlaceExits, tr("Place Exits (2 maximum)"), 195, 31, 93, 10);
    label(QString::number(IdClickHeading), tr("Clicking the Interface will:"), 200, 7, 125, 14);

    // Not in the template: the notice of what a build will simulate (the
    // people, the clusters used, the floor's size in metres) and of what is
    // wrong with the floor. Two lines in a smaller face, between the floor
    // path and the buttons.
    floorNotice_ = new QLabel(this);
    floorNotice_->setObjectName(QStringLiteral("floorNotice"));
    floorNotice_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    floorNotice_->setWordWrap(true);
    QFont noticeFont = dialogFont_;
    noticeFont.setPointSize(7);
    floorNotice_->setFont(noticeFont);
    floorNotice_->setGeometry(units_.toPixels(7, 133, 168, 14));

    // Accessibility: each count edit is named by the label of its row.
    pairsLabel->setBuddy(pairsEdit_);
    adultsLabel->setBuddy(adultsEdit_);
    childrenLabel->setBuddy(childrenEdit_);
    pairsEdit_->setAccessibleName(pairsLabel->text());
    adultsEdit_->setAccessibleName(adultsLabel->text());
    childrenEdit_->setAccessibleName(childrenLabel->text());
    pairsSpin->setAccessibleName(tr("Step the pairs count"));
    adultsSpin->setAccessibleName(tr("Step the adults count"));
    childrenSpin->setAccessibleName(tr("Step the children count"));

    // Two independent radio groups.
    floorGroup_ = new QButtonGroup(this);
    floorGroup_->setExclusive(true);
    floorGroup_->addButton(basicRadio_, IdBasic);
    floorGroup_->addButton(userSelectedRadio_, IdUserSelected);
    clickModeGroup_ = new QButtonGroup(this);
    clickModeGroup_->setExclusive(true);
    clickModeGroup_->addButton(placePeopleRadio_, IdPlacePeople);
    clickModeGroup_->addButton(placeExitsRadio_, IdPlaceExits);

    // The tab order of the template.
    QWidget* tabOrder[] = {runButton_,   kvxButton,  aviButton,     cancelButton,
                           browseButton, pairsEdit_, childrenEdit_, adultsEdit_};
    for (std::size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);

    // Reactions.
    connect(pairsEdit_, &QLineEdit::textChanged, this, [this] { clampCount(pairsEdit_); });
    connect(adultsEdit_, &QLineEdit::textChanged, this, [this] { clampCount(adultsEdit_); });
    connect(childrenEdit_, &QLineEdit::textChanged, this, [this] { clampCount(childrenEdit_); });
    connect(pairsSpin, &SpinArrows::stepped, this, [this](int d) { stepCount(pairsEdit_, d); });
    connect(adultsSpin, &SpinArrows::stepped, this, [this](int d) { stepCount(adultsEdit_, d); });
    connect(childrenSpin, &SpinArrows::stepped, this,
            [this](int d) { stepCount(childrenEdit_, d); });
    connect(basicRadio_, &QRadioButton::clicked, this, &EscapeSetupDialog::selectBasicFloor);
    connect(userSelectedRadio_, &QRadioButton::clicked, this,
            &EscapeSetupDialog::selectChosenFloor);
    connect(browseButton, &QPushButton::clicked, this, &EscapeSetupDialog::chooseFloorFile);
    connect(runButton_, &QPushButton::clicked, this,
            [this] { runBuildCommand(scenario::BuildCommand::RunMorvanta); });
    connect(kvxButton, &QPushButton::clicked, this,
            [this] { runBuildCommand(scenario::BuildCommand::CreateKvx); });
    connect(aviButton, &QPushButton::clicked, this,
            [this] { runBuildCommand(scenario::BuildCommand::CreateAvi); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    for (QLineEdit* count : {pairsEdit_, adultsEdit_, childrenEdit_})
        connect(count, &QLineEdit::textChanged, this, [this] { updateNotice(); });
    buildViewMenu();

    // The file chooser lives as long as the dialog, so a second opening
    // starts where the first ended.
    floorChooser_ = new QFileDialog(this, tr("Open"));
    floorChooser_->setObjectName(QStringLiteral("floorChooser"));
    floorChooser_->setOption(QFileDialog::DontUseNativeDialog, true);
    floorChooser_->setAcceptMode(QFileDialog::AcceptOpen);
    floorChooser_->setFileMode(QFileDialog::ExistingFile);
    floorChooser_->setNameFilter(tr("KVX World Files (*.kvx)"));
    floorChooser_->setDefaultSuffix(QStringLiteral("kvx"));
    floorChooser_->selectFile(QStringLiteral("floor.kvx"));
}

// The opening steps, in their order.
void EscapeSetupDialog::openingSteps() {
    // 2. The application icon, large and small.
    setWindowIcon(icon_);
    // 3. "Basic" and "Place People".
    basicRadio_->setChecked(true);
    placePeopleRadio_->setChecked(true);
    // 4. The rectangle of the placeholder, its border included.
    const QRect viewRect = placeholder_->geometry();
    // 5. The counts, each write running the count clamp.
    pairsEdit_->setText(QString::number(5));
    adultsEdit_->setText(QString::number(5));
    childrenEdit_->setText(QString::number(5));
    // 6. The heading font.
    headingFont_ = dialogFont_;
    headingFont_.setWeight(QFont::Bold);
    for (int id : {IdCountsHeading, IdFloorHeading, IdClickHeading}) {
        if (QLabel* heading = control<QLabel>(id)) {
            heading->setFont(headingFont_);
            heading->update();
        }
    }
    // 7. The start directory.
    startDirectory_ = platform::currentDirectory();
    // 8. The chosen floor path, shown in the floor-path edit.
    chosenFloorPath_ = QString::fromLatin1(floorplan::kBasicFloorPath);
    floorPathEdit_->setText(chosenFloorPath_);
    floorPathEdit_->setToolTip(chosenFloorPath_);
    // 9. The floor plan view on the placeholder's rectangle. It loads its own
    // default floor, the basic floor.
    view_ = new floorplan::FloorPlanView(this);
    view_->setObjectName(QStringLiteral("floorPlanView"));
    view_->setFocusPolicy(Qt::NoFocus);
    view_->setAccessibleName(tr("Floor plan"));
    view_->setGeometry(viewRect);
    view_->setExitModeQuery([this] { return placeExitsRadio_->isChecked(); });
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this, &EscapeSetupDialog::showViewMenu);
    connect(view_, &floorplan::FloorPlanView::placementsChanged, this, [this] { updateNotice(); });
    connect(view_, &floorplan::FloorPlanView::floorLoaded, this,
            [this](const floorplan::LoadReport& report) { showFloorReport(report); });
    if (!view_->lastLoad().requestedPath.empty()) showFloorReport(view_->lastLoad());
    updateNotice();
    view_->show();

    // The focus starts on "Run Morvanta", the first tab stop.
    runButton_->setFocus(Qt::OtherFocusReason);
}

void EscapeSetupDialog::clampCount(QLineEdit* edit) {
    const int value = scenario::countFromText(edit->text().toStdString());
    // Replacing the text raises one more change, which finds it in range.
    if (value < 0) {
        edit->setText(QStringLiteral("0"));
    } else if (value > kMaxCount) {
        edit->setText(QString::number(kMaxCount));
    }
}

void EscapeSetupDialog::stepCount(QLineEdit* edit, int signedSize) {
    if (signedSize == 0) return;
    long long value = scenario::countFromText(edit->text().toStdString());
    value += signedSize;
    value = std::clamp<long long>(value, 0, kMaxCount);
    edit->setText(QString::number(value));
}

void EscapeSetupDialog::selectBasicFloor() {
    basicRadio_->setChecked(true);
    platform::setCurrentDirectory(startDirectory_);
    view_->setScale(0.0f);
    showFloorReport(view_->setFloorPath(floorplan::kBasicFloorPath));
    // chosenFloorPath and the floor-path edit stay as they are.
}

void EscapeSetupDialog::selectChosenFloor() {
    userSelectedRadio_->setChecked(true);
    view_->setScale(0.0f);
    showFloorReport(view_->setFloorPath(toSystemPath(chosenFloorPath_)));
}

void EscapeSetupDialog::chooseFloorFile() {
    const std::optional<QString> chosen = askForFloorFile();
    if (!chosen || chosen->isEmpty()) return;  // cancelled: nothing changes
    chosenFloorPath_ = *chosen;
    floorPathEdit_->setText(chosenFloorPath_);
    floorPathEdit_->setToolTip(chosenFloorPath_);
    userSelectedRadio_->setChecked(true);
    view_->setScale(0.0f);
    showFloorReport(view_->setFloorPath(toSystemPath(chosenFloorPath_)));
}

std::optional<QString> EscapeSetupDialog::askForFloorFile() {
    if (chosenFloorPath_ != QString::fromLatin1(floorplan::kBasicFloorPath))
        floorChooser_->selectFile(chosenFloorPath_);
    if (floorChooser_->exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = floorChooser_->selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    return QDir::toNativeSeparators(QFileInfo(files.first()).absoluteFilePath());
}

void EscapeSetupDialog::showFloorReport(const floorplan::LoadReport& report) {
    using floorplan::LoadOutcome;
    floorProblem_.clear();
    floorProblemDetail_.clear();
    if (report.outcome != LoadOutcome::Loaded) {
        const QString requested = QString::fromStdString(report.requestedPath);
        floorProblemDetail_ = tr("Could not use %1").arg(requested);
        if (!report.reason.empty())
            floorProblemDetail_ += QStringLiteral(": ") + QString::fromStdString(report.reason);
        if (report.outcome == LoadOutcome::FellBack) {
            floorProblem_ = tr("No floor mesh in this file: basic floor shown.");
        } else {
            floorProblem_ = tr("No floor mesh found, not even the basic floor.");
            floorProblemDetail_ +=
                QLatin1Char('\n') +
                tr("The basic floor unchanged\\floor.kvx is looked for below the directory "
                   "the tool was started from.");
        }
    }
    // The floor's unit as the runtime reads it: its Units line, else
    // decimetres.
    floorMetresPerUnit_ = 1.0 / projectformat::kWorldUnitsPerMetre;
    floorUnitsStated_ = false;
    if (report.outcome != LoadOutcome::NoFloor) {
        try {
            if (const auto stated = floorplan::statedMetresPerUnitOfFile(
                    platform::nativePath(report.loadedPath))) {
                floorMetresPerUnit_ = *stated;
                floorUnitsStated_ = true;
            }
        } catch (const std::invalid_argument& e) {
            floorProblem_ = tr("The runtime cannot read this floor's Units line.");
            floorProblemDetail_ = QString::fromStdString(report.loadedPath + ": " + e.what());
        }
    }
    // The runtime's own check of the floor on show: a warning only, the
    // project is still built as asked.
    if (report.outcome != LoadOutcome::NoFloor && view_ != nullptr && floorProblem_.isEmpty()) {
        std::vector<crowd::Vec2> outline;
        for (const auto& v : view_->outline()) outline.push_back({v[0], v[1]});
        const crowd::FloorOutlineCheck check =
            floorplan::checkProjectFloor(outline, floorMetresPerUnit_);
        if (!check.problem.empty()) {
            floorProblem_ = tr("The runtime cannot simulate this floor.");
            floorProblemDetail_ = QString::fromStdString(check.warning());
        } else if (check.crossesItself) {
            floorProblem_ = tr("The floor outline crosses itself: its convex hull is simulated.");
            floorProblemDetail_ = QString::fromStdString(check.warning());
        }
    }
    updateNotice();
}

void EscapeSetupDialog::updateNotice() {
    if (floorNotice_ == nullptr) return;
    // What the line says, most important first: a floor that could not be
    // shown, or people that cannot fit (red), or a floor that looks drawn in
    // metres (red); then the people and clusters; then the floor's size.
    QString alarm, counts, size, detail;
    if (view_ != nullptr) {
        const ClusterUse use = clusterUse(scenario::countFromText(pairsEdit_->text().toStdString()),
                                          scenario::countFromText(adultsEdit_->text().toStdString()),
                                          scenario::countFromText(childrenEdit_->text().toStdString()),
                                          view_->placements(), view_->scale(), view_->outline());
        counts = QString::fromStdString(clusterUseText(use));
        view_->setHollowClusters(use.hollow);
        if (floorProblem_.isEmpty() && view_->outline().size() >= 3) {
            crowd::Polygon metres;
            for (const auto& v : view_->outline())
                metres.push_back({v[0] * floorMetresPerUnit_, v[1] * floorMetresPerUnit_});
            const floorplan::FloorFit fit = floorplan::checkFloorFit(
                crowd::checkFloorOutline(metres).walkable, floorUnitsStated_, use.people);
            const QString sizeText = QString::fromStdString(floorplan::floorSizeText(fit));
            size = tr("floor %1").arg(sizeText);
            if (!floorUnitsStated_) size += tr(" (no Units line: decimetres)");
            if (!fit.fits) {
                alarm = tr("%1 people cannot fit on %2 (%3 per m\u00b2, bodies hold %4)")
                            .arg(use.people)
                            .arg(sizeText, QString::fromStdString(platform::fixedText(fit.density, 1)),
                                 QString::fromStdString(
                                     platform::fixedText(floorplan::kMaxStandingDensity, 1)));
                if (!floorUnitsStated_) alarm += tr(": metres without \"Units 1.0\"?");
                detail = QString::fromStdString(floorplan::noRoomText(
                    platform::nativePath(view_->floorPath()), fit, floorUnitsStated_,
                    floorMetresPerUnit_));
            } else if (fit.looksLikeMetres) {
                alarm = tr("Floor only %1: metres without \"Units 1.0\"?").arg(sizeText);
                detail = QString::fromStdString(
                    floorplan::smallFloorText(platform::nativePath(view_->floorPath()), fit));
            }
        }
    }
    QPalette palette = this->palette();
    QStringList parts;
    QString tip;
    if (!floorProblem_.isEmpty()) {
        palette.setColor(QPalette::WindowText, QColor(0x9a, 0x3b, 0x00));
        parts = {floorProblem_, counts};
        tip = floorProblemDetail_ + QStringLiteral("\n") + counts;
    } else if (!alarm.isEmpty()) {
        palette.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
        parts = {alarm, counts};
        tip = detail + QStringLiteral("\n") + counts;
    } else {
        parts = {counts, size};
        tip = counts + QStringLiteral("\n") + size;
    }
    // As many parts as the line's two rows hold; all of them in the tip.
    const QFontMetrics metrics(floorNotice_->font());
    const QRect room(0, 0, floorNotice_->width(), floorNotice_->height());
    QString text;
    for (const QString& part : parts) {
        if (part.isEmpty()) continue;
        const QString longer = text.isEmpty() ? part : text + QStringLiteral("; ") + part;
        if (!text.isEmpty() &&
            metrics.boundingRect(room, Qt::TextWordWrap, longer).height() > room.height())
            break;
        text = longer;
    }
    floorNotice_->setPalette(palette);
    floorNotice_->setText(text);
    floorNotice_->setToolTip(tip.trimmed());
    floorNotice_->setVisible(!text.isEmpty());
}

void EscapeSetupDialog::buildViewMenu() {
    viewMenu_ = new QMenu(this);
    viewMenu_->setObjectName(QStringLiteral("viewMenu"));
    auto add = [this](const QString& text, const QString& name, QKeySequence::StandardKey key,
                      void (EscapeSetupDialog::*reaction)()) {
        QAction* action = viewMenu_->addAction(text);
        action->setObjectName(name);
        if (key != QKeySequence::UnknownKey) {
            action->setShortcut(QKeySequence(key));
            action->setShortcutContext(Qt::WindowShortcut);
            // On the dialog too, so the shortcut works without the menu.
            addAction(action);
        }
        connect(action, &QAction::triggered, this, reaction);
        return action;
    };
    QAction* undo = add(tr("Undo last placement"), QStringLiteral("undoPlacement"),
                        QKeySequence::Undo, &EscapeSetupDialog::undoPlacement);
    add(tr("Clear exits"), QStringLiteral("clearExits"), QKeySequence::UnknownKey,
        &EscapeSetupDialog::clearExits);
    add(tr("Clear people clusters"), QStringLiteral("clearClusters"), QKeySequence::UnknownKey,
        &EscapeSetupDialog::clearClusters);
    viewMenu_->addSeparator();
    add(tr("Save scenario as\u2026"), QStringLiteral("saveScenario"), QKeySequence::Save,
        &EscapeSetupDialog::saveScenarioAs);
    add(tr("Open scenario\u2026"), QStringLiteral("openScenario"), QKeySequence::Open,
        &EscapeSetupDialog::openScenarioAsked);
    connect(viewMenu_, &QMenu::aboutToShow, this,
            [this, undo] { undo->setEnabled(view_ != nullptr && view_->canUndo()); });
}

void EscapeSetupDialog::undoPlacement() {
    if (view_ != nullptr) view_->undoPlacement();
}

void EscapeSetupDialog::clearExits() {
    if (view_ != nullptr) view_->clearExits();
}

void EscapeSetupDialog::clearClusters() {
    if (view_ != nullptr) view_->clearClusters();
}

void EscapeSetupDialog::showViewMenu(const QPoint& pos) {
    viewMenu_->popup(view_->mapToGlobal(pos));
}

std::string EscapeSetupDialog::scenarioText() const {
    return scenario::scenarioFileText(scenarioRequest());
}

scenario::BuildRequest EscapeSetupDialog::scenarioRequest() const {
    scenario::BuildRequest request;
    request.pairs = scenario::countFromText(pairsEdit_->text().toStdString());
    request.adults = scenario::countFromText(adultsEdit_->text().toStdString());
    request.children = scenario::countFromText(childrenEdit_->text().toStdString());
    request.record = scenarioRecord_;
    if (userSelectedRadio_->isChecked()) request.floor = chosenFloorPath_.toStdString();
    const floorplan::PlacementStore& store = view_->placements();
    auto inViewUnits = [](const auto& points, int count) {
        std::vector<scenario::Placement> out;
        for (int k = 0; k < count; ++k) {
            const auto& p = points[static_cast<std::size_t>(k)];
            out.push_back({true, p.x, p.y});
        }
        return out;
    };
    request.exits = inViewUnits(store.exits, std::clamp(store.exitCount, 0, scenario::kMaxExits));
    request.clusters =
        inViewUnits(store.clusters, std::clamp(store.clusterCount, 0, scenario::kMaxClusters));
    return request;
}

bool EscapeSetupDialog::saveScenario(const QString& path) {
    // Written whole to a temporary file and then renamed over the target:
    // a failed save never leaves a half-written scenario.
    QSaveFile file(path);
    const QByteArray bytes = QByteArray::fromStdString(scenarioText());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        showMessage(QMessageBox::Warning, QString::fromLatin1(kTitle),
                    tr("The scenario could not be saved to %1:\n%2")
                        .arg(QDir::toNativeSeparators(path), file.errorString()),
                    QMessageBox::Ok, QMessageBox::Ok);
        return false;
    }
    return true;
}

bool EscapeSetupDialog::openScenario(const QString& path) {
    const QString shown = QDir::toNativeSeparators(path);
    auto refuse = [&](const QString& why) {
        showMessage(QMessageBox::Warning, QString::fromLatin1(kTitle),
                    tr("The scenario %1 could not be opened; nothing was changed.\n%2")
                        .arg(shown, why),
                    QMessageBox::Ok, QMessageBox::Ok);
        return false;
    };
    // Everything is read and checked before anything changes.
    scenario::BuildRequest request;
    try {
        request = scenario::readScenarioFile(toSystemPath(path));
    } catch (const scenario::UsageError& e) {
        return refuse(QString::fromStdString(e.what()));
    }
    std::optional<QString> floor;
    float scale = floorplan::FloorMeshReader{}.scale;
    {
        floorplan::FloorMeshReader reader;
        floorplan::OutlineSink none;
        std::string floorFile = floorplan::kBasicFloorPath;
        if (request.floor) {
            // A relative floor is taken from the start directory, as
            // escape-build takes it from its --dir.
            std::filesystem::path file = platform::nativePath(*request.floor);
            if (file.is_relative()) file = platform::nativePath(startDirectory_) / file;
            floor = QDir::toNativeSeparators(QString::fromStdString(file.lexically_normal().string()));
            // As escape-build checks it: a FIFO or a device is refused by
            // name, without waiting for it.
            try {
                scenario::checkFloorFile(*request.floor, startDirectory_, "floor");
            } catch (const scenario::UsageError& e) {
                return refuse(QString::fromStdString(e.what()));
            }
            floorFile = file.string();
        } else {
            platform::setCurrentDirectory(startDirectory_);
        }
        reader.setFloorPath(floorFile, none);
        scale = reader.scale;
    }
    // Every exit and cluster must be a finite world position at this
    // floor's scale, as escape-build requires.
    try {
        scenario::checkScenario(request, startDirectory_, scale, "floor");
    } catch (const scenario::UsageError& e) {
        return refuse(QString::fromStdString(e.what()));
    }
    // Positions in world units are placed where the view shows them on this
    // floor (the inverse of the view-to-world rule).
    floorplan::PlacementStore store;
    auto toView = [scale](const scenario::Placement& p, scenario::PlacementKind kind) {
        if (p.inViewUnits) return floorplan::ViewPoint{p.first, p.second};
        const scenario::WorldPosition unit = scenario::viewToWorld(kind, 1.0f, 1.0f, scale);
        const auto inverse = [](float world, float perView) {
            return perView != 0.0f ? world / perView : 0.0f;
        };
        return floorplan::ViewPoint{inverse(p.first, unit.x), inverse(p.second, unit.z)};
    };
    for (const scenario::Placement& p : request.exits.value_or(std::vector<scenario::Placement>{}))
        store.placeExit(toView(p, scenario::PlacementKind::Exit));
    for (const scenario::Placement& p : request.clusters.value_or(std::vector<scenario::Placement>{}))
        store.placeCluster(toView(p, scenario::PlacementKind::Cluster));

    // Apply: counts (escape-build's defaults for missing ones), recording,
    // floor, placements (one step that "Undo last placement" takes back).
    constexpr int kDefaultCount = 5;
    pairsEdit_->setText(QString::number(request.pairs.value_or(kDefaultCount)));
    adultsEdit_->setText(QString::number(request.adults.value_or(kDefaultCount)));
    childrenEdit_->setText(QString::number(request.children.value_or(kDefaultCount)));
    scenarioRecord_ = request.record.value_or("none");
    if (floor) {
        chosenFloorPath_ = *floor;
        floorPathEdit_->setText(chosenFloorPath_);
        floorPathEdit_->setToolTip(chosenFloorPath_);
        selectChosenFloor();
    } else {
        selectBasicFloor();
    }
    view_->replacePlacements(store);
    return true;
}

void EscapeSetupDialog::saveScenarioAs() {
    if (const std::optional<QString> path = askForScenarioFile(true); path && !path->isEmpty())
        saveScenario(*path);
}

void EscapeSetupDialog::openScenarioAsked() {
    if (const std::optional<QString> path = askForScenarioFile(false); path && !path->isEmpty())
        openScenario(*path);
}

std::optional<QString> EscapeSetupDialog::askForScenarioFile(bool forSaving) {
    QFileDialog chooser(this, forSaving ? tr("Save scenario as") : tr("Open scenario"));
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    chooser.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    chooser.setNameFilter(tr("Scenario files (*.json)"));
    chooser.setDefaultSuffix(QStringLiteral("json"));
    chooser.setDirectory(QString::fromStdString(startDirectory_));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return chooser.selectedFiles().first();
}

QString EscapeSetupDialog::projectFolder() const {
    const auto folder = (platform::nativePath(startDirectory_) / projectformat::kProjectFolder).lexically_normal();
    return QDir::toNativeSeparators(QString::fromStdString(folder.string()));
}

scenario::ScenarioSettings EscapeSetupDialog::gatherSettings(scenario::BuildCommand command) const {
    scenario::ScenarioInput input;
    input.pairCount = scenario::countFromText(pairsEdit_->text().toStdString());
    input.adultCount = scenario::countFromText(adultsEdit_->text().toStdString());
    input.childCount = scenario::countFromText(childrenEdit_->text().toStdString());
    input.command = command;
    const floorplan::PlacementStore& store = view_->placements();
    for (int k = 0; k < std::clamp(store.exitCount, 0, floorplan::PlacementStore::kMaxExits); ++k) {
        const auto& p = store.exits[static_cast<std::size_t>(k)];
        input.exits.push_back({p.x, p.y});
    }
    for (int j = 0; j < std::clamp(store.clusterCount, 0, floorplan::PlacementStore::kMaxClusters);
         ++j) {
        const auto& p = store.clusters[static_cast<std::size_t>(j)];
        input.clusters.push_back({p.x, p.y});
    }
    input.scale = view_->scale();
    input.floorPath = view_->floorPath();
    input.startDirectory = startDirectory_;
    return scenario::makeScenarioSettings(input);
}

void EscapeSetupDialog::runBuildCommand(scenario::BuildCommand command) {
    const scenario::ScenarioSettings settings = gatherSettings(command);
    // The start directory is current after every build, as after "Basic":
    // the runtime and the floor paths the view holds are relative to it.
    platform::setCurrentDirectory(startDirectory_);
    const std::vector<generator::BuildFailure> failures =
        generator::buildProject(settings, platform::nativePath(startDirectory_)).failures;
    // The scenario of this build beside the tree: the runtime gives the
    // people the roles typed here (cli/build_record.h).
    scenario::BuildRequest record = scenarioRequest();
    record.record = command == scenario::BuildCommand::CreateKvx   ? "kvx"
                    : command == scenario::BuildCommand::CreateAvi ? "avi"
                                                                   : "none";
    if (view_->lastLoad().outcome != floorplan::LoadOutcome::Loaded)
        record.floor.reset();  // the view fell back: the basic floor was built
    const std::string recordProblem =
        scenario::writeBuildRecord(platform::nativePath(startDirectory_), record);
    if (!recordProblem.empty())
        showMessage(QMessageBox::Warning, QString::fromLatin1(kTitle),
                    tr("The project was written, but not the record of its scenario beside it:\n%1\n\n"
                       "The runtime will give the people the roles of the startup script's rule.")
                        .arg(QString::fromStdString(recordProblem)),
                    QMessageBox::Ok, QMessageBox::Ok);
    if (!failures.empty()) {
        // Mend: a build that did not do all its work is not passed off as a
        // success. One warning lists what failed; "No" keeps the dialog open.
        const QMessageBox::StandardButton answer =
            showMessage(QMessageBox::Warning, QString::fromLatin1(kTitle),
                        buildFailureMessage(failures, projectFolder()),
                        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) return;
    }
    const platform::LaunchResult launch = startRuntime();
    if (!launch.started) {
        QString text = tr("The Morvanta runtime could not be started.");
        if (!launch.error.empty()) text += QLatin1Char('\n') + QString::fromStdString(launch.error);
        text += QStringLiteral("\n\n") + tr("The project was written to %1.").arg(projectFolder());
        text += QLatin1Char('\n') +
                tr("Set %1 to the runtime's program to have it started after a build.")
                    .arg(QString::fromLatin1(platform::kRuntimeEnvironmentVariable));
        showMessage(QMessageBox::Warning, QString::fromLatin1(kTitle), text, QMessageBox::Ok,
                    QMessageBox::Ok);
    }
    accept();
}

QMessageBox::StandardButton EscapeSetupDialog::showMessage(
    QMessageBox::Icon icon, const QString& title, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, title, text, buttons, this);
    box.setObjectName(QStringLiteral("escapeSetupMessage"));
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

platform::LaunchResult EscapeSetupDialog::startRuntime() {
    return platform::startRuntime(startDirectory_);
}

}  // namespace app
