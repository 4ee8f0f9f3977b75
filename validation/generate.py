#!/usr/bin/env python3
"""Writes the scenario files of the series that differ only in one number:
the periodic corridor at five densities (speed against density) and the room
emptying through doors of four widths (flow against width).

    python3 validation/generate.py

The people of a corridor stand on a jittered hexagonal lattice (the random
free spots of `fill` cannot reach 4 /m^2 without overlaps); radii and desired
speeds are drawn by mvnrt from the model's defaults.
"""
import json
import math
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
CORRIDOR_LENGTH, CORRIDOR_WIDTH = 20.0, 4.0
DENSITIES = (0.5, 1.0, 2.0, 3.0, 4.0)
DOOR_WIDTHS = (0.8, 1.0, 1.6, 2.4)


def lattice(n, length, width, seed):
    """n spots on a hexagonal lattice filling length x width, each moved by up
    to 15 % of the spacing."""
    rnd = random.Random(seed)
    spacing = math.sqrt(2.0 / (math.sqrt(3.0) * n / (length * width)))
    rows = max(1, round(width / (spacing * math.sqrt(3.0) / 2.0)))
    cols = math.ceil(n / rows)
    spots = []
    for k in range(n):
        i, j = k % cols, k // cols
        x = (i + 0.5 + 0.5 * (j % 2) + rnd.uniform(-0.15, 0.15)) * length / cols
        z = (j + 0.5 + rnd.uniform(-0.15, 0.15)) * width / rows
        spots.append({"x": round(x % length, 3), "z": round(min(max(z, 0.26), width - 0.26), 3)})
    return spots


def corridor(density):
    n = round(density * CORRIDOR_LENGTH * CORRIDOR_WIDTH)
    L, W = CORRIDOR_LENGTH, CORRIDOR_WIDTH
    return {
        "name": f"Periodic corridor {L:g} m x {W:g} m at {density:g} /m^2",
        "description": f"{n} people walk along a corridor that wraps around; their mean speed "
                       "between 10 s and 20 s is compared with Weidmann's speed at this density.",
        "seed": 17,
        "timeLimit": 20,
        "walkable": [[[0, 0], [L, 0], [L, W], [0, W]]],
        "periodic": {"direction": [1, 0]},
        "people": lattice(n, L, W, 17),
    }


def door_room(width):
    # At least 120 people per metre of door: with fewer the flow measured over
    # all of the evacuation falls short of the steady flow (Liao, Tordeux,
    # Seyfried et al., "Steady state of pedestrian flow in bottleneck
    # experiments", arXiv:1506.02433, found the two the same above about 115
    # persons per metre).
    n = max(150, round(120 * width))
    # A square room of at least 12 m with at most 1.5 people per m^2 at the
    # start (the larger bodies of the model of 2000 fit in too).
    room = max(12.0, math.ceil(math.sqrt(n / 1.5)))
    c = room / 2.0
    inner = [[0.4, 0.4], [room - 0.4, 0.4], [room - 0.4, room - 0.4], [0.4, room - 0.4]]
    return {
        "name": f"{n} people leave a {room:g} m x {room:g} m room through a {width:g} m door",
        "description": "The flow through the door between the 10 % and the 90 % mark of the "
                       "people out, compared with laboratory bottleneck flows.",
        "seed": 1,
        "timeLimit": 600,
        "walkable": [[[0, 0], [room, 0], [room, room], [0, room]]],
        "exits": [{"name": "door", "from": [room, round(c - width / 2, 3)],
                   "to": [room, round(c + width / 2, 3)]}],
        "fill": [{"area": inner, "count": n}],
    }


def rooms_on_a_corridor():
    """Ten rooms 5.8 m x 3.8 m, five on each side of a corridor 30 m long and
    2 m wide, each with a 1 m door to it; the main exit at the corridor's east
    end, the secondary exit at its west end. Rooms are numbered 1-5 along the
    south side and 6-10 along the north side, west to east; the people of
    rooms 5 and 6 are assigned the secondary exit, everyone else the main one."""
    south, north = [], []
    for i in range(5):
        x0 = 6.0 * i
        south += [[x0 + 2.5, 4], [x0 + 2.5, 3.8], [x0 + 0.1, 3.8], [x0 + 0.1, 0],
                  [x0 + 5.9, 0], [x0 + 5.9, 3.8], [x0 + 3.5, 3.8], [x0 + 3.5, 4]]
        north += [[x0 + 3.5, 6], [x0 + 3.5, 6.2], [x0 + 5.9, 6.2], [x0 + 5.9, 10],
                  [x0 + 0.1, 10], [x0 + 0.1, 6.2], [x0 + 2.5, 6.2], [x0 + 2.5, 6]]
    outline = [[0, 4]] + south + [[30, 4], [30, 6]]
    for i in reversed(range(5)):
        outline += north[8 * i:8 * i + 8]
    outline += [[0, 6]]
    fill = []
    for room in range(10):
        x0 = 6.0 * (room % 5)
        z0, z1 = (0.4, 3.4) if room < 5 else (6.6, 9.6)
        exit_name = "secondary exit" if room in (4, 5) else "main exit"
        fill.append({"area": [[x0 + 0.5, z0], [x0 + 5.5, z0], [x0 + 5.5, z1], [x0 + 0.5, z1]],
                     "count": 5, "exit": exit_name})
    return {
        "name": "RiMEA 10: ten rooms on a corridor, each with its assigned exit",
        "description": rooms_on_a_corridor.__doc__.replace("\n   ", "").replace("  ", " ").strip(),
        "seed": 10,
        "timeLimit": 300,
        "walkable": [[[round(x, 3), round(z, 3)] for x, z in outline]],
        "exits": [{"name": "main exit", "from": [30, 4.5], "to": [30, 5.5]},
                  {"name": "secondary exit", "from": [0, 4.5], "to": [0, 5.5]}],
        "fill": fill,
    }


INNER_DOOR_WIDTHS = (0.8, 1.2, 1.6, 2.4)
OPEN_CORRIDOR_DENSITIES = (0.5, 1.0, 2.0, 3.0, 4.0)


def inner_door(width):
    """A room 10 m x 10 m and a second one as large behind a wall 0.1 m
    thick with a door of `width` in its middle; everyone leaves by the whole
    far wall of the second room, so that the door is an inner door with open
    floor behind it. The flow is counted on the door line."""
    n = max(120, round(100 * width))
    c = 5.0
    z0, z1 = round(c - width / 2, 3), round(c + width / 2, 3)
    outline = [[0, 0], [10, 0], [10, z0], [10.1, z0], [10.1, 0], [20.1, 0], [20.1, 10],
               [10.1, 10], [10.1, z1], [10, z1], [10, 10], [0, 10]]
    return {
        "name": f"{n} people pass an inner door {width:g} m wide into an open room",
        "description": "The flow through the door (people crossing its line) between the 10 % and "
                       "the 90 % mark, compared with laboratory bottleneck flows.",
        "seed": 1,
        "timeLimit": 400,
        "walkable": [outline],
        "exits": [{"name": "far wall", "from": [20.1, 0], "to": [20.1, 10]}],
        "fill": [{"area": [[0.4, 0.4], [9.6, 0.4], [9.6, 9.6], [0.4, 9.6]], "count": n}],
    }


def passage(length, width=1.0):
    """A room 10 m x 10 m emptying through a passage `width` wide and
    `length` long whose far end is the exit."""
    n = 120
    c = 5.0
    z0, z1 = round(c - width / 2, 3), round(c + width / 2, 3)
    x1 = round(10 + length, 3)
    outline = [[0, 0], [10, 0], [10, z0], [x1, z0], [x1, z1], [10, z1], [10, 10], [0, 10]]
    return {
        "name": f"{n} people leave a room through a passage {width:g} m wide and {length:g} m long",
        "description": "The flow out of the passage's end between the 10 % and the 90 % mark of "
                       "the people out, compared with laboratory bottleneck flows.",
        "seed": 1,
        "timeLimit": 400,
        "walkable": [outline],
        "exits": [{"name": "passage end", "from": [x1, z0], "to": [x1, z1]}],
        "fill": [{"area": [[0.4, 0.4], [9.6, 0.4], [9.6, 9.6], [0.4, 9.6]], "count": n}],
    }


def t_junction():
    """Two arms 3 m wide and 10 m long meet a stem 3 m wide and 12 m long;
    75 people start in each arm and leave at the stem's end."""
    outline = [[0, 0], [23, 0], [23, 3], [13, 3], [13, 15], [10, 15], [10, 3], [0, 3]]
    return {
        "name": "T-junction: two arms of 75 people merge into a 3 m stem",
        "description": "The flow up the stem (people crossing a line 5 m into it) per metre of "
                       "width, the share of each arm in it, and the use of the stem's width.",
        "seed": 3,
        "timeLimit": 300,
        "walkable": [outline],
        "exits": [{"name": "stem end", "from": [10, 15], "to": [13, 15]}],
        "fill": [{"area": [[0.3, 0.3], [9.0, 0.3], [9.0, 2.7], [0.3, 2.7]], "count": 75, "exit": "stem end"},
                 {"area": [[14.0, 0.3], [22.7, 0.3], [22.7, 2.7], [14.0, 2.7]], "count": 75, "exit": "stem end"}],
    }


def counterflow(density):
    """A corridor 30 m x 3 m with an exit over each end; half of the people
    start in the western 12 m bound east, half in the eastern 12 m bound
    west, at `density` each."""
    n = round(density * 12 * 3)
    return {
        "name": f"Counterflow in a 30 m x 3 m corridor, two groups of {n} at {density:g} /m^2",
        "description": "Two groups walk toward each other and pass; everyone must get out "
                       "(no deadlock), and the lanes they form are measured.",
        "seed": 5,
        "timeLimit": 300,
        "walkable": [[[0, 0], [30, 0], [30, 3], [0, 3]]],
        "exits": [{"name": "east", "from": [30, 0], "to": [30, 3]},
                  {"name": "west", "from": [0, 0], "to": [0, 3]}],
        "fill": [{"area": [[0.3, 0.3], [12, 0.3], [12, 2.7], [0.3, 2.7]], "count": n, "exit": "east"},
                 {"area": [[18, 0.3], [29.7, 0.3], [29.7, 2.7], [18, 2.7]], "count": n, "exit": "west"}],
    }


def open_corridor(density):
    """A corridor 30 m x 3 m that does not wrap, full at `density`, its east
    end open: speed and density are measured in its middle."""
    L, W = 30.0, 3.0
    n = round(density * L * W)
    return {
        "name": f"Open corridor {L:g} m x {W:g} m at {density:g} /m^2",
        "description": f"{n} people walk out of the corridor's east end; the mean speed and the "
                       "density in its middle third are measured over the first seconds.",
        "seed": 19,
        "timeLimit": 12,
        "walkable": [[[0, 0], [L, 0], [L, W], [0, W]]],
        "exits": [{"name": "east end", "from": [L, 0], "to": [L, W]}],
        "people": [{"x": round(min(max(p["x"], 0.26), L - 0.26), 3), "z": p["z"]}
                   for p in lattice(n, L, W, 19)],
    }


def write(name, scenario):
    """One member per line, and one person per line."""
    lines = []
    for key, value in scenario.items():
        if key == "people":
            rows = ",\n    ".join(json.dumps(p) for p in value)
            lines.append(f'  "people": [\n    {rows}\n  ]')
        else:
            lines.append(f"  {json.dumps(key)}: {json.dumps(value)}")
    with open(os.path.join(HERE, "scenarios", name), "w") as f:
        f.write("{\n" + ",\n".join(lines) + "\n}\n")


if __name__ == "__main__":
    for d in DENSITIES:
        write(f"fundamental-diagram-{d:g}.json", corridor(d))
    for w in DOOR_WIDTHS:
        write(f"door-flow-{w:g}m.json", door_room(w))
    write("rimea-10-assigned-exits.json", rooms_on_a_corridor())
    for w in INNER_DOOR_WIDTHS:
        write(f"inner-door-{w:g}m.json", inner_door(w))
    for length in (0.4, 4.0):
        write(f"passage-{length:g}m.json", passage(length))
    write("t-junction.json", t_junction())
    for d in (1.0, 2.0):
        write(f"counterflow-{d:g}.json", counterflow(d))
    for d in OPEN_CORRIDOR_DENSITIES:
        write(f"open-corridor-{d:g}.json", open_corridor(d))
