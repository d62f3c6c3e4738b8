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


def ezdxf_render(path, out_png):
    import ezdxf
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from ezdxf.addons.drawing import Frontend, RenderContext
    from ezdxf.addons.drawing.config import Configuration
    from ezdxf.addons.drawing.matplotlib import MatplotlibBackend

    doc = ezdxf.readfile(path)
    msp = doc.modelspace()
    figure = plt.figure(figsize=(8, 8))
    axes = figure.add_axes([0, 0, 1, 1])
    context = RenderContext(doc)
    backend = MatplotlibBackend(axes)
    # Lines as thick as the rendering of the loaded job draws them.
    config = Configuration.defaults().with_changes(lineweight_scaling=0, min_lineweight=4)
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
    figure.savefig(out_png, dpi=200, facecolor="#FFFFFF")
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
            realfiles.render_job_png(job, ours_png)
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
