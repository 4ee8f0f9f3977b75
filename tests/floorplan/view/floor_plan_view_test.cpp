// The floor plan view in a real window (Xvfb, Mesa software OpenGL): clicks
// and their slots, the click mapping at several sizes, loading, the drawn
// frame read back from the framebuffer, and idleness.
#include <gtest/gtest.h>

#include <QApplication>
#include <QOpenGLContext>
#include <QSignalSpy>
#include <QTest>
#include <bit>
#include <cstdint>
#include <memory>

#include "floorplan/floor_plan_view.h"
#include "floorplan/gl_pixel_format.h"
#include "support/test_support.h"
#include "view_test_support.h"

using floorplan::FloorPlanView;
using floorplan::LoadOutcome;
using floorplan::ViewPoint;
using namespace viewtest;

namespace {

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// Exact, bit for bit.
#define EXPECT_SAME_FLOAT(actual, expected) EXPECT_EQ(bits(actual), bits(expected)) \
    << (actual) << " vs " << (expected)

// Exposes the GL callbacks for the tests that drive them directly.
class OpenView : public FloorPlanView {
public:
    using FloorPlanView::FloorPlanView;
    using FloorPlanView::resizeGL;
};

// Each test runs in its own temporary directory, so the basic floor
// (unchanged\floor.kvx, relative) is found only where a test puts it.
class ViewTest : public ::testing::Test {
protected:
    ViewTest() : cwd_(tmp_.path()) {}

    std::string writeFloor(const std::string& name, const std::vector<Vertex>& vertices) {
        testsupport::writeFile(tmp_ / name, kvxFloor(vertices));
        return (tmp_ / name).string();
    }
    void withBasicFloor() { testsupport::copyTemplates(tmp_.path()); }

    testsupport::TempDir tmp_;
    testsupport::ScopedCurrentDirectory cwd_;
};

// --- the pixel format request ------------------------------------------------

TEST(PixelFormat, RequestFollowsTheDisplayDepthWithSixteenBitDepthAndNoStencil) {
    const auto split24 = floorplan::splitColourBits(24);
    EXPECT_EQ(split24.red, 8);
    EXPECT_EQ(split24.green, 8);
    EXPECT_EQ(split24.blue, 8);
    const auto split16 = floorplan::splitColourBits(16);
    EXPECT_EQ(split16.red, 5);
    EXPECT_EQ(split16.green, 6);
    EXPECT_EQ(split16.blue, 5);
    EXPECT_EQ(floorplan::splitColourBits(32).red, 8);
    EXPECT_EQ(floorplan::splitColourBits(0).red, -1);

    const QSurfaceFormat f = floorplan::pixelFormatFor(24, 0);
    EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
    EXPECT_EQ(f.depthBufferSize(), 16);
    EXPECT_EQ(f.stencilBufferSize(), 0);
    EXPECT_EQ(f.alphaBufferSize(), 0);
    EXPECT_EQ(f.renderableType(), QSurfaceFormat::OpenGL);

    // Filled once per process: a later request with other stencil bits gets
    // the same descriptor.
    const QSurfaceFormat& first = floorplan::sharedPixelFormat(0);
    const QSurfaceFormat& again = floorplan::sharedPixelFormat(8);
    EXPECT_EQ(&first, &again);
    EXPECT_EQ(again.stencilBufferSize(), 0);
}

TEST_F(ViewTest, ContextIsALegacyContextWithADepthBuffer) {
    FloorPlanView view;
    showAt(view, 242, 200);
    ASSERT_TRUE(view.isValid());
    const QSurfaceFormat actual = view.context()->format();
    EXPECT_GE(actual.depthBufferSize(), 16);
    EXPECT_NE(actual.profile(), QSurfaceFormat::CoreProfile);
}

// --- clicks and slots --------------------------------------------------------

TEST_F(ViewTest, ExitClicksFillSlotsZeroAndOneThenAlternate) {
    FloorPlanView view;
    view.setExitModeQuery([] { return true; });
    showAt(view, 242, 200);
    QSignalSpy changed(&view, &FloorPlanView::placementsChanged);

    const QPoint pixels[] = {{10, 20}, {30, 40}, {50, 60}, {70, 80}};
    click(view, pixels[0]);
    EXPECT_EQ(view.placements().exitCount, 1);
    click(view, pixels[1]);
    click(view, pixels[2]);  // the third exit replaces slot 0
    const auto& s = view.placements();
    EXPECT_EQ(s.exitCount, 2);
    EXPECT_EQ(s.clusterCount, 0);
    EXPECT_SAME_FLOAT(s.exits[0].x, view.mapClick(pixels[2]).x);
    EXPECT_SAME_FLOAT(s.exits[1].y, view.mapClick(pixels[1]).y);
    EXPECT_EQ(s.nextExit, 1);
    click(view, pixels[3]);  // the fourth replaces slot 1
    EXPECT_SAME_FLOAT(s.exits[1].x, view.mapClick(pixels[3]).x);
    EXPECT_EQ(s.exitCount, 2);
    EXPECT_EQ(changed.count(), 4);
}

TEST_F(ViewTest, ClusterClicksWrapToSlotZeroAfterForty) {
    FloorPlanView view;
    bool exits = false;
    view.setExitModeQuery([&exits] { return exits; });
    showAt(view, 242, 200);

    for (int i = 0; i < 40; ++i) click(view, QPoint(i * 5, i * 4));
    EXPECT_EQ(view.placements().clusterCount, 40);
    click(view, QPoint(241, 1));  // the 41st overwrites slot 0
    click(view, QPoint(240, 2));  // the 42nd slot 1
    const auto& s = view.placements();
    EXPECT_EQ(s.clusterCount, 40);
    EXPECT_SAME_FLOAT(s.clusters[0].x, view.mapClick(QPointF(241, 1)).x);
    EXPECT_SAME_FLOAT(s.clusters[1].y, view.mapClick(QPointF(240, 2)).y);
    EXPECT_SAME_FLOAT(s.clusters[2].x, view.mapClick(QPointF(10, 8)).x);
    EXPECT_EQ(s.exitCount, 0);

    exits = true;  // the mode is asked at every click
    click(view, QPoint(121, 100));
    EXPECT_EQ(view.placements().exitCount, 1);
    EXPECT_EQ(view.placements().clusterCount, 40);
}

TEST_F(ViewTest, WithoutAQueryClicksPlaceClustersAndOnlyTheLeftButtonCounts) {
    FloorPlanView view;
    showAt(view, 242, 200);
    click(view, QPoint(121, 100), Qt::RightButton);
    click(view, QPoint(121, 100), Qt::MiddleButton);
    EXPECT_EQ(view.placements().clusterCount, 0);
    click(view, QPoint(121, 100));
    EXPECT_EQ(view.placements().clusterCount, 1);
    EXPECT_EQ(view.placements().exitCount, 0);
}

// --- the click mapping ---------------------------------------------------------

TEST_F(ViewTest, MappingAt242x200EqualsTheFixedConstantsBitForBit) {
    FloorPlanView view;
    showAt(view, 242, 200);
    ASSERT_EQ(view.width(), 242);
    ASSERT_EQ(view.height(), 200);

    const ViewPoint corner = view.mapClick(QPointF(0, 0));
    EXPECT_SAME_FLOAT(corner.x, -0.99999994f);
    EXPECT_SAME_FLOAT(corner.y, -1.0f);
    const ViewPoint centre = view.mapClick(QPointF(121, 100));
    EXPECT_SAME_FLOAT(centre.x, 0.0f);
    EXPECT_SAME_FLOAT(centre.y, 0.0f);
    const ViewPoint last = view.mapClick(QPointF(241, 199));
    EXPECT_SAME_FLOAT(last.x, 0.9917355f);
    EXPECT_SAME_FLOAT(last.y, 0.98999995f);

    // Every pixel of the area equals the constant formula.
    for (int px = 0; px < 242; ++px) {
        EXPECT_SAME_FLOAT(view.mapClick(QPointF(px, 0)).x,
                          static_cast<float>(px - 121) * 0.0082644625f);
    }
    for (int py = 0; py < 200; ++py) {
        EXPECT_SAME_FLOAT(view.mapClick(QPointF(0, py)).y, static_cast<float>(py - 100) * 0.01f);
    }

    // A real click records the same numbers.
    click(view, QPoint(0, 0));
    EXPECT_SAME_FLOAT(view.placements().clusters[0].x, -0.99999994f);
    EXPECT_SAME_FLOAT(view.placements().clusters[0].y, -1.0f);
}

// At other sizes a click lands where its mark is drawn: the green point of a
// cluster covers the clicked pixel, and the view point scales with the size.
TEST_F(ViewTest, ClicksLandOnTheirMarksAtOtherSizes) {
    struct Size {
        int w, h;
    };
    for (const Size size : {Size{484, 400}, Size{300, 150}, Size{242, 200}}) {
        SCOPED_TRACE(::testing::Message() << size.w << "x" << size.h);
        FloorPlanView view;
        showAt(view, size.w, size.h);
        ASSERT_EQ(view.width(), size.w);
        const QPoint pixels[] = {{size.w / 4, size.h / 5},
                                 {size.w / 2, size.h / 2},
                                 {size.w - 3, size.h - 3},
                                 {3, size.h - 7},
                                 {size.w * 3 / 4 + 1, 5}};
        for (const QPoint p : pixels) click(view, p);

        const ViewPoint centre = view.mapClick(QPointF(size.w / 2.0, size.h / 2.0));
        EXPECT_SAME_FLOAT(centre.x, 0.0f);
        EXPECT_SAME_FLOAT(centre.y, 0.0f);
        EXPECT_FLOAT_EQ(view.mapClick(QPointF(0, 0)).x, -1.0f);
        EXPECT_FLOAT_EQ(view.mapClick(QPointF(size.w, size.h)).y, 1.0f);

        const QImage frame = grab(view);
        for (const QPoint p : pixels) {
            EXPECT_TRUE(isGreen(colourAt(frame, view, p)))
                << "no mark at " << p.x() << "," << p.y();
        }
        // And nowhere far from the clicks.
        EXPECT_TRUE(isBlack(colourAt(frame, view, QPointF(size.w / 2.0 + 20, size.h / 2.0 + 20))));
    }
}

TEST_F(ViewTest, HeightZeroGivesAViewportOfHeightOne) {
    OpenView view;
    showAt(view, 242, 200);
    view.makeCurrent();
    view.resizeGL(242, 0);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    view.doneCurrent();
    const qreal ratio = view.devicePixelRatioF();
    EXPECT_EQ(viewport[2], qRound(242 * ratio));
    EXPECT_EQ(viewport[3], qRound(1 * ratio));

    // Through the window system as well, and back.
    view.resize(242, 0);
    QTest::qWait(30);
    click(view, QPoint(0, 0));  // nothing to map against: lands at 0 in y
    EXPECT_EQ(view.placements().clusters[0].y, 0.0f);
    view.resize(242, 200);
    QTest::qWait(30);
    EXPECT_FALSE(grab(view).isNull());
}

// --- loading -------------------------------------------------------------------

TEST_F(ViewTest, APathSetBeforeTheContextGivesTheScaleAtOnceAndTheOutlineOnShow) {
    const std::string file = writeFloor("room.kvx", rectangleFloor());
    FloorPlanView view;
    QSignalSpy loaded(&view, &FloorPlanView::floorLoaded);

    const auto report = view.setFloorPath(file);
    EXPECT_EQ(report.outcome, LoadOutcome::Loaded);
    EXPECT_EQ(view.scale(), 10.0f);
    EXPECT_EQ(view.floorPath(), file);  // no backslash to double
    EXPECT_EQ(view.outlineVertexCount(), 0u);
    EXPECT_EQ(loaded.count(), 1);

    showAt(view, 242, 200);
    EXPECT_EQ(view.outlineVertexCount(), 4u);
    EXPECT_EQ(view.scale(), 10.0f);  // the same file again: unchanged
    EXPECT_EQ(view.lastLoad().outcome, LoadOutcome::Loaded);
    EXPECT_EQ(loaded.count(), 2);
    EXPECT_GT(countPixels(grab(view), isRed), 200);
}

TEST_F(ViewTest, PlacementsSurviveAFloorChange) {
    const std::string big = writeFloor("big.kvx", {{-40, 0, -40}, {40, 0, -40}, {40, 0, 40}});
    const std::string room = writeFloor("room.kvx", rectangleFloor());
    FloorPlanView view;
    bool exits = true;
    view.setExitModeQuery([&exits] { return exits; });
    showAt(view, 242, 200);
    view.setScale(0.0f);
    view.setFloorPath(big);
    click(view, QPoint(60, 150));
    exits = false;
    click(view, QPoint(200, 30));
    const floorplan::PlacementStore before = view.placements();

    view.setScale(0.0f);
    const auto report = view.setFloorPath(room);
    EXPECT_EQ(report.outcome, LoadOutcome::Loaded);
    EXPECT_EQ(view.scale(), 10.0f);
    EXPECT_EQ(view.outlineVertexCount(), 4u);
    const auto& after = view.placements();
    EXPECT_EQ(after.exitCount, 1);
    EXPECT_EQ(after.clusterCount, 1);
    EXPECT_SAME_FLOAT(after.exits[0].x, before.exits[0].x);
    EXPECT_SAME_FLOAT(after.clusters[0].y, before.clusters[0].y);

    const QImage frame = grab(view);
    EXPECT_TRUE(isBlue(colourAt(frame, view, QPointF(60, 150))));
    EXPECT_TRUE(isGreen(colourAt(frame, view, QPointF(200, 30))));
}

TEST_F(ViewTest, AFileWithoutAMeshFallsBackToTheBasicFloor) {
    withBasicFloor();
    testsupport::writeFile(tmp_ / "empty.kvx", "KVX TEXT 2.1\nTW_Scene SCN-Empty\nEndScene\n");
    FloorPlanView view;
    showAt(view, 242, 200);
    const auto basic = view.lastLoad();
    ASSERT_EQ(basic.outcome, LoadOutcome::Loaded) << "the basic floor loads at creation";
    ASSERT_GT(view.outlineVertexCount(), 2u);
    QSignalSpy loaded(&view, &FloorPlanView::floorLoaded);

    view.setScale(0.0f);
    const auto report = view.setFloorPath((tmp_ / "empty.kvx").string());
    EXPECT_EQ(report.outcome, LoadOutcome::FellBack);
    EXPECT_EQ(view.floorPath(), floorplan::kBasicFloorPath);
    EXPECT_EQ(view.outlineVertexCount(), basic.vertexCount);
    EXPECT_EQ(view.scale(), 70.0f);
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_GT(countPixels(grab(view), isRed), 300);
}

TEST_F(ViewTest, WithoutAnyFloorNothingIsDrawnButClicksStillCount) {
    FloorPlanView view;  // no unchanged\floor.kvx here
    showAt(view, 242, 200);
    EXPECT_EQ(view.lastLoad().outcome, LoadOutcome::NoFloor);
    EXPECT_EQ(view.outlineVertexCount(), 0u);
    click(view, QPoint(50, 50));
    const QImage frame = grab(view);
    EXPECT_EQ(countPixels(frame, isRed), 0);
    EXPECT_TRUE(isGreen(colourAt(frame, view, QPointF(50, 50))));
}

// --- the drawn frame -------------------------------------------------------------

// The rectangle x -10..10, z -5..5 at scale 10 is drawn at 1/11: columns 11
// and 231, rows 54.5 and 145.5 of a 242 x 200 view.
TEST_F(ViewTest, FrameShowsOutlineExitsAndClusters) {
    FloorPlanView view;
    bool exits = true;
    view.setExitModeQuery([&exits] { return exits; });
    view.setFloorPath(writeFloor("room.kvx", rectangleFloor()));
    showAt(view, 242, 200);

    click(view, QPoint(60, 150));   // exit slot 0: blue
    click(view, QPoint(180, 150));  // exit slot 1: cyan
    exits = false;
    const QPoint clusters[] = {{100, 80}, {140, 120}, {30, 30}};
    for (const QPoint p : clusters) click(view, p);

    const QImage frame = grab(view);
    // The outline: its four sides, red; inside and outside, black.
    EXPECT_TRUE(near(frame, view, QPointF(121, 54.5), 2, isRed));
    EXPECT_TRUE(near(frame, view, QPointF(121, 145.5), 2, isRed));
    EXPECT_TRUE(near(frame, view, QPointF(11, 100), 2, isRed));
    EXPECT_TRUE(near(frame, view, QPointF(231, 100), 2, isRed));
    EXPECT_FALSE(near(frame, view, QPointF(121, 20), 4, isRed));
    EXPECT_TRUE(isBlack(colourAt(frame, view, QPointF(121, 100))));
    EXPECT_TRUE(isBlack(colourAt(frame, view, QPointF(238, 196))));

    EXPECT_TRUE(isBlue(colourAt(frame, view, QPointF(60, 150))));
    EXPECT_TRUE(isCyan(colourAt(frame, view, QPointF(180, 150))));
    for (const QPoint p : clusters) EXPECT_TRUE(isGreen(colourAt(frame, view, p)));
    // Points of 4 device pixels: from two before the click to one after it.
    const int c = qRound(30 * view.devicePixelRatioF());
    EXPECT_TRUE(isGreen(frame.pixelColor(c - 2, c - 2)));
    EXPECT_TRUE(isGreen(frame.pixelColor(c + 1, c + 1)));
    EXPECT_TRUE(isBlack(frame.pixelColor(c - 3, c)));
    EXPECT_TRUE(isBlack(frame.pixelColor(c, c + 2)));
}

// An exit's tip points away from the centre: up above it, down below it.
TEST_F(ViewTest, ExitTrianglesPointAwayFromTheCentre) {
    FloorPlanView view;
    view.setExitModeQuery([] { return true; });
    showAt(view, 242, 200);
    click(view, QPoint(121, 50));   // view (0, -0.5): angle 0, tip at row 40
    click(view, QPoint(121, 150));  // view (0, 0.5): angle 180, tip at row 160
    const QImage frame = grab(view);

    // Above: narrow at the top (tip), wide at the bottom (base at row 60).
    EXPECT_TRUE(isBlue(colourAt(frame, view, QPointF(121, 42))));
    EXPECT_TRUE(isBlack(colourAt(frame, view, QPointF(112, 42))));
    EXPECT_TRUE(isBlue(colourAt(frame, view, QPointF(112, 58))));
    // Below: the other way round.
    EXPECT_TRUE(isCyan(colourAt(frame, view, QPointF(121, 158))));
    EXPECT_TRUE(isBlack(colourAt(frame, view, QPointF(112, 158))));
    EXPECT_TRUE(isCyan(colourAt(frame, view, QPointF(112, 142))));
}

TEST_F(ViewTest, ScaleSizesTheFloor) {
    FloorPlanView view;
    showAt(view, 242, 200);
    view.setScale(0.0f);
    view.setFloorPath(writeFloor("room.kvx", rectangleFloor()));
    // A larger scale kept from before draws the same floor smaller: x = 10/21.
    view.setScale(20.0f);
    const QImage frame = grab(view);
    EXPECT_TRUE(near(frame, view, QPointF(121 + 121 * 10.0 / 21.0, 100), 2, isRed));
    EXPECT_FALSE(near(frame, view, QPointF(231, 100), 3, isRed));
}

// --- idleness --------------------------------------------------------------------

TEST_F(ViewTest, IdleViewDoesNotRepaintAndAChangeDrawsOneNewFrame) {
    FloorPlanView view;
    showAt(view, 242, 200);
    QTest::qWait(100);
    const auto idleStart = view.frameCount();
    QTest::qWait(300);
    EXPECT_LE(view.frameCount() - idleStart, 1u) << "the view repaints while idle";

    const auto beforeClick = view.frameCount();
    click(view, QPoint(121, 100));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.frameCount() > beforeClick; }, 2000))
        << "a click must show on the next frame";
    QTest::qWait(100);
    EXPECT_LE(view.frameCount(), beforeClick + 3);
}

}  // namespace
