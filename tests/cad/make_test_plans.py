#!/usr/bin/env python3
"""Writes the DXF drawings of the cad tests into a folder, with manifest.json
naming the handles and figures the tests check. Needs python3-ezdxf.

Usage: make_test_plans.py OUTDIR [--large]
(--large also writes large.dxf, 50,000 LINE entities, for the reading test
and bench/cad_bench.)
"""
import json
import math
import os
import sys

import ezdxf

INSUNITS = {"in": 1, "ft": 2, "mm": 4, "cm": 5, "m": 6}


def new(unit="m", code=None):
    doc = ezdxf.new("R2010")
    doc.header["$INSUNITS"] = INSUNITS[unit] if code is None else code
    for name in ("WALLS", "OBSTACLES", "EXITS", "STAIRS"):
        doc.layers.add(name)
    return doc


def rect(msp, x0, y0, x1, y1, layer):
    return msp.add_lwpolyline([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], close=True,
                              dxfattribs={"layer": layer})


def lines(msp, points, layer, close=True):
    out = []
    n = len(points)
    for i in range(n if close else n - 1):
        out.append(msp.add_line(points[i], points[(i + 1) % n], dxfattribs={"layer": layer}))
    return out


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    m = {}

    # Walls as separate bodies overlapping at the corners (layer BODIES),
    # and the same room as its outer and inner faces (layer FACES): 10 m x
    # 8 m outside, walls 0.2 m thick; on BODIES one more piece of wall
    # overlaps the south wall, 3 m long and 0.1 m into the room.
    doc = new("m")
    msp = doc.modelspace()
    for r in ((0, 0, 10, 0.2), (0, 7.8, 10, 8), (0, 0, 0.2, 8), (9.8, 0, 10, 8), (3, 0, 6, 0.3)):
        rect(msp, *r, "BODIES")
    rect(msp, 0, 0, 10, 8, "FACES")
    rect(msp, 0.2, 0.2, 9.8, 7.8, "FACES")
    doc.saveas(os.path.join(out, "overlap.dxf"))
    m["overlap"] = {"bodies": 9.6 * 7.6 - 3 * 0.1, "faces": 9.6 * 7.6}

    # An outline of lines whose inner south line stops 5 cm short.
    doc = new("m")
    msp = doc.modelspace()
    lines(msp, [(0, 0), (10, 0), (10, 8), (0, 8)], "WALLS")
    short = msp.add_line((0.2, 0.2), (9.75, 0.2), dxfattribs={"layer": "WALLS"})
    msp.add_line((9.8, 0.2), (9.8, 7.8), dxfattribs={"layer": "WALLS"})
    msp.add_line((9.8, 7.8), (0.2, 7.8), dxfattribs={"layer": "WALLS"})
    msp.add_line((0.2, 7.8), (0.2, 0.2), dxfattribs={"layer": "WALLS"})
    doc.saveas(os.path.join(out, "open.dxf"))
    m["open"] = {"handle": short.dxf.handle, "end": [9.75, 0.2], "gap": 0.05}

    # Arcs: a room with an apse (lines and an ARC joined into the inner
    # face), a CIRCLE pillar and a stadium drawn with polyline bulges.
    doc = new("m")
    msp = doc.modelspace()
    rect(msp, -1, -1, 11, 12, "WALLS")
    lines(msp, [(10, 6), (10, 0), (0, 0), (0, 6)], "WALLS", close=False)
    msp.add_arc((5, 6), 5, 0, 180, dxfattribs={"layer": "WALLS"})
    msp.add_circle((5, 3), 0.5, dxfattribs={"layer": "OBSTACLES"})
    msp.add_lwpolyline([(7, 1, 0), (8, 1, 1), (8, 2, 0), (7, 2, 1)], format="xyb", close=True,
                       dxfattribs={"layer": "OBSTACLES"})
    doc.saveas(os.path.join(out, "arcs.dxf"))
    m["arcs"] = {"area": 60 + math.pi * 25 / 2 - math.pi * 0.25 - (1 + math.pi * 0.25),
                 "arcLength": math.pi * 5 + math.pi * 1 + math.pi * 1}

    # Blocks, in millimetres: a 1 m pier (layer 0 in its block) placed on
    # OBSTACLES scaled 2 x 1 and turned 30 degrees, and a block of two piers
    # placed turned 90 degrees.
    doc = new("mm")
    msp = doc.modelspace()
    rect(msp, -1000, -1000, 21000, 11000, "WALLS")
    rect(msp, 0, 0, 20000, 10000, "WALLS")
    pier = doc.blocks.new("PIER")
    rect(pier, -500, -500, 500, 500, "0")
    pair = doc.blocks.new("PAIR")
    pair.add_blockref("PIER", (0, 0))
    pair.add_blockref("PIER", (3000, 0))
    one = msp.add_blockref("PIER", (5000, 5000),
                           dxfattribs={"layer": "OBSTACLES", "xscale": 2, "yscale": 1,
                                       "rotation": 30})
    msp.add_blockref("PAIR", (10000, 2000), dxfattribs={"layer": "OBSTACLES", "rotation": 90})
    doc.saveas(os.path.join(out, "blocks.dxf"))
    m["blocks"] = {"area": 200 - 2 - 2, "insert": one.dxf.handle,
                   "blocked": [[5.7794, 5.45], [10, 5], [10, 2]],
                   "free": [[5.95, 4.55], [13, 2], [7.1, 2]]}

    # Units: a room 400 in x 300 in; the same without $INSUNITS, and with
    # $INSUNITS 3 (miles), which the reader does not take.
    for name, code in (("inches", None), ("unitless", 0), ("miles", 3)):
        doc = new("in", code)
        msp = doc.modelspace()
        rect(msp, -10, -10, 410, 310, "WALLS")
        rect(msp, 0, 0, 400, 300, "WALLS")
        doc.saveas(os.path.join(out, name + ".dxf"))
    m["inches"] = {"area": (400 * 0.0254) * (300 * 0.0254)}

    # An empty WALLS layer (declared, nothing on it).
    doc = new("m")
    rect(doc.modelspace(), 0, 0, 1, 1, "OTHER")
    doc.saveas(os.path.join(out, "empty.dxf"))

    # Walls that leave nothing: one solid body.
    doc = new("m")
    rect(doc.modelspace(), 0, 0, 10, 10, "WALLS")
    rect(doc.modelspace(), 0.2, 0.2, 9.8, 9.8, "WALLS")
    rect(doc.modelspace(), 0, 0, 10, 10, "OBSTACLES")
    doc.saveas(os.path.join(out, "filled.dxf"))

    # A doorway in the outer wall closed by an exit line, a second exit
    # drawn as an open polyline, and a stair landing.
    doc = new("m")
    msp = doc.modelspace()
    for r in ((0, 0, 10, 0.2), (0, 7.8, 10, 8), (0, 0, 0.2, 8), (9.8, 0, 10, 3.5),
              (9.8, 4.5, 10, 8)):
        rect(msp, *r, "WALLS")
    msp.add_line((9.9, 3.5), (9.9, 4.5), dxfattribs={"layer": "EXITS"})
    msp.add_lwpolyline([(0.1, 6), (0.1, 7)], dxfattribs={"layer": "EXITS"})
    rect(msp, 1, 1, 3, 2.5, "STAIRS")
    doc.saveas(os.path.join(out, "doorway.dxf"))
    m["doorway"] = {"area": 9.6 * 7.6 + 0.1 * 1.0}

    if "--large" in sys.argv:
        # 50,000 LINE entities: a hall 260 m x 210 m and 12,499 square
        # pillars of 0.4 m, each of four lines, plus the walls' 4 lines.
        doc = new("m")
        msp = doc.modelspace()
        rect(msp, -1, -1, 261, 211, "WALLS")
        lines(msp, [(0, 0), (260, 0), (260, 210), (0, 210)], "WALLS")
        count = 0
        for i in range(125):
            for j in range(100):
                if count == 12499:
                    break
                x, y = 2 + 2 * i, 2 + 2 * j
                lines(msp, [(x, y), (x + 0.4, y), (x + 0.4, y + 0.4), (x, y + 0.4)], "OBSTACLES")
                count += 1
        doc.saveas(os.path.join(out, "large.dxf"))
        m["large"] = {"entities": 4 + 1 + 4 * count, "area": 260 * 210 - count * 0.16}

    with open(os.path.join(out, "manifest.json"), "w") as f:
        json.dump(m, f, indent=1)


if __name__ == "__main__":
    main()
