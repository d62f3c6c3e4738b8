#!/usr/bin/python3
"""Loads DXF drawings with brennix-cli and compares them with ezdxf's rendering.

A developer tool, not a test: for every file, ezdxf (python3-ezdxf with its
matplotlib drawing add-on) draws the model space, brennix-cli loads the file
with a JSON dump, the loaded levels' input geometry is rendered, and the ink
of both pictures is compared as scripts/realfiles.py does for the other
formats. Entities Brennix leaves out and says so (attribute definitions,
points, images) are left out of ezdxf's picture too.

usage: check-dxf.py [-b BUILD_DIR] [-o OUT_DIR] [--timeout S] PATH...
A PATH that is a folder is searched for .dxf files.
"""

import argparse
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import realfiles  # noqa: E402

LEFT_OUT = {"ATTDEF", "POINT", "IMAGE", "WIPEOUT", "3DFACE", "LEADER",
            "MLEADER", "MULTILEADER", "XLINE", "RAY", "MLINE", "REGION", "3DSOLID", "BODY",
            "TOLERANCE", "ACAD_TABLE", "MESH", "OLE2FRAME", "SHAPE", "VIEWPORT"}


# ezdxf draws every line this many points wide, whatever the drawing's size.
LINE_POINTS = 1.5
FIGURE_INCHES = 8
DPI = 200


def render_like_ezdxf(job, out_png, peer_png):
    """Renders the loaded job at the scale of ezdxf's picture, with its line width.

    realfiles.render_job draws lines 0.2 mm wide, which is a hair on a 2 m
    floor plan and a smear on a 3 mm symbol, while ezdxf draws them a fixed
    number of pixels wide; the comparison then sees the pen, not the geometry.
    """
    from PIL import Image, ImageChops, ImageDraw
    # The size of ezdxf's ink, less the half line its strokes stick out at each end.
    line = max(1, round(LINE_POINTS * DPI / 72))
    box = realfiles.ink_mask(Image.open(peer_png)).getbbox()
    peer_longest = max(box[2] - box[0], box[3] - box[1]) - line if box else FIGURE_INCHES * DPI
    scale = max(peer_longest, 1) / max(max(job["size"]), 1e-9)
    size = (max(1, int(job["size"][0] * scale)) + DPI, max(1, int(job["size"][1] * scale)) + DPI)
    image = Image.new("RGB", size, "white")
    draw = ImageDraw.Draw(image)

    def point(p):
        return (p[0] * scale + DPI / 2, size[1] - DPI / 2 - p[1] * scale)

    for level in job["levels"]:
        if level["kind"] not in ("lkArea", "lkLines") or not level["input"]:
            continue
        argb = int(level["color"][1:], 16)
        colour = ((argb >> 16) & 255, (argb >> 8) & 255, argb & 255)
        for paths in level["input"]:
            if level["kind"] == "lkArea":
                mask = Image.new("1", size, 0)
                for path in paths:
                    if len(path) >= 3:
                        ring = Image.new("1", size, 0)
                        ImageDraw.Draw(ring).polygon([point(p) for p in path], fill=1)
                        mask = ImageChops.logical_xor(mask, ring)
                image.paste(colour, mask=mask)
            else:
                for path in paths:
                    if len(path) >= 2:
                        draw.line([point(p) for p in path], fill=colour, width=line, joint="curve")
    image.save(out_png)


def ezdxf_render(path, out_png):
    import ezdxf
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from ezdxf.addons.drawing import Frontend, RenderContext
    from ezdxf.addons.drawing.config import Configuration
    from ezdxf.addons.drawing.matplotlib import MatplotlibBackend

    from ezdxf.addons.drawing import mtext_complex
    from ezdxf.tools import fonts

    # ezdxf 0.18 fails on MTEXT whose style names no font it can find (the
    # style's font face is None); give it the default face, as it does for TEXT.
    renderer = mtext_complex.ComplexMTextRenderer
    if not getattr(renderer, "brennix_patched", False):
        face_of = renderer.get_font_face
        renderer.get_font_face = lambda self, mtext: face_of(self, mtext) or fonts.FontFace()
        renderer.brennix_patched = True

    try:
        doc = ezdxf.readfile(path)
    except ezdxf.DXFStructureError:
        # dxflib writes files with a header ezdxf's strict reader refuses
        # (an ENDSEC straight after $HANDSEED); its recovering reader takes them.
        from ezdxf import recover
        doc, _ = recover.readfile(path)
    msp = doc.modelspace()
    # ezdxf decodes the \U+XXXX escapes of text only in upper case hex and
    # draws the others as written; CAD programs (and Brennix) show the letters.
    import re
    escape = re.compile(r"\\U\+([0-9A-Fa-f]{4})")
    for layout in [msp] + [block for block in doc.blocks]:
        for entity in layout:
            if entity.dxftype() in ("TEXT", "MTEXT", "ATTRIB"):
                entity.dxf.text = escape.sub(lambda m: chr(int(m.group(1), 16)), entity.dxf.text)
    figure = plt.figure(figsize=(FIGURE_INCHES, FIGURE_INCHES))
    axes = figure.add_axes([0, 0, 1, 1])
    context = RenderContext(doc)
    backend = MatplotlibBackend(axes)
    # Lines as thick as the rendering of the loaded job draws them.
    config = Configuration.defaults().with_changes(lineweight_scaling=0, min_lineweight=LINE_POINTS)
    frontend = Frontend(context, backend, config=config)

    def drawn(entity):
        if entity.dxftype() in LEFT_OUT:
            return False
        # Polygon and polyface meshes are surfaces: Brennix leaves them out.
        if entity.dxftype() == "POLYLINE" and entity.dxf.flags & (16 | 64):
            return False
        return True

    # A white sheet, as Brennix shows the drawing: colour 7 is then black.
    from ezdxf.addons.drawing.properties import LayoutProperties
    properties = LayoutProperties.from_layout(msp)
    properties.set_colors("#FFFFFF")
    frontend.draw_layout(msp, finalize=True, filter_func=drawn, layout_properties=properties)
    figure.savefig(out_png, dpi=DPI, facecolor="#FFFFFF")
    plt.close(figure)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-b", "--build", default="build")
    parser.add_argument("-o", "--out", default="/tmp/brennix-dxf")
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()

    files = []
    for path in args.paths:
        if os.path.isdir(path):
            for root, _, names in sorted(os.walk(path)):
                files += [os.path.join(root, n) for n in sorted(names) if n.lower().endswith(".dxf")]
        else:
            files.append(path)
    cli = os.path.join(args.build, "src", "cli", "brennix-cli")
    os.makedirs(os.path.join(args.out, "png"), exist_ok=True)
    report = realfiles.Report(args.out, "dxf")
    for index, path in enumerate(files):
        tag = "dxf-%04d" % index
        peer_png = os.path.join(args.out, "png", tag + "-peer.png")
        ours_png = os.path.join(args.out, "png", tag + "-brennix.png")
        try:
            ezdxf_render(path, peer_png)
            opened = True
        except Exception as error:  # ezdxf refuses or fails to draw the file
            opened = False
            peer_error = str(error)[:80]
        json_path = os.path.join(args.out, tag + ".json")
        code, out, err, seconds = realfiles.run([cli, "--json", json_path, path], args.timeout)
        status = realfiles.cli_status(code, err)
        score, note = "", ""
        if status.startswith("loaded") and opened:
            job = json.load(open(json_path))
            # The unprinted areas of closed contours are what ezdxf draws as outlines.
            job["levels"] = [level for level in job["levels"] if level.get("print", True)]
            render_like_ezdxf(job, ours_png, peer_png)
            value, note = realfiles.compare(ours_png, peer_png, 2)
            score = "%.3f" % value
        if os.path.exists(json_path):
            os.remove(json_path)
        verdict = realfiles.verdict_of(opened, status, score, note)
        if not opened:
            note = peer_error
        report.add(path, verdict, opened, status, seconds, score, note)
    report.summary()


if __name__ == "__main__":
    main()
