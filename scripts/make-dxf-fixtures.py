#!/usr/bin/python3
"""Writes DXF drawings with ezdxf that cover every entity the DXF reader draws.

A developer tool: the drawings feed scripts/check-dxf.py (ezdxf's rendering
against what brennix-cli loads), the benchmark's sizes and the fuzz seeds.

usage: make-dxf-fixtures.py [OUT_DIR]        (default /tmp/brennix-dxf-fixtures)
       make-dxf-fixtures.py --example FILE   the small drawing in examples/
       make-dxf-fixtures.py --seeds DIR      tiny hand-written files for the fuzz corpus
"""

import math
import os
import sys

import ezdxf
from ezdxf.math import Vec3


def base(version="R2010", units=4):
    doc = ezdxf.new(version)
    doc.header["$INSUNITS"] = units
    doc.layers.add("Cut", color=1)
    doc.layers.add("Engrave", color=5)
    return doc


def lines(doc):
    msp = doc.modelspace()
    msp.add_line((0, 0), (40, 0), dxfattribs={"layer": "Cut"})
    msp.add_line((40, 0), (40, 20), dxfattribs={"layer": "Cut", "color": 3})
    msp.add_line((40, 20), (0, 0), dxfattribs={"layer": "Cut", "true_color": 0x8040C0})


def polylines(doc):
    msp = doc.modelspace()
    msp.add_lwpolyline([(0, 0, 0, 0, 0.5), (20, 0, 0, 0, 0), (20, 10, 0, 0, -1), (0, 10)],
                       format="xyseb", close=True, dxfattribs={"layer": "Cut"})
    msp.add_lwpolyline([(30, 0), (40, 5), (30, 10)], dxfattribs={"const_width": 0.5})
    msp.add_polyline2d([(50, 0), (60, 0), (60, 10)], close=True)
    msp.add_polyline3d([(70, 0, 0), (80, 5, 3), (70, 10, 6)])


def curves(doc):
    msp = doc.modelspace()
    msp.add_arc((0, 0), 10, 30, 300)
    msp.add_circle((30, 0), 8, dxfattribs={"layer": "Cut"})
    msp.add_ellipse((60, 0), major_axis=(12, 4), ratio=0.4)
    msp.add_ellipse((90, 0), major_axis=(0, 10), ratio=0.5, start_param=0.3, end_param=4.0)
    msp.add_arc((120, 0), 10, 0, 120, dxfattribs={"extrusion": (0, 0, -1)})


def splines(doc):
    msp = doc.modelspace()
    msp.add_spline([(0, 0), (10, 15), (20, -5), (30, 10), (40, 0)])
    msp.add_open_spline([(0, 30), (10, 45), (20, 25), (30, 40), (40, 30)], degree=3)
    msp.add_rational_spline([(50, 0), (60, 20), (70, 0)], weights=[1, 3, 1], degree=2)
    msp.add_spline([(80, 0), (100, 0), (100, 20), (80, 20), (80, 0)])


def fills(doc):
    msp = doc.modelspace()
    msp.add_solid([(0, 0), (10, 0), (0, 10), (10, 10)], dxfattribs={"layer": "Engrave"})
    msp.add_trace([(20, 0), (30, 0), (20, 5), (30, 5)])
    hatch = msp.add_hatch(color=2)
    hatch.paths.add_polyline_path([(40, 0), (60, 0), (60, 20), (40, 20)], is_closed=True)
    hatch.paths.add_polyline_path([(45, 5), (55, 5, 1), (55, 15)], is_closed=True)
    edge = msp.add_hatch(color=4).paths.add_edge_path()
    edge.add_line((70, 0), (90, 0))
    edge.add_arc((90, 10), 10, -90, 90)
    edge.add_ellipse((80, 20), major_axis=(10, 0), ratio=0.5, start_angle=0, end_angle=180)
    edge.add_line((70, 20), (70, 0))
    spline_hatch = msp.add_hatch(color=6)
    path = spline_hatch.paths.add_edge_path()
    path.add_spline(control_points=[(100, 0), (120, 0), (120, 20), (100, 20)], degree=3)
    path.add_line((100, 20), (100, 0))


def blocks(doc):
    part = doc.blocks.new("Part", base_point=(5, 5))
    part.add_circle((5, 5), 4)
    part.add_lwpolyline([(0, 0), (10, 0), (10, 10), (0, 10)], close=True,
                        dxfattribs={"color": 0})
    holder = doc.blocks.new("Holder")
    holder.add_blockref("Part", (0, 0), dxfattribs={"xscale": 0.5, "yscale": 0.5})
    holder.add_line((0, -10), (20, -10))
    msp = doc.modelspace()
    msp.add_blockref("Part", (0, 0), dxfattribs={"layer": "Cut", "color": 1})
    msp.add_blockref("Part", (30, 0), dxfattribs={"rotation": 30, "xscale": 1.5, "yscale": 0.75})
    msp.add_blockref("Part", (60, 0)).grid(size=(3, 4), spacing=(12, 15))
    msp.add_blockref("Holder", (0, 60), dxfattribs={"rotation": 90, "color": 5})
    msp.add_blockref("Part", (120, 0), dxfattribs={"xscale": -1})


def dimensions(doc):
    msp = doc.modelspace()
    msp.add_line((0, 0), (50, 0))
    msp.add_linear_dim(base=(0, 10), p1=(0, 0), p2=(50, 0)).render()
    msp.add_radius_dim(center=(80, 0), radius=10, angle=45).render()
    msp.add_circle((80, 0), 10)


def text(doc):
    msp = doc.modelspace()
    msp.add_line((0, 0), (30, 0))
    msp.add_text("Brennix", dxfattribs={"height": 5}).set_placement((0, 5))
    msp.add_mtext("two\\Plines", dxfattribs={"char_height": 3, "insert": (0, 20)})
    msp.add_point((10, 10))
    # Placement: rotation, width factor, oblique and the justifications.
    msp.add_text("turned", dxfattribs={"height": 4, "rotation": 30}).set_placement((50, 0))
    msp.add_text("wide", dxfattribs={"height": 4, "width": 2}).set_placement((50, 30))
    msp.add_text("leaning", dxfattribs={"height": 4, "oblique": 20}).set_placement((50, 40))
    from ezdxf.enums import TextEntityAlignment as A
    for i, align in enumerate((A.MIDDLE_CENTER, A.TOP_RIGHT, A.BOTTOM_LEFT, A.MIDDLE)):
        msp.add_text("Ag %d" % i, dxfattribs={"height": 3}).set_placement((100, 10 * i),
                                                                         align=align)
    msp.add_text("fit", dxfattribs={"height": 3}).set_placement((0, 60), (40, 60), align=A.FIT)
    msp.add_mtext("a paragraph wrapped to the width of its box",
                  dxfattribs={"char_height": 3, "insert": (0, 90), "width": 30,
                              "attachment_point": 5, "rotation": 10})


def layers(doc):
    doc.layers.add("Off", color=3).off()
    doc.layers.add("Frozen", color=4).freeze()
    msp = doc.modelspace()
    msp.add_circle((0, 0), 5, dxfattribs={"layer": "Cut"})
    msp.add_circle((20, 0), 5, dxfattribs={"layer": "Off"})
    msp.add_circle((40, 0), 5, dxfattribs={"layer": "Frozen"})
    msp.add_circle((60, 0), 5, dxfattribs={"layer": "Engrave", "color": 1})


def box_example(path):
    """A box side with finger joints, a hole and a filled label plate."""
    doc = base("R2000")
    msp = doc.modelspace()
    fingers, width, height, depth = 5, 60.0, 40.0, 3.0
    points = []
    step = width / (2 * fingers)
    for i in range(2 * fingers):
        y = 0 if i % 2 == 0 else depth
        points += [(i * step, y), ((i + 1) * step, y)]
    points += [(width, height), (0, height)]
    msp.add_lwpolyline(points, close=True, dxfattribs={"layer": "Cut"})
    msp.add_circle((width / 2, height / 2 + 5), 6, dxfattribs={"layer": "Cut"})
    plate = msp.add_hatch(dxfattribs={"layer": "Engrave"})
    plate.paths.add_polyline_path([(15, 8, 0), (45, 8, 0), (45, 16, 0.4), (15, 16, 0.4)],
                                  is_closed=True)
    doc.saveas(path)


def pairs(*items):
    return "".join("%s\n" % item for item in items)


def document(entities, blocks="", tables=""):
    text = pairs(0, "SECTION", 2, "HEADER", 9, "$INSUNITS", 70, 4, 0, "ENDSEC")
    if tables:
        text += pairs(0, "SECTION", 2, "TABLES", 0, "TABLE", 2, "LAYER") + tables
        text += pairs(0, "ENDTAB", 0, "ENDSEC")
    if blocks:
        text += pairs(0, "SECTION", 2, "BLOCKS") + blocks + pairs(0, "ENDSEC")
    return text + pairs(0, "SECTION", 2, "ENTITIES") + entities + pairs(0, "ENDSEC", 0, "EOF")


def seeds(out):
    """One entity a file, written with group codes, as small as they come."""
    block = pairs(0, "BLOCK", 8, 0, 2, "B", 70, 0, 10, 1, 20, 0, 30, 0, 0, "LINE", 8, 0, 62, 0,
                  10, 1, 20, 0, 11, 3, 21, 0, 0, "INSERT", 2, "B", 10, 0, 20, 1, 0, "ENDBLK")
    files = {
        "line": document(pairs(0, "LINE", 8, "Cut", 10, 0, 20, 0, 11, 10, 21, 5)),
        "lwpolyline": document(pairs(0, "LWPOLYLINE", 90, 3, 70, 1, 43, 0.5, 10, 0, 20, 0, 42, 1,
                                     10, 10, 20, 0, 10, 10, 20, 10)),
        "polyline": document(pairs(0, "POLYLINE", 66, 1, 70, 1, 0, "VERTEX", 10, 0, 20, 0, 42,
                                   0.5, 0, "VERTEX", 10, 5, 20, 0, 0, "VERTEX", 10, 5, 20, 5,
                                   0, "SEQEND")),
        "arc": document(pairs(0, "ARC", 10, 0, 20, 0, 40, 10, 50, 270, 51, 90, 230, -1)),
        "circle": document(pairs(0, "CIRCLE", 10, 3, 20, 4, 40, 5)),
        "ellipse": document(pairs(0, "ELLIPSE", 10, 0, 20, 0, 11, 20, 21, 0, 40, 0.5, 41, 0,
                                  42, 3.14159)),
        "spline": document(pairs(0, "SPLINE", 70, 12, 71, 2, 72, 6, 73, 3, 40, 0, 40, 0, 40, 0,
                                 40, 1, 40, 1, 40, 1, 10, 0, 20, 0, 41, 1, 10, 10, 20, 10, 41, 0,
                                 10, 20, 20, 0, 41, 1)),
        "spline-fit": document(pairs(0, "SPLINE", 70, 9, 71, 3, 74, 3, 11, 0, 21, 0, 11, 10, 21,
                                     10, 11, 20, 21, 0)),
        "solid": document(pairs(0, "SOLID", 10, 0, 20, 0, 11, 10, 21, 0, 12, 0, 22, 10, 13, 10,
                                23, 10, 0, "TRACE", 10, 20, 20, 0, 11, 30, 21, 0, 12, 20, 22, 5,
                                13, 30, 23, 5)),
        "hatch": document(pairs(0, "HATCH", 10, 0, 20, 0, 30, 0, 2, "SOLID", 70, 1, 71, 0, 91, 2,
                                92, 2, 72, 1, 73, 1, 93, 3, 10, 0, 20, 0, 42, 0.5, 10, 10, 20, 0,
                                10, 10, 20, 10, 92, 1, 93, 3, 72, 1, 10, 1, 20, 1, 11, 5, 21, 1,
                                72, 2, 10, 5, 20, 3, 40, 2, 50, 270, 51, 90, 73, 0, 72, 3, 10, 3,
                                20, 5, 11, 2, 21, 0, 40, 0.5, 50, 0, 51, 180, 73, 1, 97, 0, 75,
                                0, 76, 1, 98, 0)),
        "insert": document(pairs(0, "INSERT", 8, "Cut", 62, 1, 2, "B", 10, 10, 20, 10, 41, 1.5,
                                 42, -1.5, 50, 90, 70, 3, 71, 2, 44, 5, 45, 7), block),
        "dimension": document(pairs(0, "DIMENSION", 8, "Dims", 2, "*D1", 10, 0, 20, 0, 70, 0),
                              pairs(0, "BLOCK", 8, 0, 2, "*D1", 70, 1, 10, 0, 20, 0, 0, "LINE",
                                    10, 0, 20, 0, 11, 10, 21, 0, 0, "ENDBLK")),
        "text": document(pairs(0, "TEXT", 10, 0, 20, 0, 40, 2, 1, "Hello", 0, "MTEXT", 10, 0,
                               20, 9, 40, 2, 1, "Note", 0, "POINT", 10, 3, 20, 3)),
        "layers": document(pairs(0, "LINE", 8, "Cut", 420, 8405024, 10, 0, 20, 0, 11, 1, 21, 0,
                                 0, "LINE", 8, "Hidden", 10, 0, 20, 1, 11, 1, 21, 1),
                           tables=pairs(0, "LAYER", 2, "Cut", 70, 0, 62, 1, 0, "LAYER", 2,
                                        "Hidden", 70, 1, 62, -2)),
    }
    os.makedirs(out, exist_ok=True)
    for name, text in files.items():
        with open(os.path.join(out, name + ".dxf"), "w") as f:
            f.write(text)
    with open(os.path.join(out, "binary.dxf"), "wb") as f:
        f.write(b"AutoCAD Binary DXF\r\n\x1a\x00\x00\x00SECTION\x00")


FIXTURES = [lines, polylines, curves, splines, fills, blocks, dimensions, text, layers]


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--seeds":
        seeds(sys.argv[2])
        return
    if len(sys.argv) == 3 and sys.argv[1] == "--example":
        box_example(sys.argv[2])
        return
    out = sys.argv[1] if len(sys.argv) > 1 else "/tmp/brennix-dxf-fixtures"
    os.makedirs(out, exist_ok=True)
    for make in FIXTURES:
        for version in ("R12", "R2010"):
            if version == "R12" and make in (splines, fills, curves):
                continue  # R12 has no SPLINE, HATCH, ELLIPSE or LWPOLYLINE
            doc = base(version)
            try:
                make(doc)
            except ezdxf.DXFVersionError:
                continue
            name = os.path.join(out, "%s-%s.dxf" % (make.__name__, version.lower()))
            doc.saveas(name)
            print(name)
    inch = base("R2010", units=1)
    inch.modelspace().add_circle((1, 1), 1)
    inch.saveas(os.path.join(out, "inches.dxf"))
    unitless = base("R2010", units=0)
    unitless.modelspace().add_line((0, 0), (10, 10))
    unitless.saveas(os.path.join(out, "unitless.dxf"))


if __name__ == "__main__":
    main()
