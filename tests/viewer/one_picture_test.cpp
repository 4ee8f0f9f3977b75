// One picture everywhere: the run's report plan, its density map, the
// window's top-down view and the movie show the floor as the dialog's floor
// plan view does (x to the right, z downward), and paint every role in the
// one palette's colour. One scenario, run once by mvnrt with a movie, is
// looked at in all four pictures.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QImage>
#include <QTest>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>

#include "analysis/run_measures.h"
#include "movie_probe.h"
#include "scene/overlay.h"
#include "scene/palette.h"
#include "support/test_support.h"
#include "viewer/recorded_run.h"
#include "viewer/run_window.h"
#include "viewer/scene_view.h"

namespace {

// A 20 m x 12 m hall centred on the origin, a 3 m door in its south wall
// (z = +6), five adults standing close together near the north-west
// corner, and one person of each other role in a row in the north half.
// Everyone waits 30 s, longer than the run: nobody moves.
const char* kScenario = R"({
  "name": "orientation",
  "seed": 3,
  "walkable": [[[-10, -6], [10, -6], [10, 6], [-10, 6]]],
  "exits": [{"name": "south door", "from": [4, 6], "to": [7, 6]}],
  "people": [
    {"x": -8.0, "z": -4.5, "role": "adult", "radius": 0.22, "preMovement": 30},
    {"x": -7.4, "z": -4.5, "role": "adult", "radius": 0.22, "preMovement": 30},
    {"x": -8.0, "z": -3.9, "role": "adult", "radius": 0.22, "preMovement": 30},
    {"x": -7.4, "z": -3.9, "role": "adult", "radius": 0.22, "preMovement": 30},
    {"x": -7.7, "z": -4.2, "role": "adult", "radius": 0.22, "preMovement": 30},
    {"x": 0.0, "z": -3.0, "role": "child", "radius": 0.22, "preMovement": 30},
    {"x": 1.0, "z": -3.0, "role": "parent", "leader": 5, "radius": 0.22, "preMovement": 30},
    {"x": 2.0, "z": -3.0, "role": "jogging child", "radius": 0.22, "preMovement": 30},
    {"x": 3.0, "z": -3.0, "role": "person", "radius": 0.22, "preMovement": 30}
  ]
})";

const crowd::Box kFloor{{-10.0, -6.0}, {10.0, 6.0}};
const crowd::Vec2 kGroup{-7.7, -4.2};  // the five adults
const crowd::Vec2 kDoor{5.5, 6.0};     // the door's middle

// Where the dialog's floor plan view draws a floor point, as a share of the
// floor's drawn width and height from its top-left corner: the view draws a
// vertex (X, Z) at (X, Z) / (scale + 1) in view units, x to the right and z
// downward, so the share is (X - min X) / width across and (Z - min Z) /
// height down.
std::array<double, 2> dialogShare(crowd::Vec2 p) {
    const double s = std::max({std::abs(kFloor.min.x), std::abs(kFloor.max.x),
                               std::abs(kFloor.min.y), std::abs(kFloor.max.y)});
    const double vx = p.x / (s + 1), vy = p.y / (s + 1);
    const double left = kFloor.min.x / (s + 1), right = kFloor.max.x / (s + 1);
    const double top = kFloor.min.y / (s + 1), bottom = kFloor.max.y / (s + 1);
    return {(vx - left) / (right - left), (vy - top) / (bottom - top)};
}

QColor paint(scene::Rgb c) { return QColor(c.r, c.g, c.b); }

int difference(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}

// Same hue and saturation, any brightness from 0.6 to 1.1 of it: a lit
// surface of that colour in the 3-D scene.
bool shadeOf(QColor pixel, scene::Rgb c) {
    const double k = (pixel.red() + pixel.green() + pixel.blue()) / double(c.r + c.g + c.b);
    if (k < 0.6 || k > 1.1) return false;
    return std::abs(pixel.red() - k * c.r) + std::abs(pixel.green() - k * c.g) +
               std::abs(pixel.blue() - k * c.b) <
           30;
}

struct Blob {
    int count = 0;
    double x = 0.0, y = 0.0;
};

Blob find(const QImage& img, QRect region, const std::function<bool(QColor)>& wanted) {
    Blob b;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (wanted(img.pixelColor(x, y))) {
                ++b.count;
                b.x += x + 0.5;
                b.y += y + 0.5;
            }
    if (b.count > 0) b.x /= b.count, b.y /= b.count;
    return b;
}

QRectF boundsOf(const QImage& img, QRect region, const std::function<bool(QColor)>& wanted) {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (wanted(img.pixelColor(x, y))) {
                x0 = std::min(x0, x), y0 = std::min(y0, y);
                x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
            }
    return x1 < 0 ? QRectF() : QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

// A blob's place as a share of the floor's drawn bounds.
std::array<double, 2> shareIn(const QRectF& floor, const Blob& b) {
    return {(b.x - floor.left()) / floor.width(), (b.y - floor.top()) / floor.height()};
}

class OnePicture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = new testsupport::TempDir;
        testsupport::writeFile(*dir_ / "s.json", kScenario);
        const std::string cmd = "cd '" + dir_->path().string() + "' && '" MVNRT_PATH
                                "' --scenario s.json --out results --headless --quiet "
                                "--time-limit 2 --movie movie.avi --movie-size 640x360 "
                                ">out.txt 2>&1";
        const int raw = std::system(cmd.c_str());
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(status_, 0) << testsupport::readFile(*dir_ / "out.txt");
    }
    static QImage png(const char* name) {
        QImage img;
        EXPECT_TRUE(img.load(QString::fromStdString((*dir_ / "results" / name).string())));
        return img.convertToFormat(QImage::Format_RGB32);
    }
    // The replay of the results in the window, at 1 s, top-down.
    static QImage windowFrame(viewer::RunWindow& w, int width, int height) {
        w.resize(width, height);
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.clock().setPaused(true);
        w.clock().setTime(1.0);
        for (int k = 0; k < 100 && w.shownFrame().time != 1.0; ++k) QTest::qWait(10);
        QTest::qWait(50);
        EXPECT_EQ(w.view().camera()->kind(), scene::Camera::Kind::TopDown);
        return w.view().grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    }
    static testsupport::TempDir* dir_;
    static int status_;
};

testsupport::TempDir* OnePicture::dir_ = nullptr;
int OnePicture::status_ = -1;

constexpr double kNear = 0.05;  // of the floor's width or height

void expectAt(const std::array<double, 2>& seen, crowd::Vec2 p, const char* what,
              const char* picture) {
    const auto want = dialogShare(p);
    EXPECT_NEAR(seen[0], want[0], kNear) << what << " across, in " << picture;
    EXPECT_NEAR(seen[1], want[1], kNear) << what << " down, in " << picture;
}

TEST_F(OnePicture, ReportPlanDensityMapAndWindowPutDoorAndPeopleWhereTheDialogDoes) {
    // The dialog's view: the group top left, the door bottom right.
    ASSERT_LT(dialogShare(kGroup)[0], 0.5);
    ASSERT_LT(dialogShare(kGroup)[1], 0.5);
    ASSERT_GT(dialogShare(kDoor)[0], 0.5);
    ASSERT_GT(dialogShare(kDoor)[1], 0.9);
    const QColor exit = paint(scene::kExitPaint), adult = paint(scene::rolePaint(crowd::Role::Adult));
    const int legendWidth = 230;

    {  // The report's floor plan: floor filled light grey, people as discs.
        const QImage img = png("floor.png");
        const QRect area(0, 40, img.width() - legendWidth, img.height() - 110);
        const QRectF floor = boundsOf(img, area, [](QColor c) { return c == QColor(236, 236, 236); });
        ASSERT_TRUE(floor.isValid());
        EXPECT_NEAR(floor.width() / floor.height(), 20.0 / 12.0, 0.05);
        const Blob group = find(img, area, [&](QColor c) { return c == adult; });
        const Blob door = find(img, area, [&](QColor c) { return c == exit; });
        ASSERT_GT(group.count, 50);
        ASSERT_GT(door.count, 50);
        expectAt(shareIn(floor, group), kGroup, "the group", "floor.png");
        expectAt(shareIn(floor, door), kDoor, "the door", "floor.png");
    }
    {  // The density map: the densest cells are where the group stands.
        const QImage img = png("density.png");
        const QRect area(0, 40, img.width() - legendWidth, img.height() - 110);
        const auto& levels = analysis::serviceLevels();
        auto isLevel = [&](QColor c) {
            for (const auto& l : levels)
                if (c == QColor(l.colour)) return true;
            return false;
        };
        const QRectF floor = boundsOf(img, area, isLevel);
        ASSERT_TRUE(floor.isValid());
        EXPECT_NEAR(floor.width() / floor.height(), 20.0 / 12.0, 0.05);
        // The highest level reached.
        int highest = 0;
        for (int k = 0; k < static_cast<int>(levels.size()); ++k)
            if (find(img, area, [&](QColor c) { return c == QColor(levels[k].colour); }).count > 0)
                highest = k;
        ASSERT_GE(highest, 3) << "five people on 1.5 m^2 are dense";
        const Blob dense =
            find(img, area, [&](QColor c) { return c == QColor(levels[highest].colour); });
        const Blob door = find(img, area, [&](QColor c) { return c == exit; });
        ASSERT_GT(door.count, 50);
        expectAt(shareIn(floor, dense), kGroup, "the densest cells", "density.png");
        expectAt(shareIn(floor, door), kDoor, "the door", "density.png");
    }
    // The window's top-down view of the same results, at two sizes.
    for (const QSize size : {QSize(900, 560), QSize(700, 640)}) {
        viewer::RunWindow w(viewer::loadRecordedRun(*dir_ / "results"));
        const QImage img = windowFrame(w, size.width(), size.height());
        const int W = img.width(), H = img.height();
        const scene::Camera& cam = *w.view().camera();
        const auto a = cam.project({kFloor.min.x, 0.0, kFloor.min.y}, W, H);
        const auto b = cam.project({kFloor.max.x, 0.0, kFloor.max.y}, W, H);
        ASSERT_TRUE(a && b);
        const QRectF floor = QRectF(QPointF((*a)[0], (*a)[1]), QPointF((*b)[0], (*b)[1])).normalized();
        // The overlay's column stays left of the floor.
        EXPECT_GE(floor.left(), scene::planArea(QSize(W, H)).left * W - 1.0);
        EXPECT_LE(floor.right(), W);
        const QRect inside = floor.toAlignedRect().intersected(img.rect());
        const Blob group = find(img, inside, [&](QColor c) {
            return shadeOf(c, scene::rolePaint(crowd::Role::Adult));
        });
        const Blob door = find(img, inside.adjusted(0, 0, 0, 12), [&](QColor c) {
            return shadeOf(c, scene::kExitPaint);
        });
        ASSERT_GT(group.count, 20);
        ASSERT_GT(door.count, 20);
        expectAt(shareIn(floor, group), kGroup, "the group", "the window's top-down view");
        expectAt(shareIn(floor, door), kDoor, "the door", "the window's top-down view");
        // Nothing of the overlay over the floor: its pixels there are the
        // scene's (no panel's dark, translucent grey).
        const Blob panel = find(img, inside.adjusted(2, 2, -2, -2), [](QColor c) {
            return c.red() < 90 && c.green() < 90 && c.blue() < 90;
        });
        EXPECT_LT(panel.count, inside.width() * inside.height() / 200) << size.width();
    }
}

TEST_F(OnePicture, WindowMovieAndReportPaintEveryRoleInThePalettesColour) {
    const std::array<crowd::Role, 5> roles = scene::kLegendOrder;
    for (crowd::Role r : roles) EXPECT_GT(difference(paint(scene::rolePaint(r)), paint(scene::kExitPaint)), 100)
        << crowd::roleName(r) << " is too close to the exits' colour";
    for (crowd::Role r : roles) {
        const scene::Colour c = scene::roleColour(r);
        EXPECT_EQ(QColor::fromRgbF(c[0], c[1], c[2]), paint(scene::rolePaint(r)));
    }

    // The report: each role's discs and legend dot in exactly its colour.
    const QImage report = png("floor.png");
    for (crowd::Role r : roles)
        EXPECT_GT(find(report, report.rect(), [&](QColor c) { return c == paint(scene::rolePaint(r)); }).count, 60)
            << crowd::roleName(r) << " in floor.png";

    // The window: the legend's swatches exactly, the figures lit in that colour.
    viewer::RunWindow w(viewer::loadRecordedRun(*dir_ / "results"));
    const QImage window = windowFrame(w, 900, 560);
    const int column = static_cast<int>(scene::planArea(window.size()).left * window.width());
    for (crowd::Role r : roles) {
        const QRect left(0, 0, column, window.height());
        const QRect right(column, 0, window.width() - column, window.height());
        EXPECT_GT(find(window, left, [&](QColor c) { return c == paint(scene::rolePaint(r)); }).count, 40)
            << crowd::roleName(r) << " in the window's legend";
        EXPECT_GT(find(window, right, [&](QColor c) { return shadeOf(c, scene::rolePaint(r)); }).count, 5)
            << crowd::roleName(r) << " as a figure in the window";
    }

    // The movie (its frames pass through the video's colour conversion):
    // the legend's swatches and the figures, within a small error.
    const recordingtest::Picture movie = recordingtest::decodeFrame(*dir_ / "movie.avi", 12);
    QImage frame(movie.width, movie.height, QImage::Format_RGB32);
    for (int y = 0; y < movie.height; ++y)
        for (int x = 0; x < movie.width; ++x) {
            const std::uint8_t* p = movie.at(x, y);
            frame.setPixelColor(x, y, QColor(p[0], p[1], p[2]));
        }
    const int movieColumn = static_cast<int>(scene::planArea(frame.size()).left * frame.width());
    for (crowd::Role r : roles)
        EXPECT_GT(find(frame, QRect(0, 0, movieColumn, frame.height()),
                       [&](QColor c) { return difference(c, paint(scene::rolePaint(r))) < 36; })
                      .count,
                  20)
            << crowd::roleName(r) << " in the movie's legend";
    // The movie is drawn from above like the window: the door at the bottom right.
    const Blob door = find(frame, QRect(movieColumn, 0, frame.width() - movieColumn, frame.height()),
                           [](QColor c) { return shadeOf(c, scene::kExitPaint); });
    ASSERT_GT(door.count, 5);
    EXPECT_GT(door.x, movieColumn + 0.5 * (frame.width() - movieColumn));
    EXPECT_GT(door.y, 0.55 * frame.height());
}

}  // namespace
