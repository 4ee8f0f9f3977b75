#include "scene/scene_renderer.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "scene/palette.h"

namespace scene {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kWallHeight = 0.6f;     // m: low, so that the people behind stay in sight
constexpr float kWallThickness = 0.1f;  // m
constexpr float kMarkLift = 0.01f;      // m above the floor: exit marks
constexpr float kGridLift = 0.004f;     // m: floor grid

const Colour kBackground{0.13f, 0.15f, 0.18f};
const Colour kFloor{0.86f, 0.84f, 0.78f};
const Colour kGrid{0.78f, 0.76f, 0.70f};
const Colour kWall{0.45f, 0.47f, 0.52f};
// Doors and target lines alike in the exits' colour of the palette.
const Colour kExit = kExitPaint.unit();
const Colour kSkin{0.96f, 0.80f, 0.66f};

const char* kMeshVertex = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 colour;
uniform mat4 viewProjection;
out vec4 vertexColour;
void main() {
    gl_Position = viewProjection * vec4(position, 1.0);
    vertexColour = colour;
})";

const char* kMeshFragment = R"(#version 330 core
in vec4 vertexColour;
out vec4 fragmentColour;
void main() { fragmentColour = vertexColour; })";

// A figure of unit size: x and z scaled by the body radius, y by the height.
const char* kPeopleVertex = R"(#version 330 core
layout(location = 0) in vec3 unitPosition;
layout(location = 1) in vec3 unitNormal;
layout(location = 2) in float head;
layout(location = 3) in vec4 place;   // x, z, radius, height (m)
layout(location = 4) in vec4 colour;
uniform mat4 viewProjection;
uniform vec3 towardLight;
uniform vec3 skin;
out vec3 vertexColour;
void main() {
    vec3 p = vec3(place.x + unitPosition.x * place.z, unitPosition.y * place.w,
                  place.y + unitPosition.z * place.z);
    vec3 n = normalize(vec3(unitNormal.x / place.z, unitNormal.y / place.w, unitNormal.z / place.z));
    vec3 base = mix(colour.rgb, skin, head);
    vertexColour = base * (0.45 + 0.55 * max(dot(n, towardLight), 0.0));
    gl_Position = viewProjection * vec4(p, 1.0);
})";

const char* kPeopleFragment = R"(#version 330 core
in vec3 vertexColour;
out vec4 fragmentColour;
void main() { fragmentColour = vec4(vertexColour, 1.0); })";

struct MeshVertex {
    float x, y, z;
    std::uint8_t rgba[4];
};

struct FigureVertex {
    float x, y, z;
    float nx, ny, nz;
    float head;
};

struct Instance {
    float x, z, radius, height;
    std::uint8_t rgba[4];
};

std::uint8_t byte(float v) {
    return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

MeshVertex meshVertex(float x, float y, float z, const Colour& c, float shade = 1.0f) {
    return {x, y, z, {byte(c[0] * shade), byte(c[1] * shade), byte(c[2] * shade), 255}};
}

GLuint compile(GLenum type, const char* source) {
    const GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        glDeleteShader(s);
        throw std::runtime_error(std::string("scene shader: ") + log);
    }
    return s;
}

GLuint link(const char* vertex, const char* fragment) {
    const GLuint vs = compile(GL_VERTEX_SHADER, vertex);
    const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment);
    const GLuint p = glCreateProgram();
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glLinkProgram(p);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {};
        glGetProgramInfoLog(p, sizeof log, nullptr, log);
        glDeleteProgram(p);
        throw std::runtime_error(std::string("scene shader program: ") + log);
    }
    return p;
}

// The figure: a body of `bodySides` sides and a head of `headSides` sides in
// `headBands` bands (from 2 up: a double pyramid).
std::vector<FigureVertex> figureMesh(int kBodySides, int kHeadSides, int kBands) {
    std::vector<FigureVertex> v;
    auto ringPoint = [](int i, int sides, float radius, float y, float ny, float cy, float head) {
        const double a = 2.0 * kPi * i / sides;
        const float c = static_cast<float>(std::cos(a)), s = static_cast<float>(std::sin(a));
        const float nr = std::sqrt(std::max(0.0f, 1.0f - ny * ny));
        return FigureVertex{radius * c, y + cy, radius * s, nr * c, ny, nr * s, head};
    };
    // A band between a lower and an upper ring, outward faces counter-clockwise.
    auto band = [&](int sides, float rLow, float yLow, float nyLow, float rUp, float yUp,
                    float nyUp, float cy, float head) {
        for (int i = 0; i < sides; ++i) {
            const FigureVertex b0 = ringPoint(i, sides, rLow, yLow, nyLow, cy, head);
            const FigureVertex b1 = ringPoint(i + 1, sides, rLow, yLow, nyLow, cy, head);
            const FigureVertex t0 = ringPoint(i, sides, rUp, yUp, nyUp, cy, head);
            const FigureVertex t1 = ringPoint(i + 1, sides, rUp, yUp, nyUp, cy, head);
            v.insert(v.end(), {b0, t0, t1, b0, t1, b1});
        }
    };
    // The body: a slightly widening prism to the shoulders (78 % of the
    // height), closed on top.
    const float shoulder = 0.78f;
    band(kBodySides, 0.7f, 0.0f, 0.0f, 1.0f, shoulder, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < kBodySides; ++i) {
        const FigureVertex c{0.0f, shoulder, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
        FigureVertex a = ringPoint(i, kBodySides, 1.0f, shoulder, 1.0f, 0.0f, 0.0f);
        FigureVertex b = ringPoint(i + 1, kBodySides, 1.0f, shoulder, 1.0f, 0.0f, 0.0f);
        v.insert(v.end(), {c, b, a});
    }
    // The head: a coarse ball, half the body radius wide and 11 % of the
    // height tall, above the shoulders.
    const float headR = 0.55f, headH = 0.11f, headY = 0.89f;
    for (int j = 0; j < kBands; ++j) {
        const double lo = -kPi / 2 + kPi * j / kBands, up = -kPi / 2 + kPi * (j + 1) / kBands;
        band(kHeadSides, headR * static_cast<float>(std::cos(lo)),
             headH * static_cast<float>(std::sin(lo)), static_cast<float>(std::sin(lo)),
             headR * static_cast<float>(std::cos(up)), headH * static_cast<float>(std::sin(up)),
             static_cast<float>(std::sin(up)), headY, 1.0f);
    }
    return v;
}

// A box standing on the floor along a segment, faces shaded by direction.
void wallBox(std::vector<MeshVertex>& out, crowd::Vec2 a, crowd::Vec2 b, float height,
             float thickness, const Colour& c) {
    const crowd::Vec2 d = b - a;
    const double len = crowd::length(d);
    if (len <= 0.0) return;
    const crowd::Vec2 u = (1.0 / len) * d;
    const crowd::Vec2 n{-u.y * thickness / 2, u.x * thickness / 2};
    const crowd::Vec2 e = (thickness / 2) * u;  // walls overlap at the corners
    const crowd::Vec2 p[4] = {a - e - n, b + e - n, b + e + n, a - e + n};
    auto fx = [](crowd::Vec2 q) { return static_cast<float>(q.x); };
    auto fz = [](crowd::Vec2 q) { return static_cast<float>(q.y); };
    for (int i = 0; i < 4; ++i) {
        const crowd::Vec2 q0 = p[i], q1 = p[(i + 1) % 4];
        // Light from one side: faces toward +x/-z brighter.
        const crowd::Vec2 side = q1 - q0;
        const double l = std::max(crowd::length(side), 1e-9);
        const float shade = static_cast<float>(0.75 + 0.25 * (side.y / l + side.x / l) / 1.4142);
        out.insert(
            out.end(),
            {meshVertex(fx(q0), 0, fz(q0), c, shade), meshVertex(fx(q1), 0, fz(q1), c, shade),
             meshVertex(fx(q1), height, fz(q1), c, shade), meshVertex(fx(q0), 0, fz(q0), c, shade),
             meshVertex(fx(q1), height, fz(q1), c, shade),
             meshVertex(fx(q0), height, fz(q0), c, shade)});
    }
    const Colour top{c[0] * 0.8f, c[1] * 0.8f, c[2] * 0.8f};
    out.insert(
        out.end(),
        {meshVertex(fx(p[0]), height, fz(p[0]), top), meshVertex(fx(p[1]), height, fz(p[1]), top),
         meshVertex(fx(p[2]), height, fz(p[2]), top), meshVertex(fx(p[0]), height, fz(p[0]), top),
         meshVertex(fx(p[2]), height, fz(p[2]), top), meshVertex(fx(p[3]), height, fz(p[3]), top)});
}

// A flat strip on the floor along a segment, `halfWidth` to each side.
void floorStrip(std::vector<MeshVertex>& out, crowd::Segment s, double halfWidth, const Colour& c) {
    const crowd::Vec2 d = s.b - s.a;
    const double len = crowd::length(d);
    if (len <= 0.0) return;
    const crowd::Vec2 n{-d.y / len * halfWidth, d.x / len * halfWidth};
    const crowd::Vec2 q[4] = {s.a - n, s.b - n, s.b + n, s.a + n};
    auto v = [&](int i) {
        return meshVertex(static_cast<float>(q[i].x), kMarkLift, static_cast<float>(q[i].y), c);
    };
    out.insert(out.end(), {v(0), v(1), v(2), v(0), v(2), v(3)});
}

// Below this size in pixels (the larger of an adult's height and shoulder
// width, at the floor's centre) people are drawn with the coarse figure.
constexpr double kCoarseBelowPixels = 24.0;

double figurePixels(const Camera& camera, Vec3 at, int width, int height) {
    const auto base = camera.project(at, width, height);
    const auto top = camera.project({at.x, at.y + 1.75, at.z}, width, height);
    const auto side = camera.project({at.x + 0.6, at.y, at.z}, width, height);
    if (!base || !top || !side) return 1e9;
    auto dist = [&](const std::array<double, 2>& p) {
        return std::hypot(p[0] - (*base)[0], p[1] - (*base)[1]);
    };
    return std::max(dist(*top), dist(*side));
}

void meshLayout() {
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(MeshVertex), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(MeshVertex),
                          reinterpret_cast<void*>(offsetof(MeshVertex, rgba)));
}

}  // namespace

struct SceneRenderer::Impl {
    GLuint meshProgram = 0, peopleProgram = 0;
    GLint meshMatrix = -1, peopleMatrix = -1, peopleLight = -1, peopleSkin = -1;
    // The static scene: floor fans (stencil), floor cover, grid lines, solids.
    GLuint sceneVao = 0, sceneBuffer = 0;
    std::vector<std::pair<GLint, GLsizei>> floorFans;
    GLint coverFirst = 0, gridFirst = 0, solidFirst = 0;
    GLsizei gridCount = 0, solidCount = 0;
    // The figure, and one instance per person inside.
    GLuint peopleVao = 0, figureBuffer = 0, instanceBuffer = 0;
    // Two figures in one buffer: the full one, and a coarse one for people a
    // few pixels tall (a quarter of the vertices; the picture is the same at
    // that size, and vertices are most of a software rasteriser's work then).
    GLint coarseFirst = 0;
    GLsizei fullVertices = 0, coarseVertices = 0;
    std::vector<Instance> instances;
    std::vector<Instance> personLook;  // per person index: radius, height, colour
    Vec3 sceneCentre{};
    // The cached background (setBackgroundCache) and what it was drawn for.
    bool cacheOn = false, cacheValid = false;
    GLuint cacheFramebuffer = 0, cacheColour = 0, cacheDepth = 0;
    int cacheWidth = 0, cacheHeight = 0;
    Mat4 cacheMatrix{};

    void uploadScene(const SceneDescription& scene);
    void clearTarget(int width, int height) const;
    void drawPeople(const SceneFrame& frame, const Camera& camera, const Mat4& m, int width,
                    int height);
    void drawBackground(const Mat4& m) const;
    void prepareCache(int width, int height, GLuint target);
    void releaseCache();
};

SceneRenderer::SceneRenderer() : impl_(std::make_unique<Impl>()) {
    if (epoxy_gl_version() < 33)
        throw std::runtime_error("the scene needs OpenGL 3.3; this context has " +
                                 std::to_string(epoxy_gl_version() / 10) + "." +
                                 std::to_string(epoxy_gl_version() % 10));
    Impl& d = *impl_;
    d.meshProgram = link(kMeshVertex, kMeshFragment);
    d.peopleProgram = link(kPeopleVertex, kPeopleFragment);
    d.meshMatrix = glGetUniformLocation(d.meshProgram, "viewProjection");
    d.peopleMatrix = glGetUniformLocation(d.peopleProgram, "viewProjection");
    d.peopleLight = glGetUniformLocation(d.peopleProgram, "towardLight");
    d.peopleSkin = glGetUniformLocation(d.peopleProgram, "skin");

    glGenVertexArrays(1, &d.sceneVao);
    glGenBuffers(1, &d.sceneBuffer);

    glGenVertexArrays(1, &d.peopleVao);
    glGenBuffers(1, &d.figureBuffer);
    glGenBuffers(1, &d.instanceBuffer);
    glBindVertexArray(d.peopleVao);
    std::vector<FigureVertex> figure = figureMesh(8, 6, 3);
    d.fullVertices = static_cast<GLsizei>(figure.size());
    const std::vector<FigureVertex> coarse = figureMesh(4, 4, 2);
    d.coarseFirst = d.fullVertices;
    d.coarseVertices = static_cast<GLsizei>(coarse.size());
    figure.insert(figure.end(), coarse.begin(), coarse.end());
    glBindBuffer(GL_ARRAY_BUFFER, d.figureBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(figure.size() * sizeof(FigureVertex)),
                 figure.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(FigureVertex), nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(FigureVertex),
                          reinterpret_cast<void*>(offsetof(FigureVertex, nx)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, sizeof(FigureVertex),
                          reinterpret_cast<void*>(offsetof(FigureVertex, head)));
    glBindBuffer(GL_ARRAY_BUFFER, d.instanceBuffer);
    glEnableVertexAttribArray(3);
    glVertexAttribPointer(3, 4, GL_FLOAT, GL_FALSE, sizeof(Instance), nullptr);
    glVertexAttribDivisor(3, 1);
    glEnableVertexAttribArray(4);
    glVertexAttribPointer(4, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Instance),
                          reinterpret_cast<void*>(offsetof(Instance, rgba)));
    glVertexAttribDivisor(4, 1);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

SceneRenderer::~SceneRenderer() {
    Impl& d = *impl_;
    d.releaseCache();
    glDeleteProgram(d.meshProgram);
    glDeleteProgram(d.peopleProgram);
    const GLuint buffers[] = {d.sceneBuffer, d.figureBuffer, d.instanceBuffer};
    glDeleteBuffers(3, buffers);
    const GLuint arrays[] = {d.sceneVao, d.peopleVao};
    glDeleteVertexArrays(2, arrays);
}

void SceneRenderer::setScene(const SceneDescription& scene) {
    impl_->uploadScene(scene);
    impl_->cacheValid = false;
}

void SceneRenderer::setBackgroundCache(bool on) {
    impl_->cacheOn = on;
    if (!on) impl_->releaseCache();
}

void SceneRenderer::Impl::releaseCache() {
    if (cacheFramebuffer != 0) glDeleteFramebuffers(1, &cacheFramebuffer);
    const GLuint buffers[] = {cacheColour, cacheDepth};
    if (cacheColour != 0 || cacheDepth != 0) glDeleteRenderbuffers(2, buffers);
    cacheFramebuffer = cacheColour = cacheDepth = 0;
    cacheWidth = cacheHeight = 0;
    cacheValid = false;
}

// The cache's framebuffer at the size asked, bound; `target` bound again when
// it cannot be made.
void SceneRenderer::Impl::prepareCache(int width, int height, GLuint target) {
    if (cacheFramebuffer != 0 && cacheWidth == width && cacheHeight == height) {
        glBindFramebuffer(GL_FRAMEBUFFER, cacheFramebuffer);
        return;
    }
    releaseCache();
    glGenFramebuffers(1, &cacheFramebuffer);
    glGenRenderbuffers(1, &cacheColour);
    glGenRenderbuffers(1, &cacheDepth);
    glBindRenderbuffer(GL_RENDERBUFFER, cacheColour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, cacheDepth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, cacheFramebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, cacheColour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              cacheDepth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        releaseCache();
        glBindFramebuffer(GL_FRAMEBUFFER, target);
        throw std::runtime_error("scene: the background framebuffer is incomplete");
    }
    cacheWidth = width;
    cacheHeight = height;
}

void SceneRenderer::Impl::uploadScene(const SceneDescription& scene) {
    std::vector<MeshVertex> v;
    // Floor polygons as fans: drawn into the stencil buffer only, where the
    // parity of the overlaps gives the even-odd fill.
    floorFans.clear();
    for (const crowd::Polygon& poly : scene.floor) {
        if (poly.size() < 3) continue;
        floorFans.push_back({static_cast<GLint>(v.size()), static_cast<GLsizei>(poly.size())});
        for (const crowd::Vec2& p : poly)
            v.push_back(meshVertex(static_cast<float>(p.x), 0.0f, static_cast<float>(p.y), kFloor));
    }
    // The cover drawn where the stencil says "floor".
    const crowd::Box b = scene.bounds();
    sceneCentre = {0.5 * (b.min.x + b.max.x), 0.0, 0.5 * (b.min.y + b.max.y)};
    coverFirst = static_cast<GLint>(v.size());
    const float x0 = static_cast<float>(b.min.x), x1 = static_cast<float>(b.max.x);
    const float z0 = static_cast<float>(b.min.y), z1 = static_cast<float>(b.max.y);
    v.insert(v.end(), {meshVertex(x0, 0, z0, kFloor), meshVertex(x1, 0, z0, kFloor),
                       meshVertex(x1, 0, z1, kFloor), meshVertex(x0, 0, z0, kFloor),
                       meshVertex(x1, 0, z1, kFloor), meshVertex(x0, 0, z1, kFloor)});
    // Grid lines every metre (every 5 m on floors over 60 m), clipped to the
    // floor by the same stencil.
    gridFirst = static_cast<GLint>(v.size());
    const double extent = std::max(b.max.x - b.min.x, b.max.y - b.min.y);
    const double step = extent > 60.0 ? 5.0 : 1.0;
    for (double x = std::ceil(b.min.x / step) * step; x <= b.max.x; x += step)
        v.insert(v.end(), {meshVertex(static_cast<float>(x), kGridLift, z0, kGrid),
                           meshVertex(static_cast<float>(x), kGridLift, z1, kGrid)});
    for (double z = std::ceil(b.min.y / step) * step; z <= b.max.y; z += step)
        v.insert(v.end(), {meshVertex(x0, kGridLift, static_cast<float>(z), kGrid),
                           meshVertex(x1, kGridLift, static_cast<float>(z), kGrid)});
    gridCount = static_cast<GLsizei>(v.size()) - gridFirst;
    // Walls and exit marks: door gaps as a green band across the gap with a
    // post at each side, target lines as an orange band.
    solidFirst = static_cast<GLint>(v.size());
    for (const crowd::Segment& w : scene.walls)
        wallBox(v, w.a, w.b, kWallHeight, kWallThickness, kWall);
    for (const SceneExit& e : scene.exits) {
        if (e.door) {
            floorStrip(v, e.opening, 0.35, kExit);
            const crowd::Vec2 d = e.opening.b - e.opening.a;
            const double len = std::max(crowd::length(d), 1e-9);
            const crowd::Vec2 u = (0.06 / len) * d;
            wallBox(v, e.opening.a - u, e.opening.a + u, 1.1f, 0.12f, kExit);
            wallBox(v, e.opening.b - u, e.opening.b + u, 1.1f, 0.12f, kExit);
        } else {
            floorStrip(v, e.opening, 0.08, kExit);
        }
    }
    solidCount = static_cast<GLsizei>(v.size()) - solidFirst;

    glBindVertexArray(sceneVao);
    glBindBuffer(GL_ARRAY_BUFFER, sceneBuffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(v.size() * sizeof(MeshVertex)), v.data(),
                 GL_STATIC_DRAW);
    meshLayout();
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    personLook.clear();
    for (const ScenePerson& p : scene.people) {
        const Colour c = roleColour(p.role);
        personLook.push_back({0.0f,
                              0.0f,
                              static_cast<float>(p.radius),
                              static_cast<float>(roleHeight(p.role)),
                              {byte(c[0]), byte(c[1]), byte(c[2]), 255}});
    }
}

void SceneRenderer::Impl::clearTarget(int width, int height) const {
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_BLEND);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glStencilMask(0xff);
    glClearColor(kBackground[0], kBackground[1], kBackground[2], 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDisable(GL_CULL_FACE);
}

// Everyone inside, one instanced draw call, with the depth function set.
void SceneRenderer::Impl::drawPeople(const SceneFrame& frame, const Camera& camera, const Mat4& m,
                                     int width, int height) {
    instances.clear();
    for (std::size_t k = 0; k < frame.people.size(); ++k) {
        const int id = frame.people[k];
        if (id < 0 || static_cast<std::size_t>(id) >= personLook.size()) continue;
        Instance in = personLook[static_cast<std::size_t>(id)];
        in.x = static_cast<float>(frame.positions[k].x);
        in.z = static_cast<float>(frame.positions[k].y);
        instances.push_back(in);
    }
    if (instances.empty()) return;
    glUseProgram(peopleProgram);
    glUniformMatrix4fv(peopleMatrix, 1, GL_FALSE, m.data());
    glUniform3f(peopleLight, 0.37f, 0.84f, 0.40f);
    glUniform3f(peopleSkin, kSkin[0], kSkin[1], kSkin[2]);
    glBindVertexArray(peopleVao);
    glBindBuffer(GL_ARRAY_BUFFER, instanceBuffer);
    const auto bytes = static_cast<GLsizeiptr>(instances.size() * sizeof(Instance));
    glBufferData(GL_ARRAY_BUFFER, bytes, nullptr, GL_STREAM_DRAW);  // orphan the old one
    glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, instances.data());
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CCW);
    const bool small = figurePixels(camera, sceneCentre, width, height) < kCoarseBelowPixels;
    glDrawArraysInstanced(GL_TRIANGLES, small ? coarseFirst : 0,
                          small ? coarseVertices : fullVertices,
                          static_cast<GLsizei>(instances.size()));
    glDisable(GL_CULL_FACE);
}

// Walls and exit marks, then the floor and its grid where nothing nearer is.
void SceneRenderer::Impl::drawBackground(const Mat4& m) const {
    glUseProgram(meshProgram);
    glUniformMatrix4fv(meshMatrix, 1, GL_FALSE, m.data());
    glBindVertexArray(sceneVao);
    if (solidCount > 0) glDrawArrays(GL_TRIANGLES, solidFirst, solidCount);
    // The floor after the people and walls, so that the depth test spares
    // the floor hidden behind them (a software rasteriser's main cost). The
    // fans toggle the stencil's lowest bit, then the cover and the
    // grid are drawn where it is set.
    glEnable(GL_STENCIL_TEST);
    glStencilMask(0x01);
    glStencilFunc(GL_ALWAYS, 0, 0x01);
    glStencilOp(GL_KEEP, GL_INVERT, GL_INVERT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glDepthMask(GL_FALSE);
    for (const auto& [first, count] : floorFans) glDrawArrays(GL_TRIANGLE_FAN, first, count);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glDepthMask(GL_TRUE);
    glStencilFunc(GL_EQUAL, 1, 0x01);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
    glDrawArrays(GL_TRIANGLES, coverFirst, 6);
    if (gridCount > 0) glDrawArrays(GL_LINES, gridFirst, gridCount);
    glDisable(GL_STENCIL_TEST);
    glStencilMask(0xff);
}

void SceneRenderer::render(const SceneFrame& frame, const Camera& camera, int width, int height) {
    Impl& d = *impl_;
    const Mat4 m = camera.viewProjection(width, height);

    if (!d.cacheOn) {
        d.clearTarget(width, height);
        d.drawPeople(frame, camera, m, width, height);
        d.drawBackground(m);
    } else {
        GLint bound = 0;
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
        const auto target = static_cast<GLuint>(bound);
        d.prepareCache(width, height, target);
        if (!d.cacheValid || d.cacheMatrix != m) {
            d.clearTarget(width, height);
            d.drawBackground(m);
            d.cacheMatrix = m;
            d.cacheValid = true;
        }
        // The background with its depth and stencil, copied whole.
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_BLEND);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glDepthMask(GL_TRUE);
        glStencilMask(0xff);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, d.cacheFramebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
        glBlitFramebuffer(0, 0, width, height, 0, 0, width, height,
                          GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT,
                          GL_NEAREST);
        glBindFramebuffer(GL_FRAMEBUFFER, target);
        glViewport(0, 0, width, height);
        glEnable(GL_DEPTH_TEST);
        // As near as the background or nearer, so that of two people at the
        // same depth (heads from above) the later one is seen, as when the
        // people are drawn first. A fragment of a person exactly as deep as
        // the floor or a wall now shows the person; drawn first, it lost.
        glDepthFunc(GL_LEQUAL);
        d.drawPeople(frame, camera, m, width, height);
    }

    // Leave the state as others (QPainter) expect it.
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glUseProgram(0);
    glDisable(GL_DEPTH_TEST);
}

}  // namespace scene
