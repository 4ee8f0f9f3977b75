// Draws the dialog as a user sees it after a few clicks and saves a picture:
// the basic floor, two exits and several people clusters. Run from the
// repository root under a display (the basic floor is looked for below the
// current directory):
//   xvfb-run -a build/bin/app_dialog_screenshot docs/dialog.png

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QRadioButton>
#include <QTest>
#include <cstdio>

#include "app/escape_setup_dialog.h"
#include "floorplan/floor_plan_view.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    app::EscapeSetupDialog dialog;
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) {
        std::fprintf(stderr, "the dialog was not shown\n");
        return 1;
    }
    floorplan::FloorPlanView* view = dialog.floorView();
    QTest::qWait(200);

    // Clusters in the rooms, then the two exits at doors of the outline.
    const QPointF clusters[] = {{0.30, 0.30}, {0.42, 0.36}, {0.62, 0.30}, {0.70, 0.55},
                                {0.35, 0.62}, {0.52, 0.70}, {0.25, 0.45}};
    const QPointF exits[] = {{0.50, 0.09}, {0.50, 0.91}};
    auto clickAt = [view](QPointF fraction) {
        const QPoint pixel(static_cast<int>(fraction.x() * view->width()),
                           static_cast<int>(fraction.y() * view->height()));
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
