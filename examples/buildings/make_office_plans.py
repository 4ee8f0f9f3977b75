#!/usr/bin/python3
"""Plans of a four-storey office, 40 m x 16 m, as DXF drawings (one a storey,
python3-ezdxf), and its ground floor as scenarios for mvnrt: one reading the
plan (office-ground.json) and one with the same area typed as polygons
(office-ground-typed.json), which give the same evacuation.

    python3 examples/buildings/make_office_plans.py [OUTDIR]

OUTDIR defaults to this script's folder; the plans go to OUTDIR/plans.

The building (metres, x east, y north): outer walls 0.3 m thick; a corridor
2 m wide along the middle (y 7 to 9) between walls 0.15 m thick; south of it
six offices and, in the middle, the entrance lobby (an open-plan office on
the upper storeys); north of it five offices and at each end a stairwell
3.9 m x 6.55 m with its landing at the door (layer STAIRS). Office doors are
0.9 m, stairwell doors 1.0 m, the entrance a double door of two 1.0 m
leaves. Desks (1.6 m x 0.8 m) and the reception desk are on OBSTACLES. On
the ground floor the exits (layer EXITS) are the entrance and a 1.0 m door
from each stairwell to the outside, drawn on the walls' inner faces (an exit
on a wall opens it). Walls are closed polylines, one a wall, overlapping
where they meet.
"""
import json
import os
import sys

import ezdxf

LENGTH, DEPTH = 40.0, 16.0
OUTER, INNER = 0.3, 0.15
CORRIDOR = (7.0, 9.0)
SOUTH_ROOMS = [0.3, 5.0, 10.0, 15.0, 25.0, 30.0, 35.0, 39.7]   # room edges (wall centres)
NORTH_ROOMS = [0.3, 4.3, 10.0, 16.0, 22.0, 28.0, 35.7, 39.7]
STOREYS = 4
PEOPLE_PER_OFFICE, PEOPLE_IN_LOBBY = 8, 12


def q(v):
    """Every coordinate rounded to 0.1 mm, so that the drawing and the typed
    polygons hold the very same numbers."""
    return round(v + 0.0, 4)


def rect(x0, y0, x1, y1):
    return (q(x0), q(y0), q(x1), q(y1))


def storey(level):
    """Walls, obstacles, exits (name, from, to), landings and fills of a storey."""
    walls = [rect(0, 0, LENGTH, OUTER), rect(0, DEPTH - OUTER, LENGTH, DEPTH),
             rect(0, 0, OUTER, DEPTH), rect(LENGTH - OUTER, 0, LENGTH, DEPTH)]
    south_wall = (CORRIDOR[0] - INNER, CORRIDOR[0])
    north_wall = (CORRIDOR[1], CORRIDOR[1] + INNER)
    rooms, doors_s, doors_n = [], [], []
    for a, b in zip(SOUTH_ROOMS, SOUTH_ROOMS[1:]):
        lobby = (a, b) == (15.0, 25.0)
        left = a + (INNER / 2 if a > OUTER else 0)
        right = b - (INNER / 2 if b < LENGTH - OUTER else 0)
        rooms.append(("lobby" if lobby else "office", left, OUTER, right, south_wall[0]))
        c = (a + b) / 2
        doors_s.append((c - 0.9, c + 0.9) if lobby else (c - 0.45, c + 0.45))
    for a, b in zip(NORTH_ROOMS, NORTH_ROOMS[1:]):
        stair = a == OUTER or b == LENGTH - OUTER
        left = a + (INNER / 2 if a > OUTER else 0)
        right = b - (INNER / 2 if b < LENGTH - OUTER else 0)
        rooms.append(("stair" if stair else "office", left, north_wall[1], right, DEPTH - OUTER))
        c = (a + b) / 2
        doors_n.append((c - 0.5, c + 0.5) if stair else (c - 0.45, c + 0.45))
    for x in SOUTH_ROOMS[1:-1]:
        walls.append(rect(x - INNER / 2, OUTER, x + INNER / 2, south_wall[0]))
    for x in NORTH_ROOMS[1:-1]:
        walls.append(rect(x - INNER / 2, north_wall[1], x + INNER / 2, DEPTH - OUTER))
    for (y0, y1), doors in ((south_wall, doors_s), (north_wall, doors_n)):
        x = OUTER
        for d0, d1 in sorted(doors):
            walls.append(rect(x, y0, d0, y1))
            x = d1
        walls.append(rect(x, y0, LENGTH - OUTER, y1))

    obstacles, landings, fills = [], [], []
    for kind, x0, y0, x1, y1 in rooms:
        cx = (x0 + x1) / 2
        if kind == "stair":
            landings.append(rect(x0, y0, x1, y0 + 1.5))
            continue
        if kind == "lobby" and level == 0:
            obstacles.append(rect(cx - 1.5, 3.2, cx + 1.5, 4.0))   # reception desk
            fills.append((rect(x0 + 0.4, y0 + 0.4, x1 - 0.4, y1 - 0.6), PEOPLE_IN_LOBBY))
            continue
        # Two desks side by side (touching: one block), away from the door,
        # which is on the corridor side.
        far = y0 + 1.2 if y1 < CORRIDOR[0] else y1 - 2.0
        obstacles.append(rect(cx - 1.6, far, cx, far + 0.8))
        obstacles.append(rect(cx, far, cx + 1.6, far + 0.8))
        count = PEOPLE_IN_LOBBY if kind == "lobby" else PEOPLE_PER_OFFICE
        fills.append((rect(x0 + 0.4, y0 + 0.4, x1 - 0.4, y1 - 0.4), count))

    exits = []
    if level == 0:
        exits.append(("entrance", (q(19.0), q(OUTER)), (q(21.0), q(OUTER))))
        exits.append(("west stair door", (q(1.8), q(DEPTH - OUTER)), (q(2.8), q(DEPTH - OUTER))))
        exits.append(("east stair door", (q(37.2), q(DEPTH - OUTER)), (q(38.2), q(DEPTH - OUTER))))
    return walls, obstacles, exits, landings, fills


def write_dxf(path, level):
    walls, obstacles, exits, landings, _ = storey(level)
    doc = ezdxf.new("R2010")
    doc.header["$INSUNITS"] = 6  # metres
    for name, colour in (("WALLS", 7), ("OBSTACLES", 3), ("EXITS", 1), ("STAIRS", 5)):
        doc.layers.add(name, color=colour)
    msp = doc.modelspace()
    for layer, rects in (("WALLS", walls), ("OBSTACLES", obstacles), ("STAIRS", landings)):
        for x0, y0, x1, y1 in rects:
            msp.add_lwpolyline([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], close=True,
                               dxfattribs={"layer": layer})
    handles = []
    for _, a, b in exits:
        handles.append(msp.add_line(a, b, dxfattribs={"layer": "EXITS"}).dxf.handle)
    doc.saveas(path)
    return handles


def walkable_polygons(walls, obstacles):
    """The walkable area as the reader gives it: cells between all the plan's
    coordinates, kept where no wall or obstacle stands, their boundary traced
    into rings (outer counter-clockwise, holes clockwise), without collinear
    vertices, each starting at its smallest vertex, holes sorted."""
    blocks = walls + obstacles
    xs = sorted({v for r in blocks for v in (r[0], r[2])})
    ys = sorted({v for r in blocks for v in (r[1], r[3])})

    def free(i, j):
        if not (0 <= i < len(xs) - 1 and 0 <= j < len(ys) - 1):
            return False
        cx, cy = (xs[i] + xs[i + 1]) / 2, (ys[j] + ys[j + 1]) / 2
        return not any(r[0] < cx < r[2] and r[1] < cy < r[3] for r in blocks)

    cells = {(i, j) for i in range(len(xs) - 1) for j in range(len(ys) - 1) if free(i, j)}
    nxt = {}
    for i, j in cells:
        p = [(xs[i], ys[j]), (xs[i + 1], ys[j]), (xs[i + 1], ys[j + 1]), (xs[i], ys[j + 1])]
        for k, (di, dj) in enumerate(((0, -1), (1, 0), (0, 1), (-1, 0))):
            if (i + di, j + dj) not in cells:
                assert p[k] not in nxt, "two boundaries meet at a corner"
                nxt[p[k]] = p[(k + 1) % 4]
    rings = []
    while nxt:
        start = min(nxt)
        ring, v = [], start
        while True:
            ring.append(v)
            v = nxt.pop(v)
            if v == start:
                break
        n = len(ring)
        ring = [ring[k] for k in range(n)
                if (ring[k][0] - ring[k - 1][0]) * (ring[(k + 1) % n][1] - ring[k][1]) -
                   (ring[k][1] - ring[k - 1][1]) * (ring[(k + 1) % n][0] - ring[k][0]) != 0]
        k = ring.index(min(ring))
        rings.append(ring[k:] + ring[:k])

    def area(r):
        return sum(r[k - 1][0] * r[k][1] - r[k][0] * r[k - 1][1] for k in range(len(r))) / 2

    outers = [r for r in rings if area(r) > 0]
    holes = sorted((r for r in rings if area(r) < 0), key=lambda r: r[0])
    assert len(outers) == 1, "the storey's walkable area is not in one piece"
    return [outers[0]] + holes


def scenario(name, walkable, exits, fills):
    return {
        "name": name,
        "description": "Ground floor of the four-storey office of "
                       "examples/buildings/make_office_plans.py: 100 people leave by the "
                       "entrance and the two stairwell doors.",
        "seed": 3,
        "timeLimit": 600,
        "walkable": walkable,
        "exits": exits,
        "fill": [{"area": [[r[0], r[1]], [r[2], r[1]], [r[2], r[3]], [r[0], r[3]]],
                  "count": n, "role": "adult"} for r, n in fills],
    }


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(os.path.join(out, "plans"), exist_ok=True)
    handles = {}
    for level in range(STOREYS):
        handles[level] = write_dxf(os.path.join(out, "plans", "office-storey-%d.dxf" % level), level)

    walls, obstacles, exits, _, fills = storey(0)
    title = "Office, ground floor (40 m x 16 m, 100 people)"
    from_plan = scenario(title + ", from its DXF plan",
                         {"dxf": "plans/office-storey-0.dxf",
                          "layers": {"walls": "WALLS", "obstacles": "OBSTACLES", "exits": "EXITS"}},
                         [], fills)
    # The plan's exits are named by their layer and handle.
    typed_exits = [{"name": "EXITS " + h, "from": list(a), "to": list(b)}
                   for h, (_, a, b) in zip(handles[0], exits)]
    typed = scenario(title + ", typed polygons",
                     [[list(p) for p in ring] for ring in walkable_polygons(walls, obstacles)],
                     typed_exits, fills)
    for name, data in (("office-ground.json", from_plan), ("office-ground-typed.json", typed)):
        with open(os.path.join(out, name), "w") as f:
            json.dump(data, f, indent=1)
            f.write("\n")


if __name__ == "__main__":
    main()
