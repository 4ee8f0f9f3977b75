#include "analysis/run_measures.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace analysis {

namespace {

constexpr double kCutoff = 1.5;  // kernel radii

}  // namespace

const std::vector<ServiceLevel>& serviceLevels() {
    static const std::vector<ServiceLevel> levels = {
        {'A', 0.31, "#1a9850"}, {'B', 0.43, "#91cf60"}, {'C', 0.72, "#d9ef8b"},
        {'D', 1.08, "#fee08b"}, {'E', 2.17, "#fc8d59"}, {'F', INFINITY, "#b2182b"}};
    return levels;
}

char serviceLevelOf(double density) {
    for (const ServiceLevel& l : serviceLevels())
        if (density <= l.upTo) return l.name;
    return 'F';
}

RunMeasures::RunMeasures(const crowd::WalkableArea& area, std::vector<double> preMovement)
    : pre_(std::move(preMovement)) {
    const crowd::Box b = area.bounds();
    grid_.cell = kCell;
    grid_.origin = {std::floor(b.min.x / kCell) * kCell, std::floor(b.min.y / kCell) * kCell};
    grid_.columns = std::max(1, static_cast<int>(std::ceil((b.max.x - grid_.origin.x) / kCell)));
    grid_.rows = std::max(1, static_cast<int>(std::ceil((b.max.y - grid_.origin.y) / kCell)));
    const std::size_t cells =
        static_cast<std::size_t>(grid_.columns) * static_cast<std::size_t>(grid_.rows);
    grid_.walkable.assign(cells, 0);
    for (int r = 0; r < grid_.rows; ++r)
        for (int c = 0; c < grid_.columns; ++c)
            grid_.walkable[static_cast<std::size_t>(r * grid_.columns + c)] =
                area.contains(grid_.centre(c, r)) ? 1 : 0;
    grid_.peak.assign(cells, 0.0);
    grid_.secondsAbove2.assign(cells, 0.0);
    grid_.secondsAbove4.assign(cells, 0.0);
    window_.assign(cells, 0.0);

    // The kernel's walkable part around each cell centre: the sum over
    // walkable cells of the weight at their centres times the cell area.
    const double R2 = kKernelRadius * kKernelRadius;
    const double amplitude = 1.0 / (std::numbers::pi * R2);
    reach_ = static_cast<int>(std::ceil(kCutoff * kKernelRadius / kCell));
    const int span = 2 * reach_ + 1;
    kernel_.assign(static_cast<std::size_t>(span * span), 0.0);
    for (int dy = -reach_; dy <= reach_; ++dy)
        for (int dx = -reach_; dx <= reach_; ++dx) {
            const double d2 = (dx * kCell) * (dx * kCell) + (dy * kCell) * (dy * kCell);
            if (d2 <= kCutoff * kCutoff * R2)
                kernel_[static_cast<std::size_t>((dy + reach_) * span + dx + reach_)] =
                    amplitude * std::exp(-d2 / R2) * kCell * kCell;
        }
    norm_.assign(cells, 0.0);
    for (int r = 0; r < grid_.rows; ++r)
        for (int c = 0; c < grid_.columns; ++c) {
            double sum = 0.0;
            for (int dy = -reach_; dy <= reach_; ++dy) {
                const int rr = r + dy;
                if (rr < 0 || rr >= grid_.rows) continue;
                for (int dx = -reach_; dx <= reach_; ++dx) {
                    const int cc = c + dx;
                    if (cc < 0 || cc >= grid_.columns) continue;
                    if (grid_.walkable[static_cast<std::size_t>(rr * grid_.columns + cc)])
                        sum +=
                            kernel_[static_cast<std::size_t>((dy + reach_) * span + dx + reach_)];
                }
            }
            norm_[static_cast<std::size_t>(r * grid_.columns + c)] = sum;
        }

    persons_.assign(pre_.size(), PersonMeasures{});
    lastPos_.assign(pre_.size(), crowd::Vec2{});
    lastSeen_.assign(pre_.size(), NAN);
}

void RunMeasures::frame(double time, const std::vector<int>& people,
                        const std::vector<crowd::Vec2>& positions) {
    if (time >= windowStart_ + kWindow - 1e-9 && windowFrames_ > 0) closeWindow();
    if (windowFrames_ == 0) windowStart_ = time;
    if (time > lastTime_) frameInterval_ = time - lastTime_;
    lastTime_ = time;

    // Density: separable weights exp(-dx^2/R^2) exp(-dy^2/R^2) within the cutoff.
    const double R2 = kKernelRadius * kKernelRadius;
    const double amplitude = 1.0 / (std::numbers::pi * R2);
    const double cut2 = kCutoff * kCutoff * R2;
    const int span = 2 * reach_ + 1;
    std::vector<double> wx(static_cast<std::size_t>(span)), wy(static_cast<std::size_t>(span));
    std::vector<double> dx2(static_cast<std::size_t>(span)), dy2(static_cast<std::size_t>(span));
    for (std::size_t k = 0; k < people.size(); ++k) {
        const crowd::Vec2 p = positions[k];
        const int pc = static_cast<int>(std::floor((p.x - grid_.origin.x) / kCell));
        const int pr = static_cast<int>(std::floor((p.y - grid_.origin.y) / kCell));
        for (int d = -reach_; d <= reach_; ++d) {
            const double cx = grid_.origin.x + (pc + d + 0.5) * kCell - p.x;
            const double cy = grid_.origin.y + (pr + d + 0.5) * kCell - p.y;
            const std::size_t i = static_cast<std::size_t>(d + reach_);
            dx2[i] = cx * cx, dy2[i] = cy * cy;
            wx[i] = std::exp(-dx2[i] / R2), wy[i] = amplitude * std::exp(-dy2[i] / R2);
        }
        for (int dy = -reach_; dy <= reach_; ++dy) {
            const int r = pr + dy;
            if (r < 0 || r >= grid_.rows) continue;
            const std::size_t iy = static_cast<std::size_t>(dy + reach_);
            for (int dx = -reach_; dx <= reach_; ++dx) {
                const int c = pc + dx;
                if (c < 0 || c >= grid_.columns) continue;
                const std::size_t ix = static_cast<std::size_t>(dx + reach_);
                if (dx2[ix] + dy2[iy] > cut2) continue;
                const std::size_t cell = static_cast<std::size_t>(r * grid_.columns + c);
                if (norm_[cell] > 0.0 && grid_.walkable[cell])
                    window_[cell] += wx[ix] * wy[iy] / norm_[cell];
            }
        }

        // Route and waiting.
        const int id = people[k];
        if (id < 0 || static_cast<std::size_t>(id) >= persons_.size()) continue;
        const std::size_t u = static_cast<std::size_t>(id);
        if (!std::isnan(lastSeen_[u])) {
            const double dt = time - lastSeen_[u];
            const double step = std::hypot(p.x - lastPos_[u].x, p.y - lastPos_[u].y);
            // A jump no one can walk (a periodic corridor wrapping) is no route.
            if (dt > 0.0 && step < 10.0 * dt) {
                persons_[u].routeLength += step;
                if (step < kWaitingSpeed * dt && lastSeen_[u] >= pre_[u] - 1e-9)
                    persons_[u].waitingTime += dt;
            }
        }
        lastPos_[u] = p;
        lastSeen_[u] = time;
    }
    ++windowFrames_;
}

void RunMeasures::closeWindow() {
    if (windowFrames_ == 0) return;
    // Each frame stands for the interval to the next one.
    const double length = std::min(kWindow, windowFrames_ * frameInterval_);
    for (std::size_t c = 0; c < window_.size(); ++c) {
        const double mean = window_[c] / windowFrames_;
        grid_.peak[c] = std::max(grid_.peak[c], mean);
        if (mean > 2.0) grid_.secondsAbove2[c] += length;
        if (mean > 4.0) grid_.secondsAbove4[c] += length;
        window_[c] = 0.0;
    }
    windowFrames_ = 0;
}

void RunMeasures::finish(const std::vector<int>& exitUsed, const std::vector<double>& exitTime,
                         const std::vector<crowd::Vec2>& finalPositions, std::size_t exits,
                         double endTime) {
    closeWindow();
    // The last bit of everyone's way, from the last frame to where they left.
    for (std::size_t i = 0; i < persons_.size() && i < finalPositions.size(); ++i) {
        if (std::isnan(lastSeen_[i])) continue;
        const double step =
            std::hypot(finalPositions[i].x - lastPos_[i].x, finalPositions[i].y - lastPos_[i].y);
        const double dt =
            (i < exitTime.size() && std::isfinite(exitTime[i]) ? exitTime[i] : endTime) -
            lastSeen_[i];
        if (step < 10.0 * std::max(dt, 0.01)) persons_[i].routeLength += step;
    }

    flows_.assign(exits, ExitFlow{});
    std::vector<std::vector<double>> times(exits);
    for (std::size_t i = 0; i < exitUsed.size(); ++i)
        if (exitUsed[i] >= 0 && static_cast<std::size_t>(exitUsed[i]) < exits)
            times[static_cast<std::size_t>(exitUsed[i])].push_back(exitTime[i]);
    const int samples = static_cast<int>(std::ceil(endTime / kFlowStep - 1e-9)) + 1;
    for (std::size_t e = 0; e < exits; ++e) {
        std::sort(times[e].begin(), times[e].end());
        ExitFlow& f = flows_[e];
        std::size_t upTo = 0, from = 0;
        for (int s = 0; s < samples; ++s) {
            const double t = std::min(s * kFlowStep, endTime);
            while (upTo < times[e].size() && times[e][upTo] <= t) ++upTo;
            while (from < upTo && times[e][from] <= t - kFlowWindow) ++from;
            f.time.push_back(t);
            f.cumulative.push_back(static_cast<int>(upTo));
            f.flow.push_back(static_cast<double>(upTo - from) / kFlowWindow);
        }
    }
}

double RunMeasures::peakDensity() const {
    double m = 0.0;
    for (double v : grid_.peak) m = std::max(m, v);
    return m;
}

}  // namespace analysis
