#!/usr/bin/env python3
"""Runs the validation suite with mvnrt and writes the report.

    python3 validation/validate.py --mvnrt build/bin/mvnrt [--out docs] [--quick] [--only ID,...]

Every test of the manifest (validation/tests.json) names its scenario files,
the criterion in words and the check that decides it. The report goes to
OUT/validation.md with its figures in OUT/validation/. Exit status: 0 when
every applicable test passes, 1 when a criterion fails, 2 when the suite
cannot run (a missing file, mvnrt failing).
"""
import argparse
import csv
import json
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))


class SuiteError(Exception):
    """The suite cannot run: a file is missing or mvnrt failed."""


# ---------------------------------------------------------------- running


class Runner:
    """Runs mvnrt on a scenario (with model overrides and a seed) in a
    scratch folder and reads what it wrote."""

    def __init__(self, mvnrt, scenario_dir, scratch):
        self.mvnrt = mvnrt
        self.scenario_dir = scenario_dir
        self.scratch = scratch
        self.count = 0

    def scenario(self, name):
        path = os.path.join(self.scenario_dir, name)
        try:
            with open(path) as f:
                return json.load(f)
        except (OSError, ValueError) as e:
            raise SuiteError(f"{path}: {e}")

    def run(self, name, seed=None, fps=0, model=None):
        scenario = self.scenario(name)
        if model:
            scenario["model"] = dict(scenario.get("model", {}), **model)
        self.count += 1
        folder = os.path.join(self.scratch, f"run-{self.count}")
        os.makedirs(folder)
        path = os.path.join(folder, "scenario.json")
        with open(path, "w") as f:
            json.dump(scenario, f)
        command = [self.mvnrt, "--headless", "--scenario", path, "--out", folder, "--fps", str(fps), "--quiet"]
        if seed is not None:
            command += ["--seed", str(seed)]
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if done.returncode != 0:
            raise SuiteError(f"mvnrt failed on {name} (status {done.returncode}): {done.stderr.strip()}")
        with open(os.path.join(folder, "summary.json")) as f:
            summary = json.load(f)
        return Run(name, scenario, summary, os.path.join(folder, "trajectories.csv") if fps else None)


class Run:
    def __init__(self, name, scenario, summary, trajectories):
        self.name = name
        self.scenario = scenario
        self.summary = summary
        self.trajectory_file = trajectories
        self._tracks = None

    @property
    def persons(self):
        return self.summary["persons"]

    def exit_times(self):
        return sorted(p["exitTime"] for p in self.persons if p.get("exitTime") is not None)

    def everyone_out(self):
        return bool(self.summary["everyoneOut"])

    def tracks(self):
        """Per person: arrays of time, x and z, in frame order."""
        if self._tracks is None:
            rows = {}
            with open(self.trajectory_file) as f:
                for row in csv.DictReader(f):
                    rows.setdefault(int(row["person"]), []).append(
                        (float(row["time_s"]), float(row["x_m"]), float(row["z_m"])))
            self._tracks = {p: np.array(r) for p, r in rows.items()}
        return self._tracks


# ---------------------------------------------------------------- geometry


def polygon_area(points):
    a = 0.0
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        a += x0 * y1 - x1 * y0
    return abs(a) / 2.0


def walkable_area(scenario):
    # Even-odd: the first polygon is the floor, the others holes in it.
    polygons = scenario["walkable"]
    return polygon_area(polygons[0]) - sum(polygon_area(p) for p in polygons[1:])


def exit_width(exit_spec):
    (x0, z0), (x1, z1) = exit_spec["from"], exit_spec["to"]
    return math.hypot(x1 - x0, z1 - z0)


def walls_of(scenario):
    edges = []
    for poly in scenario["walkable"]:
        for a, b in zip(poly, poly[1:] + poly[:1]):
            edges.append((tuple(a), tuple(b)))
    return edges


def point_segment_distance(p, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    l2 = dx * dx + dy * dy
    t = 0.0 if l2 == 0 else max(0.0, min(1.0, ((p[0] - ax) * dx + (p[1] - ay) * dy) / l2))
    return math.hypot(p[0] - ax - t * dx, p[1] - ay - t * dy)


def wall_crossings(run):
    """Steps between two frames that cross a wall anywhere but through an
    opened door."""
    openings = [(tuple(e["openingFrom_m"]), tuple(e["openingTo_m"]))
                for e in run.summary["exits"] if "openingFrom_m" in e]
    crossings = 0
    for track in run.tracks().values():
        if len(track) < 2:
            continue
        p = track[:-1, 1:3]
        q = track[1:, 1:3]
        r = q - p
        for a, b in walls_of(run.scenario):
            a = np.array(a)
            s = np.array(b) - a
            denom = r[:, 0] * s[1] - r[:, 1] * s[0]
            ok = np.abs(denom) > 1e-12
            safe = np.where(ok, denom, 1.0)
            ap = a - p
            t = (ap[:, 0] * s[1] - ap[:, 1] * s[0]) / safe
            u = (ap[:, 0] * r[:, 1] - ap[:, 1] * r[:, 0]) / safe
            hit = ok & (t >= 0) & (t <= 1) & (u >= 0) & (u <= 1)
            for k in np.nonzero(hit)[0]:
                point = p[k] + t[k] * r[k]
                if not any(point_segment_distance(point, o0, o1) < 1e-6 for o0, o1 in openings):
                    crossings += 1
    return crossings


def closest_to_wall(run):
    """Smallest distance of a centre to a wall edge over all frames, leaving
    out the edges' stretches that were opened as doors (a person walking out
    comes as close to the door posts as the door allows)."""
    best = math.inf
    openings = [(tuple(e["openingFrom_m"]), tuple(e["openingTo_m"]))
                for e in run.summary["exits"] if "openingFrom_m" in e]
    points = np.concatenate([t[:, 1:3] for t in run.tracks().values()])
    for a, b in walls_of(run.scenario):
        if any(point_segment_distance(o0, a, b) < 1e-6 and point_segment_distance(o1, a, b) < 1e-6
               for o0, o1 in openings):
            continue  # an edge with a door: people pass through it
        a = np.array(a)
        s = np.array(b) - a
        l2 = float(s @ s)
        t = np.clip(((points - a) @ s) / l2, 0.0, 1.0)
        d = np.hypot(*(points - a - np.outer(t, s)).T)
        best = min(best, float(d.min()))
    return best


# ---------------------------------------------------------------- checks
#
# Each check runs what it needs and returns a Result: the figure measured
# (text), whether the criterion holds, and the plots for the report.


class Result:
    def __init__(self, passed, figure, details=None, plots=None, runs=None):
        self.passed = passed
        self.figure = figure
        self.details = details or []
        self.plots = plots or []  # functions taking a matplotlib axis
        self.runs = runs or []


def weidmann(density, data):
    return data["v0"] * (1.0 - math.exp(-data["gamma"] * (1.0 / density - 1.0 / data["rhoMax"])))



def plot_against_weidmann(ax, data, tolerance, points):
    """Weidmann's speed against density with the band of the criterion, and
    this model's (density, speed) points."""
    rho = np.linspace(0.3, 5.4, 200)
    curve = np.array([weidmann(r, data) for r in rho])
    ax.plot(rho, curve, "k-", label="Weidmann (1993)")
    ax.fill_between(rho, curve - tolerance, curve + tolerance, color="0.85",
                    label=f"± {tolerance:g} m/s")
    ax.plot([p[0] for p in points], [p[1] for p in points], "o", color="tab:blue", label="this model")

def check_exit_times(test, runner, ctx):
    run = runner.run(test["scenarios"][0], fps=0)
    c = test["check"]
    times = run.exit_times()
    ok = run.everyone_out() and all(c["min"] <= t <= c["max"] for t in times)
    figure = ", ".join(f"{t:.1f} s" for t in times) if times else "nobody left"
    return Result(ok, figure, runs=[run])


def check_walls(test, runner, ctx):
    run = runner.run(test["scenarios"][0], fps=10)
    crossings = wall_crossings(run)
    clearance = closest_to_wall(run)
    out = len(run.exit_times())
    n = len(run.persons)
    ok = crossings == 0 and run.everyone_out()
    figure = (f"{crossings} wall crossings; {out} of {n} out after "
              f"{run.summary['evacuationTime']:.1f} s; centres kept {clearance:.2f} m from walls")
    return Result(ok, figure, plots=[lambda ax: draw_tracks(ax, run)], runs=[run])


def check_pre_movement(test, runner, ctx):
    """Everyone's pre-movement time lies in the range set, and everyone walks
    off at it: is first 1 m from the start no earlier than the pre-movement
    time and at most `lag` seconds later. (Waiting people shift a little:
    the random force moves them some decimetres over a minute.)"""
    c = test["check"]
    run = runner.run(test["scenarios"][0], fps=10)
    tracks = run.tracks()
    rows = []
    ok = run.everyone_out()
    for p in run.persons:
        pre = p.get("preMovement", 0.0)
        t = tracks[p["id"]]
        moved = np.hypot(t[:, 1] - t[0, 1], t[:, 2] - t[0, 2]) > 1.0
        start = float(t[np.argmax(moved), 0]) if moved.any() else math.inf
        fine = c["min"] <= pre <= c["max"] and pre - 1e-6 <= start <= pre + c["lag"]
        ok = ok and fine
        rows.append((pre, start))
    figure = (f"{len(rows)} people, pre-movement {min(r[0] for r in rows):.1f}-{max(r[0] for r in rows):.1f} s; "
              f"each was 1 m on {min(r[1] - r[0] for r in rows):.2f}-{max(r[1] - r[0] for r in rows):.2f} s "
              "after it")

    def plot(ax):
        ax.plot([r[0] for r in rows], [r[1] for r in rows], "o")
        ax.plot([c["min"], c["max"]], [c["min"], c["max"]], "k-", lw=0.8)
        ax.set_xlabel("pre-movement time drawn (s)")
        ax.set_ylabel("1 m from the start (s)")

    return Result(ok, figure, plots=[plot], runs=[run])


def check_desired_speeds(test, runner, ctx):
    run = runner.run(test["scenarios"][0], fps=0)
    groups = run.scenario["fill"]
    persons = run.persons[len(run.scenario.get("people", [])):]
    ok = True
    lines = []
    samples = []
    k = 0
    for g in groups:
        lo, hi = g["speed"]["min"], g["speed"]["max"]
        speeds = [p["desiredSpeed"] for p in persons[k:k + g["count"]]]
        k += g["count"]
        mean = statistics.fmean(speeds)
        # A uniform draw: the mean lies within three standard errors of the
        # middle, and every speed within the range.
        tolerance = 3.0 * (hi - lo) / math.sqrt(12.0 * len(speeds))
        inside = all(lo <= v <= hi for v in speeds)
        fine = inside and abs(mean - (lo + hi) / 2.0) <= tolerance
        ok = ok and fine
        lines.append(f"{g.get('role', 'group')}: {len(speeds)} people, {min(speeds):.2f}-{max(speeds):.2f} m/s "
                     f"(range {lo:.2f}-{hi:.2f}), mean {mean:.3f} (middle {(lo + hi) / 2:.3f} +- {tolerance:.3f})")
        samples.append((g.get("role", "group"), speeds, lo, hi))

    def plot(ax):
        for role, speeds, lo, hi in samples:
            ax.hist(speeds, bins=np.linspace(lo, hi, 11), alpha=0.6, label=role)
        ax.set_xlabel("desired speed (m/s)")
        ax.set_ylabel("people")
        ax.legend()

    return Result(ok, "; ".join(lines), plots=[plot], runs=[run])


def corridor_speed(run, start, end):
    """Mean speed along a periodic corridor between two times, from each
    person's walk (unwrapped across the corridor's ends)."""
    density = len(run.persons) / walkable_area(run.scenario)
    length = run.scenario["walkable"][0][1][0] - run.scenario["walkable"][0][0][0]
    speeds = []
    for track in run.tracks().values():
        window = track[(track[:, 0] >= start - 1e-6) & (track[:, 0] <= end + 1e-6)]
        dx = np.diff(window[:, 1])
        dx -= length * np.round(dx / length)
        speeds.append(dx.sum() / (window[-1, 0] - window[0, 0]))
    return density, statistics.fmean(speeds)


def check_speed_density(test, runner, ctx):
    c = test["check"]
    data = ctx["weidmann"]
    points = []
    details = []
    ok = True
    for name in test["scenarios"]:
        density, v = corridor_speed(runner.run(name, fps=10), c["from"], c["to"])
        w = weidmann(density, data)
        ok = ok and abs(v - w) <= c["tolerance"]
        points.append((density, v))
        details.append(f"{density:g} /m²: {v:.2f} m/s (Weidmann {w:.2f}, {v - w:+.2f})")
    comparison = []
    if "compare" in test:
        model = ctx["models"][test["compare"]]
        comparison = [corridor_speed(runner.run(name, fps=10, model=model), c["from"], c["to"])
                      for name in test["scenarios"]]

    def plot(ax):
        plot_against_weidmann(ax, data, c["tolerance"], points)
        if comparison:
            ax.plot([p[0] for p in comparison], [p[1] for p in comparison], "s", color="tab:red",
                    mfc="none", label=f"model of {test['compare']}")
        ax.set_xlabel("density (persons/m²)")
        ax.set_ylabel("mean speed (m/s)")
        ax.set_xlim(0, 5.5)
        ax.set_ylim(-0.1, 1.6)
        ax.legend()

    if comparison:
        details.append(f"model of {test['compare']}: " + ", ".join(
            f"{d:g} /m²: {v:.2f} m/s" for d, v in comparison))
    return Result(ok, "; ".join(details), plots=[plot])


def door_flow(run):
    """Flow through the door between the 10 % and the 90 % mark of the
    people out, persons per second."""
    t = run.exit_times()
    n = len(run.persons)
    if len(t) < n or n < 10:
        return float("nan")
    a, b = n // 10, n - n // 10
    return (b - a) / (t[b - 1] - t[a - 1])


def load_band(path):
    """The bottleneck band: width -> (lowest, highest) flow, persons/s."""
    band = {}
    with open(path) as f:
        for row in csv.DictReader(line for line in f if not line.startswith("#")):
            band[float(row["width_m"])] = (float(row["flow_low_per_s"]), float(row["flow_high_per_s"]))
    return band


def check_door_flow(test, runner, ctx):
    seeds = test["check"]["seeds"]
    band = ctx["bottleneck"]
    rows = []
    ok = True
    for name in test["scenarios"]:
        width = exit_width(runner.scenario(name)["exits"][0])
        if round(width, 3) not in band:
            raise SuiteError(f"{name}: no measured flow for a {width:g} m door in validation/data")
        lo, hi = band[round(width, 3)]
        flows = [door_flow(runner.run(name, seed=s)) for s in seeds]
        mean = statistics.fmean(flows)
        ok = ok and lo <= mean <= hi
        rows.append((width, mean, flows))
    comparison = []
    if "compare" in test:
        model = ctx["models"][test["compare"]]
        for name in test["scenarios"]:
            width = exit_width(runner.scenario(name)["exits"][0])
            flows = [door_flow(runner.run(name, seed=s, model=model)) for s in seeds]
            comparison.append((width, statistics.fmean(flows)))
    details = [f"{w:g} m: {m:.2f} /s ({m / w:.2f} /(m s); seeds {', '.join(f'{f:.2f}' for f in fl)})"
               for w, m, fl in rows]
    if comparison:
        details.append(f"model of {test['compare']}: " + ", ".join(
            f"{w:g} m: " + ("did not empty" if math.isnan(m) else f"{m:.2f} /s") for w, m in comparison))

    def plot(ax):
        widths = sorted(band)
        ax.fill_between(widths, [band[w][0] for w in widths], [band[w][1] for w in widths], color="0.85",
                        label="laboratory bottlenecks (validation/data)")
        ax.plot([r[0] for r in rows], [r[1] for r in rows], "o", color="tab:blue", label="this model")
        if comparison:
            ax.plot([r[0] for r in comparison], [r[1] for r in comparison], "s", color="tab:red",
                    mfc="none", label=f"model of {test['compare']}")
        ax.set_xlabel("door width (m)")
        ax.set_ylabel("flow (persons/s)")
        ax.set_xlim(0.6, 2.6)
        highest = max([r[1] for r in rows + comparison if not math.isnan(r[1])] + [band[max(band)][1]])
        ax.set_ylim(0, 1.1 * highest)
        ax.legend(loc="upper left")

    return Result(ok, "; ".join(details), plots=[plot])


def check_time_ratio(test, runner, ctx):
    c = test["check"]
    base, fewer = (runner.run(name) for name in test["scenarios"])
    tb, tf = base.summary["evacuationTime"], fewer.summary["evacuationTime"]
    ratio = tf / tb
    ok = base.everyone_out() and fewer.everyone_out() and c["min"] <= ratio <= c["max"]

    def plot(ax):
        for run, label in ((base, "all doors"), (fewer, "doors closed")):
            t = run.exit_times()
            n = len(run.persons)
            ax.step([0] + t, [n] + [n - k - 1 for k in range(len(t))], where="post", label=label)
        ax.set_xlabel("time (s)")
        ax.set_ylabel("people inside")
        ax.legend()

    return Result(ok, f"{tb:.1f} s with all doors, {tf:.1f} s with the doors closed: {ratio:.2f} times",
                  plots=[plot], runs=[base])


def check_assigned_exits(test, runner, ctx):
    run = runner.run(test["scenarios"][0], fps=10)
    wrong = [p for p in run.persons if p["leftBy"] != p["exit"]]
    by_exit = {}
    for p in run.persons:
        by_exit[p["leftBy"]] = by_exit.get(p["leftBy"], 0) + 1
    ok = run.everyone_out() and not wrong
    figure = (f"{len(run.persons) - len(wrong)} of {len(run.persons)} left by their assigned exit "
              f"({', '.join(f'{k}: {v}' for k, v in sorted(by_exit.items(), key=lambda kv: str(kv[0])))}) after "
              f"{run.summary['evacuationTime']:.1f} s")
    return Result(ok, figure, plots=[lambda ax: draw_tracks(ax, run)], runs=[run])


def check_exit_share(test, runner, ctx):
    c = test["check"]
    run = runner.run(test["scenarios"][0])
    used = sum(1 for p in run.persons if p["leftBy"] == c["exit"])
    share = used / len(run.persons)
    ok = run.everyone_out() and share >= c["minShare"]
    return Result(ok, f"{used} of {len(run.persons)} ({share:.0%}) left by {c['exit']}", runs=[run])


def check_congestion(test, runner, ctx):
    """Peak density, over 5 s windows, in the half disc of radius r in front
    of each door (on the side people come from)."""
    c = test["check"]
    run = runner.run(test["scenarios"][0], fps=2)
    tracks = run.tracks()
    frames = {}
    for track in tracks.values():
        for t, x, z in track:
            frames.setdefault(round(t, 3), []).append((x, z))
    times = sorted(frames)
    r = c["radius"]
    area = math.pi * r * r / 2.0
    peaks = []
    series = []
    for door in c["doors"]:
        cx, cz = door["centre"]
        ux, uz = door["upstream"]
        counts = [sum(1 for x, z in frames[t]
                      if (x - cx) ** 2 + (z - cz) ** 2 <= r * r and (x - cx) * ux + (z - cz) * uz >= 0)
                  for t in times]
        window = 10  # frames: 5 s
        smooth = [statistics.fmean(counts[k:k + window]) / area for k in range(max(1, len(counts) - window))]
        peaks.append(max(smooth))
        series.append((door["name"], times[:len(smooth)], smooth))
    jam, free = c["jam"], c["free"]
    ok = run.everyone_out() and peaks[0] >= jam and all(p < free for p in peaks[1:])
    figure = "; ".join(f"{d['name']}: peak {p:.1f} /m²" for d, p in zip(c["doors"], peaks))

    def plot(ax):
        for name, t, d in series:
            ax.plot(t, d, label=name)
        ax.axhline(jam, color="0.5", ls="--", lw=1)
        ax.set_xlabel("time (s)")
        ax.set_ylabel("density in front of the door (/m², 5 s mean)")
        ax.legend()

    return Result(ok, figure + f"; everyone out after {run.summary['evacuationTime']:.1f} s",
                  plots=[plot, lambda ax: draw_tracks(ax, run)], runs=[run])


def check_time_distribution(test, runner, ctx):
    c = test["check"]
    times = []
    out = True
    for seed in range(1, c["runs"] + 1):
        run = runner.run(test["scenarios"][0], seed=seed)
        out = out and run.everyone_out()
        times.append(run.summary["evacuationTime"])
    mean, sd = statistics.fmean(times), statistics.stdev(times)
    figure = (f"{len(times)} runs: mean {mean:.1f} s, standard deviation {sd:.1f} s, "
              f"{min(times):.1f}-{max(times):.1f} s")

    def plot(ax):
        ax.hist(times, bins=12, color="tab:blue")
        ax.set_xlabel("evacuation time (s)")
        ax.set_ylabel("runs")

    return Result(out, figure, plots=[plot])


# ------------------------------------------------- flows away from the exits


def crossings(run, axis, at, lateral=None):
    """Per person who crossed it: (time, lateral position) where their track
    first passes the line `axis` = `at` (axis "x" or "z") going the way of
    increasing `axis`, linearly between two frames."""
    k = 1 if axis == "x" else 2
    side = 2 if axis == "x" else 1
    out = {}
    for person, t in run.tracks().items():
        if len(t) < 2:
            continue
        before = t[:-1, k] < at
        after = t[1:, k] >= at
        hits = np.nonzero(before & after)[0]
        if len(hits) == 0:
            continue
        i = hits[0]
        f = (at - t[i, k]) / (t[i + 1, k] - t[i, k])
        out[person] = (t[i, 0] + f * (t[i + 1, 0] - t[i, 0]), t[i, side] + f * (t[i + 1, side] - t[i, side]))
    return out


def steady_flow(times):
    """Persons per second between the 10 % and the 90 % mark of sorted times."""
    t = sorted(times)
    n = len(t)
    if n < 10:
        return float("nan")
    a, b = n // 10, n - n // 10
    return (b - a) / (t[b - 1] - t[a - 1])


def check_line_flow(test, runner, ctx):
    """Bottlenecks that are not the exit: the flow over a line (the door's,
    or the passage's end) against the laboratory band per metre of width,
    and that everyone got through."""
    c = test["check"]
    lo, hi = c["perMetre"]
    rows = []
    ok = True
    for name in test["scenarios"]:
        scenario = runner.scenario(name)
        width = c["widths"][name]
        flows, spreads = [], []
        for seed in c.get("seeds", [1]):
            if c.get("line"):
                run = runner.run(name, seed=seed, fps=10)
                cross = crossings(run, c["line"]["axis"], c["line"]["at"])
                ok = ok and len(cross) == len(run.persons)
                flows.append(steady_flow([v[0] for v in cross.values()]))
                # Sideways spread of the crossing points: one file gives ~0.1 m.
                spreads.append(statistics.pstdev([v[1] for v in cross.values()]))
            else:
                run = runner.run(name, seed=seed)
                ok = ok and run.everyone_out()
                flows.append(door_flow(run))
        mean = statistics.fmean(flows)
        if c.get("bandPerWidth", True):
            ok = ok and lo * width <= mean <= hi * width
        rows.append((name, width, mean, flows, statistics.fmean(spreads) if spreads else None))
    if c.get("shortNotSlower"):
        # Short bottlenecks flow at least as much as long ones (Liddle et al. 2011).
        short, long_ = rows[0][2], rows[-1][2]
        ok = ok and short >= 0.95 * long_
    details = []
    for name, w, m, fl, spread in rows:
        label = c.get("labels", {}).get(name, f"{w:g} m")
        text = f"{label}: {m:.2f} /s ({m / w:.2f} /(m s)"
        if spread is not None:
            text += f", crossing points spread {spread:.2f} m"
        details.append(text + ")")
    if c.get("growth") and len(rows) >= 2:
        # The flow grows with the width at the laboratory's rate: each wider
        # door passes more, and from the narrowest to the widest the flow
        # gained per metre of width lies in the band.
        by_width = sorted((r[1], r[2]) for r in rows)
        rising = all(b[1] > a[1] for a, b in zip(by_width, by_width[1:]))
        rate = (by_width[-1][1] - by_width[0][1]) / (by_width[-1][0] - by_width[0][0])
        ok = ok and rising and lo <= rate <= hi
        details.append(f"growth {by_width[0][0]:g} to {by_width[-1][0]:g} m: {rate:.2f} /s per metre"
                       f"{'' if rising else ', not rising with the width'}")

    def plot(ax):
        xs = [r[1] for r in rows]
        ax.fill_between([0.6, 2.6], [lo * 0.6, lo * 2.6], [hi * 0.6, hi * 2.6], color="0.85",
                        label=f"laboratory bottlenecks, {lo:g}-{hi:g} /(m s)")
        ax.plot(xs, [r[2] for r in rows], "o", color="tab:blue", label="this model")
        ax.set_xlabel("width (m)")
        ax.set_ylabel("flow (persons/s)")
        ax.legend(loc="upper left")

    return Result(ok, "; ".join(details), plots=[plot])


def check_corner(test, runner, ctx):
    """A large group round a corner: no wall crossings, everyone out, the
    flow over a line behind the turn per metre of the corridor in the band,
    the outer half of the width used, and the time no longer than the first
    one out plus everyone passing at the lowest flow of the band."""
    c = test["check"]
    run = runner.run(test["scenarios"][0], fps=10)
    walls = wall_crossings(run)
    line = c["line"]
    cross = crossings(run, line["axis"], line["at"])
    width = c["width"]
    flow = steady_flow([v[0] for v in cross.values()]) / width
    lo, hi = c["perMetre"]
    outer = [v[1] for v in cross.values()]
    a, b = c["outerHalf"]
    outer_share = sum(1 for z in outer if a <= z <= b) / max(1, len(outer))
    n = len(run.persons)
    first = run.exit_times()[0] if run.exit_times() else math.inf
    limit = first + n / (lo * width)
    time = run.summary["evacuationTime"]
    ok = (walls == 0 and run.everyone_out() and lo <= flow <= hi and outer_share >= c["minOuterShare"]
          and time <= limit)
    figure = (f"{walls} wall crossings; {len(run.exit_times())} of {n} out after {time:.1f} s "
              f"(at most {limit:.1f} s); {flow:.2f} /(m s) through the turn; "
              f"{outer_share:.0%} pass in the outer half")

    def hist(ax):
        ax.hist(outer, bins=16, color="tab:blue")
        ax.axvspan(a, b, color="0.9", zorder=0, label="outer half")
        ax.legend(loc="upper right")
        ax.set_xlabel("crossing point across the corridor (m)")
        ax.set_ylabel("people")

    return Result(ok, figure, plots=[lambda ax: draw_tracks(ax, run), hist], runs=[run])


def check_merge(test, runner, ctx):
    """Two arms into one stem: the flow up the stem per metre, each arm's
    share of it while both feed it, and the middle third of the stem used."""
    c = test["check"]
    run = runner.run(test["scenarios"][0], fps=10)
    line = c["line"]
    cross = crossings(run, line["axis"], line["at"])
    width = c["width"]
    flow = steady_flow([v[0] for v in cross.values()]) / width
    lo, hi = c["perMetre"]
    order = sorted(cross.items(), key=lambda kv: kv[1][0])
    n = len(order)
    middle = order[n // 10:n - n // 10]
    first_arm = c["firstArm"]
    share = sum(1 for p, _ in middle if p < first_arm) / max(1, len(middle))
    m0, m1 = c["middleThird"]
    middle_share = sum(1 for _, (_, z) in order if m0 <= z <= m1) / max(1, n)
    fair0, fair1 = c["fairShare"]
    ok = (run.everyone_out() and lo <= flow <= hi and fair0 <= share <= fair1
          and middle_share >= c["minMiddleShare"])
    figure = (f"everyone out: {'yes' if run.everyone_out() else 'no'} after {run.summary['evacuationTime']:.1f} s; "
              f"stem {flow:.2f} /(m s); the left arm's share {share:.0%}; "
              f"{middle_share:.0%} pass in the stem's middle third")

    def hist(ax):
        ax.hist([z for _, (_, z) in order], bins=15, color="tab:blue")
        ax.axvspan(m0, m1, color="0.9", zorder=0, label="middle third")
        ax.legend(loc="upper right")
        ax.set_xlabel("crossing point across the stem (m)")
        ax.set_ylabel("people")

    return Result(ok, figure, plots=[lambda ax: draw_tracks(ax, run), hist], runs=[run])


def lane_order(xs, zs, signs, band):
    """The lane order parameter of Rex and Loewen (2007), as used for
    pedestrians by Nowak and Schadschneider (2012): for each person, of
    everyone within `band` sideways (whatever the distance along), the share
    going their way less the share going the other way, squared; the mean
    over everyone. 1: clean lanes; random mixing gives much less."""
    values = []
    for i in range(len(xs)):
        near = np.abs(zs - zs[i]) < band
        near[i] = False
        same = np.sum(near & (signs == signs[i]))
        other = np.sum(near & (signs != signs[i]))
        if same + other:
            values.append(((same - other) / (same + other)) ** 2)
    return statistics.fmean(values) if values else float("nan")


def check_counterflow(test, runner, ctx):
    """Two groups pass each other: nobody stuck (everyone out), the lanes
    they form while mixed (the order parameter against the same positions
    with directions shuffled), and their walking speed then."""
    c = test["check"]
    rnd = np.random.default_rng(7)
    details, ok = [], True
    series = []
    for name in test["scenarios"]:
        run = runner.run(name, fps=10)
        n_east = run.scenario["fill"][0]["count"]
        frames = {}
        for person, t in run.tracks().items():
            for k in range(1, len(t)):
                dt = t[k, 0] - t[k - 1, 0]
                frames.setdefault(round(t[k, 0], 2), []).append(
                    (t[k, 1], t[k, 2], 1 if person < n_east else -1, (t[k, 1] - t[k - 1, 1]) / dt))
        phis, randoms, speeds = [], [], []
        for time in sorted(frames):
            rows = np.array(frames[time])
            # Mixed: both groups inside the measuring stretch.
            inside = (rows[:, 0] >= c["from"]) & (rows[:, 0] <= c["to"])
            part = rows[inside]
            if np.sum(part[:, 2] > 0) < c["minEach"] or np.sum(part[:, 2] < 0) < c["minEach"]:
                continue
            phis.append(lane_order(part[:, 0], part[:, 1], part[:, 2], c["band"]))
            randoms.append(lane_order(part[:, 0], part[:, 1], rnd.permutation(part[:, 2]), c["band"]))
            speeds.append(float(np.mean(part[:, 3] * part[:, 2])))
        phi = statistics.fmean(phis) if phis else float("nan")
        rand = statistics.fmean(randoms) if randoms else float("nan")
        speed = statistics.fmean(speeds) if speeds else float("nan")
        fine = run.everyone_out() and phi - rand >= c["aboveRandom"]
        ok = ok and fine
        details.append(f"{run.scenario['name'].split('at ')[-1]}: everyone out "
                       f"{'after %.1f s' % run.summary['evacuationTime'] if run.everyone_out() else 'NOT'}; "
                       f"lane order {phi:.2f} (shuffled {rand:.2f}); speed while passing {speed:.2f} m/s")
        series.append((name, phis, randoms))

    def plot(ax):
        for name, phis, randoms in series:
            ax.plot(phis, label=f"{name}: lanes")
            ax.plot(randoms, ls="--", label=f"{name}: shuffled")
        ax.set_xlabel("frame while mixed (0.1 s)")
        ax.set_ylabel("lane order parameter")
        ax.legend(fontsize=7)

    return Result(ok, "; ".join(details), plots=[plot])


def check_open_corridor(test, runner, ctx):
    """A corridor that does not wrap: in the measuring stretch, over a time
    window, the density (people in it per m^2) and their mean speed along
    it, against Weidmann's speed at the density measured."""
    c = test["check"]
    data = ctx["weidmann"]
    a, b = c["stretch"]
    width = c["width"]
    points, details, ok = [], [], True
    for name in test["scenarios"]:
        run = runner.run(name, fps=10)
        densities, speeds = [], []
        tracks = run.tracks()
        frames = {}
        for t in tracks.values():
            for k in range(1, len(t)):
                if c["from"] <= t[k, 0] <= c["to"] and a <= t[k, 1] <= b:
                    frames.setdefault(round(t[k, 0], 2), []).append((t[k, 1] - t[k - 1, 1]) / (t[k, 0] - t[k - 1, 0]))
        for v in frames.values():
            densities.append(len(v) / ((b - a) * width))
            speeds.append(statistics.fmean(v))
        rho, v = statistics.fmean(densities), statistics.fmean(speeds)
        w = weidmann(rho, data)
        ok = ok and abs(v - w) <= c["tolerance"]
        points.append((rho, v))
        details.append(f"{rho:.2f} /m²: {v:.2f} m/s (Weidmann {w:.2f}, {v - w:+.2f})")

    def plot(ax):
        plot_against_weidmann(ax, data, c["tolerance"], points)
        ax.set_xlabel("density (persons/m²)")
        ax.set_ylabel("mean speed (m/s)")
        ax.legend()

    return Result(ok, "; ".join(details), plots=[plot])


CHECKS = {
    "exit-times": check_exit_times,
    "walls": check_walls,
    "desired-speeds": check_desired_speeds,
    "pre-movement": check_pre_movement,
    "speed-density": check_speed_density,
    "door-flow": check_door_flow,
    "time-ratio": check_time_ratio,
    "assigned-exits": check_assigned_exits,
    "exit-share": check_exit_share,
    "congestion": check_congestion,
    "time-distribution": check_time_distribution,
    "line-flow": check_line_flow,
    "corner": check_corner,
    "merge": check_merge,
    "counterflow": check_counterflow,
    "open-corridor": check_open_corridor,
}


# ---------------------------------------------------------------- figures


def draw_floor(ax, scenario, run=None):
    from matplotlib.path import Path
    from matplotlib.patches import PathPatch

    vertices, codes = [], []
    for poly in scenario["walkable"]:
        vertices += [tuple(p) for p in poly] + [tuple(poly[0])]
        codes += [Path.MOVETO] + [Path.LINETO] * (len(poly) - 1) + [Path.CLOSEPOLY]
    ax.add_patch(PathPatch(Path(vertices, codes), facecolor="0.93", edgecolor="k", lw=1.2))
    exits = run.summary["exits"] if run else []
    for e in exits:
        a, b = (e["openingFrom_m"], e["openingTo_m"]) if "openingFrom_m" in e else (e["from_m"], e["to_m"])
        ax.plot([a[0], b[0]], [a[1], b[1]], color="tab:green", lw=4, solid_capstyle="butt")
        ax.annotate(e["name"], ((a[0] + b[0]) / 2, (a[1] + b[1]) / 2), fontsize=7, color="tab:green",
                    xytext=(3, 3), textcoords="offset points")
    ax.set_aspect("equal")
    ax.autoscale_view()
    ax.set_xlabel("x (m)")
    ax.set_ylabel("z (m)")


def draw_start(ax, run):
    draw_floor(ax, run.scenario, run)
    xs = [p["start_m"][0] for p in run.persons]
    zs = [p["start_m"][1] for p in run.persons]
    ax.scatter(xs, zs, s=4, color="tab:blue", zorder=3)


def draw_tracks(ax, run):
    draw_floor(ax, run.scenario, run)
    tracks = run.tracks()
    step = max(1, len(tracks) // 60)  # a readable sample of the paths
    for p in sorted(tracks)[::step]:
        t = tracks[p]
        ax.plot(t[:, 1], t[:, 2], lw=0.5, color="tab:blue", alpha=0.6)


def save_figure(path, draw, title=None):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, ax = plt.subplots(figsize=(6, 4))
    draw(ax)
    if title:
        ax.set_title(title, fontsize=9)
    fig.tight_layout()
    fig.savefig(path, dpi=80)
    plt.close(fig)


# ---------------------------------------------------------------- report


def load_manifest(path):
    try:
        with open(path) as f:
            manifest = json.load(f)
    except (OSError, ValueError) as e:
        raise SuiteError(f"{path}: {e}")
    base = os.path.dirname(os.path.abspath(path))
    manifest["scenarioDir"] = os.path.join(base, manifest.get("scenarioDir", "scenarios"))
    return manifest


def load_weidmann(path):
    with open(path) as f:
        for line in f:
            if line.startswith("# parameters:"):
                values = dict(item.split("=") for item in line.split(":", 1)[1].split())
                return {k: float(v) for k, v in values.items()}
    raise SuiteError(f"{path}: no '# parameters:' line")


def run_suite(manifest, runner, out_dir, figures, selected, quick=False):
    ctx = {
        "models": manifest.get("models", {}),
        "weidmann": load_weidmann(os.path.join(HERE, "data", "weidmann-1993.csv")),
        "bottleneck": load_band(os.path.join(HERE, "data", "bottleneck-flow.csv")),
    }
    fig_dir = os.path.join(out_dir, "validation")
    if figures:
        os.makedirs(fig_dir, exist_ok=True)
    results = []
    for test in manifest["tests"]:
        if selected and not selected(test):
            continue
        tid = test["id"]
        if quick and "quickScenarios" in test:
            test = dict(test, scenarios=test["quickScenarios"])
        if "notApplicable" in test:
            results.append((test, None, []))
            print(f"{tid}: not applicable", flush=True)
            continue
        check = CHECKS.get(test["check"]["kind"])
        if check is None:
            raise SuiteError(f"{tid}: unknown check {test['check']['kind']!r}")
        result = check(test, runner, ctx)
        images = []
        if figures:
            first = result.runs[0] if result.runs else runner.run(test["scenarios"][0])
            name = f"{tid}-scenario.png"
            save_figure(os.path.join(fig_dir, name), lambda ax: draw_start(ax, first), first.scenario["name"])
            images.append(name)
            for k, plot in enumerate(result.plots):
                name = f"{tid}-result-{k + 1}.png"
                save_figure(os.path.join(fig_dir, name), plot)
                images.append(name)
        verdict = "pass" if result.passed else ("FAIL (open gap)" if "openGap" in test else "FAIL")
        print(f"{tid}: {verdict}: {result.figure}", flush=True)
        results.append((test, result, images))
    return results


def write_report(path, results, manifest, command):
    lines = [
        "# Validation of the crowd model",
        "",
        "Written by `make validate` (`" + command + "`); do not edit by hand.",
        "Every scenario is a generic scenario file under `validation/scenarios/` that",
        "`mvnrt --scenario` runs as it is; the criteria and the checks are in",
        "`validation/tests.json`, the reference data in `validation/data/`.",
        "",
    ]
    model = next((r.runs[0].summary["model"] for _, r, _ in results if r is not None and r.runs), None)
    if model:
        lines += ["Model parameters of these runs (mvnrt's defaults): " +
                  ", ".join(f"`{k}` {v:g}" for k, v in model.items()) + "."]
    lines += [
        "",
        "| test | criterion | our figure | result |",
        "|---|---|---|---|",
    ]
    for test, result, _ in results:
        if result is None:
            lines.append(f"| {test['title']} | {test['criterion']} | — | not applicable: {test['notApplicable']} |")
        else:
            verdict = "pass" if result.passed else (
                "**FAIL** (open gap, below)" if "openGap" in test else "**FAIL**")
            lines.append(f"| {test['title']} | {test['criterion']} | {result.figure} | {verdict} |")
    lines.append("")
    for test, result, images in results:
        lines += [f"## {test['title']}", "", f"**Criterion.** {test['criterion']}", ""]
        if result is None:
            lines += [f"**Not applicable.** {test['notApplicable']}", ""]
            continue
        scenarios = ", ".join(f"`validation/scenarios/{s}`" for s in test["scenarios"])
        lines += [f"**Scenario.** {scenarios}", "",
                  f"**Our figure.** {result.figure}", "",
                  f"**Result.** {'pass' if result.passed else 'FAIL'}", ""]
        if not result.passed and "openGap" in test:
            lines += [f"**Open gap.** {test['openGap']}", ""]
        if test.get("note"):
            lines += [test["note"], ""]
        for image in images:
            lines += [f"![{image}](validation/{image})", ""]
    with open(path + ".tmp", "w") as f:
        f.write("\n".join(lines))
    os.replace(path + ".tmp", path)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mvnrt", required=True, help="the mvnrt program to run")
    parser.add_argument("--manifest", default=os.path.join(HERE, "tests.json"))
    parser.add_argument("--out", default=None, help="folder for validation.md and its figures")
    parser.add_argument("--quick", action="store_true", help="only the tests marked quick")
    parser.add_argument("--only", default="", help="comma-separated test ids")
    parser.add_argument("--allow-open-gaps", action="store_true",
                        help="exit 0 when the only failures are the manifest's open gaps "
                             "(they are still printed as FAIL)")
    args = parser.parse_args(argv)

    try:
        manifest = load_manifest(args.manifest)
        if not os.access(args.mvnrt, os.X_OK):
            raise SuiteError(f"{args.mvnrt}: not an executable program")
        only = {s for s in args.only.split(",") if s}
        selected = None
        if only or args.quick:
            selected = lambda t: (not only or t["id"] in only) and (not args.quick or t.get("quick"))
        scratch = tempfile.mkdtemp(prefix="escape-validate-")
        try:
            runner = Runner(os.path.abspath(args.mvnrt), manifest["scenarioDir"], scratch)
            figures = args.out is not None
            out_dir = args.out or scratch
            results = run_suite(manifest, runner, out_dir, figures, selected, args.quick)
            if args.out:
                command = "python3 validation/validate.py" + (" --quick" if args.quick else "")
                write_report(os.path.join(args.out, "validation.md"), results, manifest, command)
        finally:
            shutil.rmtree(scratch, ignore_errors=True)
    except SuiteError as e:
        print(f"validate: {e}", file=sys.stderr)
        return 2
    except (OSError, ValueError, KeyError, TypeError) as e:
        # A manifest or a result that is not in the expected form.
        print(f"validate: cannot run the suite: {type(e).__name__}: {e}", file=sys.stderr)
        return 2
    failed = [t["id"] for t, r, _ in results if r is not None and not r.passed]
    open_gaps = [t["id"] for t, r, _ in results if r is not None and not r.passed and "openGap" in t]
    closed = [t["id"] for t, r, _ in results if r is not None and r.passed and "openGap" in t]
    if closed:
        print(f"validate: open gaps that now pass (take them out of the manifest): {', '.join(closed)}")
    if failed:
        print(f"validate: criteria failed: {', '.join(failed)}"
              + (f" (open gaps: {', '.join(open_gaps)})" if open_gaps else ""), file=sys.stderr)
        if args.allow_open_gaps and failed == open_gaps:
            return 0
        return 1
    print(f"validate: {sum(1 for _, r, _ in results if r is not None)} tests passed, "
          f"{sum(1 for _, r, _ in results if r is None)} not applicable")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
