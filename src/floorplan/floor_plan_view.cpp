#include "floorplan/floor_plan_view.h"

#include <QMouseEvent>
#include <QOpenGLContext>
#include <cmath>
#include <utility>

#include "floorplan/gl_pixel_format.h"

namespace floorplan {

namespace {

// 180 / pi rounded to single precision, so that angles in degrees carry the
// same single-precision rounding as the stored exits and clusters.
constexpr float kDegreesPerRadian = 57.2957763671875f;

// The outline sink of the view: compiles the outline into one display list.
// The GL context of the view must be current while a load runs through it.
class DisplayListSink final : public OutlineSink {
public:
    DisplayListSink(GLuint& list, std::size_t& vertices) : list_(list), vertices_(vertices) {}

    void discardOutline() override {
        if (glIsList(list_) == GL_TRUE) glDeleteLists(list_, 1);
        list_ = 0;
        vertices_ = 0;
    }
    void beginOutline() override {
        list_ = glGenLists(1);
        glNewList(list_, GL_COMPILE);
        glBegin(GL_LINE_LOOP);
    }
    void vertex(float x, float y, float z) override {
        glVertex3f(x, y, z);
        ++vertices_;
    }
    void endOutline() override {
        glEnd();
        glEndList();
    }

private:
    GLuint& list_;
    std::size_t& vertices_;
};

// Passes the outline on to another sink and keeps its (x, z) vertices.
class OutlineKeeper final : public OutlineSink {
public:
    OutlineKeeper(OutlineSink& next, std::vector<std::array<float, 2>>& kept)
        : next_(next), kept_(kept) {}
    void discardOutline() override {
        kept_.clear();
        next_.discardOutline();
    }
    void beginOutline() override {
        kept_.clear();
        next_.beginOutline();
    }
    void vertex(float x, float y, float z) override {
        kept_.push_back({x, z});
        next_.vertex(x, y, z);
    }
    void endOutline() override { next_.endOutline(); }

private:
    OutlineSink& next_;
    std::vector<std::array<float, 2>>& kept_;
};

constexpr std::size_t kUndoDepth = 1000;

// One step of the click mapping: 1 / half as a single-precision factor
// (at the dialog's 242 x 200: 0.0082644625f and 0.01f).
float mapAxis(double pixel, int extent) {
    const double half = extent / 2.0;
    if (half <= 0.0) return 0.0f;
    const float step = static_cast<float>(1.0 / half);
    return static_cast<float>(pixel - half) * step;
}

}  // namespace

struct FloorPlanView::Impl {
    FloorMeshReader reader;
    PlacementStore store;
    std::function<bool()> exitModeQuery;
    LoadReport lastLoad;
    GLuint floorList = 0;
    std::size_t outlineVertices = 0;
    std::uint64_t frames = 0;
    // Earlier states of the store, the latest last; bounded so that a long
    // session of clicks cannot grow without end.
    std::vector<PlacementStore> undoStack;
    std::vector<bool> hollow;
    std::vector<std::array<float, 2>> outline;
    bool initializing = false;  // inside initializeGL: the context is already current
    QMetaObject::Connection contextGone;
};

FloorPlanView::FloorPlanView(QWidget* parent) : QOpenGLWidget(parent), impl_(std::make_unique<Impl>()) {
    applyPixelFormat(*this, 0);
    // No background erase between frames: every frame clears to black itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

FloorPlanView::~FloorPlanView() {
    // Drop the display list while our part of the object still exists; the
    // base class destroys the context afterwards.
    QObject::disconnect(impl_->contextGone);
    releaseGl();
}

void FloorPlanView::setExitModeQuery(std::function<bool()> query) {
    impl_->exitModeQuery = std::move(query);
}

LoadReport FloorPlanView::setFloorPath(std::string_view path) { return load(true, path); }

float FloorPlanView::scale() const { return impl_->reader.scale; }

void FloorPlanView::setScale(float value) {
    impl_->reader.scale = value;
    update();
}

const std::string& FloorPlanView::floorPath() const { return impl_->reader.floorPath; }

const PlacementStore& FloorPlanView::placements() const { return impl_->store; }

const LoadReport& FloorPlanView::lastLoad() const { return impl_->lastLoad; }

ViewPoint FloorPlanView::mapClick(QPointF pixel) const {
    return ViewPoint{mapAxis(pixel.x(), width()), mapAxis(pixel.y(), height())};
}

bool FloorPlanView::canUndo() const { return !impl_->undoStack.empty(); }

void FloorPlanView::changePlacements(const PlacementStore& next) {
    auto& stack = impl_->undoStack;
    if (stack.size() >= kUndoDepth) stack.erase(stack.begin());
    stack.push_back(impl_->store);
    impl_->store = next;
    emit placementsChanged();
    update();
}

void FloorPlanView::undoPlacement() {
    if (impl_->undoStack.empty()) return;
    impl_->store = impl_->undoStack.back();
    impl_->undoStack.pop_back();
    emit placementsChanged();
    update();
}

void FloorPlanView::clearExits() {
    PlacementStore next = impl_->store;
    next.exitCount = 0;
    next.nextExit = 0;
    changePlacements(next);
}

void FloorPlanView::clearClusters() {
    PlacementStore next = impl_->store;
    next.clusterCount = 0;
    next.nextCluster = 0;
    changePlacements(next);
}

void FloorPlanView::replacePlacements(const PlacementStore& store) { changePlacements(store); }

void FloorPlanView::setHollowClusters(const std::vector<bool>& hollow) {
    if (hollow == impl_->hollow) return;
    impl_->hollow = hollow;
    update();
}

const std::vector<bool>& FloorPlanView::hollowClusters() const { return impl_->hollow; }

const std::vector<std::array<float, 2>>& FloorPlanView::outline() const { return impl_->outline; }

std::size_t FloorPlanView::outlineVertexCount() const { return impl_->outlineVertices; }

std::uint64_t FloorPlanView::frameCount() const { return impl_->frames; }

LoadReport FloorPlanView::load(bool viaSetFloorPath, std::string_view path) {
    FloorMeshReader& reader = impl_->reader;
    LoadReport report;
    const bool glReady = impl_->initializing || (isValid() && context() != nullptr);
    if (glReady) {
        if (!impl_->initializing) makeCurrent();
        DisplayListSink lists(impl_->floorList, impl_->outlineVertices);
        OutlineKeeper sink(lists, impl_->outline);
        report = viaSetFloorPath ? reader.setFloorPath(path, sink) : reader.loadFloor(sink);
        if (!impl_->initializing) doneCurrent();
    } else {
        // No context yet: find the scale and the path now; initializeGL
        // compiles the outline of floorPath when the context is made.
        OutlineSink none;
        OutlineKeeper sink(none, impl_->outline);
        report = viaSetFloorPath ? reader.setFloorPath(path, sink) : reader.loadFloor(sink);
    }
    impl_->lastLoad = report;
    emit floorLoaded(impl_->lastLoad);
    update();
    return report;
}

void FloorPlanView::releaseGl() {
    if (impl_->floorList == 0) return;
    if (isValid() && context() != nullptr) {
        makeCurrent();
        if (glIsList(impl_->floorList) == GL_TRUE) glDeleteLists(impl_->floorList, 1);
        doneCurrent();
    }
    impl_->floorList = 0;
    impl_->outlineVertices = 0;
}

void FloorPlanView::initializeGL() {
    // A new context (first show, or a move to another top-level window): any
    // list of an earlier context is gone with it.
    impl_->floorList = 0;
    impl_->outlineVertices = 0;
    QObject::disconnect(impl_->contextGone);
    impl_->contextGone = connect(context(), &QOpenGLContext::aboutToBeDestroyed, this,
                                 &FloorPlanView::releaseGl);

    // The fixed state (initGl).
    glShadeModel(GL_SMOOTH);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    // Load the floor named by floorPath: the basic floor as constructed, or
    // the path given to setFloorPath before the context existed.
    impl_->initializing = true;
    load(false, {});
    impl_->initializing = false;
}

void FloorPlanView::resizeGL(int w, int h) {
    if (h == 0) h = 1;
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, static_cast<GLsizei>(std::lround(w * ratio)),
               static_cast<GLsizei>(std::lround(h * ratio)));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -1.0, 1.0, 1.0, -1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void FloorPlanView::paintGL() {
    ++impl_->frames;
    const PlacementStore& store = impl_->store;

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glDisable(GL_CULL_FACE);

    // Floor: (X, Y, Z) lands at (s X, -s Z).
    glPushMatrix();
    glColor3f(1.0f, 0.0f, 0.0f);
    const float s = 1.0f / (impl_->reader.scale + 1.0f);
    glScalef(s, s, s);
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    glLineWidth(2.0f);
    if (impl_->floorList != 0) glCallList(impl_->floorList);
    glPopMatrix();

    // Exits: a triangle whose tip points away from the centre.
    for (int i = 0; i < store.exitCount; ++i) {
        const ViewPoint e = store.exits[static_cast<std::size_t>(i)];
        float angle = 0.0f;
        if (e.y > 0.0f) {
            angle = std::atan(e.x / e.y) * kDegreesPerRadian + 180.0f;
        } else if (e.y < 0.0f) {
            angle = std::atan(e.x / e.y) * kDegreesPerRadian;
        }
        glPushMatrix();
        glTranslatef(e.x, -e.y, 0.0f);
        glRotatef(angle, 0.0f, 0.0f, 1.0f);
        glBegin(GL_TRIANGLES);
        glColor3f(0.0f, static_cast<float>(i), 1.0f);
        glVertex3f(0.1f, -0.1f, 0.0f);
        glVertex3f(-0.1f, -0.1f, 0.0f);
        glVertex3f(0.0f, 0.1f, 0.0f);
        glEnd();
        glPopMatrix();
    }

    // Clusters: green points of 4 pixels; those that will not receive people
    // (or lie outside the floor) as hollow green squares of 7 pixels.
    auto isHollow = [this](int j) {
        const auto k = static_cast<std::size_t>(j);
        return k < impl_->hollow.size() && impl_->hollow[k];
    };
    glPointSize(4.0f);
    glBegin(GL_POINTS);
    glColor3f(0.0f, 1.0f, 0.0f);
    for (int j = 0; j < store.clusterCount; ++j) {
        if (isHollow(j)) continue;
        const ViewPoint c = store.clusters[static_cast<std::size_t>(j)];
        glVertex3f(c.x, -c.y, 0.0f);
    }
    glEnd();
    glPointSize(1.0f);
    const float halfX = width() > 0 ? 3.5f / (static_cast<float>(width()) / 2.0f) : 0.0f;
    const float halfY = height() > 0 ? 3.5f / (static_cast<float>(height()) / 2.0f) : 0.0f;
    glLineWidth(1.0f);
    for (int j = 0; j < store.clusterCount; ++j) {
        if (!isHollow(j)) continue;
        const ViewPoint c = store.clusters[static_cast<std::size_t>(j)];
        glBegin(GL_LINE_LOOP);
        glVertex3f(c.x - halfX, -c.y - halfY, 0.0f);
        glVertex3f(c.x + halfX, -c.y - halfY, 0.0f);
        glVertex3f(c.x + halfX, -c.y + halfY, 0.0f);
        glVertex3f(c.x - halfX, -c.y + halfY, 0.0f);
        glEnd();
    }
    // Qt swaps (composes) the frame.
}

void FloorPlanView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QOpenGLWidget::mousePressEvent(event);
        return;
    }
    const bool exitMode = impl_->exitModeQuery && impl_->exitModeQuery();
    const ViewPoint p = mapClick(event->position());
    PlacementStore next = impl_->store;
    if (exitMode) {
        next.placeExit(p);
    } else {
        next.placeCluster(p);
    }
    event->accept();
    changePlacements(next);
}

}  // namespace floorplan
