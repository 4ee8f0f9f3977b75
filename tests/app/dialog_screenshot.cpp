// Draws the dialog as a user sees it after a few clicks and saves a picture:
// the basic floor, two exits and several people clusters. Run from the
// repository root under a display (the basic floor is looked for below the
// current directory):
//   xvfb-run -a build/bin/app_dialog_screenshot docs/dialog.png [FLOOR.kvx]
// With a floor file, the tool first chooses that file through "...".

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QRadioButton>
#include <QTest>
#include <cstdio>

#include "app/escape_setup_dialog.h"
#include "floorplan/floor_plan_view.h"

namespace {

// The dialog with a file chooser that picks one given file.
class ScreenshotDialog : public app::EscapeSetupDialog {
  public:
    QString floorFile;

  protected:
    std::optional<QString> askForFloorFile() override {
        if (floorFile.isEmpty()) return std::nullopt;
        return std::optional<QString>(floorFile);
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [FLOOR.kvx]\n", argv[0]);
        return 2;
    }
    ScreenshotDialog dialog;
    if (argc > 2) dialog.floorFile = QString::fromLocal8Bit(argv[2]);
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) {
        std::fprintf(stderr, "the dialog was not shown\n");
        return 1;
    }
    floorplan::FloorPlanView* view = dialog.floorView();
    QTest::qWait(200);
    if (!dialog.floorFile.isEmpty()) dialog.chooseFloorFile();

    // Clusters in the room, then an exit in the alcove of the north wall and
    // one at the doorway of the south wall. Positions are floor coordinates
    // (x, z) of the basic floor, whose scale is 70.
    const QPointF clusters[] = {{-40, -20}, {-12, -26}, {24, -18}, {46, 8},
                                {-30, 14},  {8, 18},    {-52, -2}, {34, 26}};
    const QPointF exits[] = {{0, -54}, {0, 35}};
    auto clickAt = [view](QPointF floor) {
        const double s = 1.0 / (view->scale() + 1.0);
        const double fx = (floor.x() * s + 1.0) / 2.0;
        const double fy = (floor.y() * s + 1.0) / 2.0;
        const QPoint pixel(static_cast<int>(fx * view->width()),
                           static_cast<int>(fy * view->height()));
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, pixel);
    };
    for (QPointF c : clusters) clickAt(c);
    QTest::mouseClick(dialog.control<QRadioButton>(app::IdPlaceExits), Qt::LeftButton);
    for (QPointF e : exits) clickAt(e);
    QTest::mouseClick(dialog.control<QRadioButton>(app::IdPlacePeople), Qt::LeftButton);
    QTest::qWait(300);

    const QImage picture = dialog.grab().toImage();
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    std::printf("wrote %s (%d x %d)\n", argv[1], picture.width(), picture.height());
    return 0;
}
