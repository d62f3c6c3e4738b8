#!/usr/bin/python3
"""Writes DXF drawings with ezdxf that cover every entity the DXF reader draws.

A developer tool: the drawings feed scripts/check-dxf.py (ezdxf's rendering
against what brennix-cli loads), the benchmark's sizes and the fuzz seeds.

usage: make-dxf-fixtures.py [OUT_DIR]        (default /tmp/brennix-dxf-fixtures)
       make-dxf-fixtures.py --example FILE   the small drawing in examples/
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


FIXTURES = [lines, polylines, curves, splines, fills, blocks, dimensions, text, layers]


def main():
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
