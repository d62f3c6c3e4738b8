#!/usr/bin/python3
"""Loads real drawings with brennix-cli and compares them with a peer's rendering.

A developer tool, not a test: it needs files that other programs wrote, which
the repository does not hold. For every file it runs the peer (gerbv, rsvg-convert,
hp2xx, admesh), then brennix-cli with a JSON dump, renders the loaded levels'
input geometry and compares the ink of both pictures after trimming them to
their ink and bringing them to one size. A file matches when each picture's
ink lies, with a pixel or two of slack, on the other's.

usage: realfiles.py [-b BUILD_DIR] [-o OUT_DIR] [--timeout S] [--focus MM] KIND PATH...
KIND is gerber, svg, hpgl or stl; a PATH that is a folder is searched for
files with that kind's extensions.
"""

import argparse
import json
import os
import re
import subprocess
import sys
import time

from PIL import Image, ImageChops, ImageDraw, ImageFilter

EXTENSIONS = {
    "gerber": {"gbr", "gbx", "ger", "grb", "pho", "art", "gtl", "gbl", "gto", "gbo", "gts", "gbs",
               "gtp", "gbp", "gko", "gml", "gm1", "gm2", "cmp", "sol", "plc", "pls", "stc", "sts",
               "crc", "crs", "g1", "g2", "g3", "g4", "gp1", "gp2", "gd1", "gg1", "off", "gdl",
               "mil", "top", "bot", "smt", "smb", "sst", "ssb", "spt", "spb", "out", "oln",
               "drd", "drl", "exc", "xln", "txt"},
    "svg": {"svg"},
    "hpgl": {"plt", "hgl", "hpgl", "hpg", "hp", "pen"},
    "stl": {"stl"},
}
# Drill files are loaded to check that the reader names them, never compared;
# text files that are neither (notes, pick-and-place lists) are skipped.
DRILL_TEXT = re.compile(rb"^(M48|M72|M71|T\d+C[\d.]|T\d+F\d+S\d+C)", re.M)


def looks_like_drill(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    return bool(DRILL_TEXT.search(head)) and b"%FS" not in head and b"%MO" not in head
# brennix-cli picks its reader by extension; names it does not know are read
# as Gerber, the HP-GL test plots use extensions it does not list.
BRENNIX_EXTENSION = {"hpgl": "plt"}
SIDE = 400


def find_files(kind, paths):
    for path in paths:
        if os.path.isdir(path):
            for root, _, names in sorted(os.walk(path)):
                for name in sorted(names):
                    extension = name.rsplit(".", 1)[-1].lower()
                    full = os.path.join(root, name)
                    if extension not in EXTENSIONS[kind]:
                        continue
                    if kind == "gerber" and extension == "txt" and not looks_like_drill(full):
                        continue
                    yield full
        else:
            yield path


def run(command, timeout):
    start = time.monotonic()
    try:
        done = subprocess.run(command, capture_output=True, timeout=timeout)
        return done.returncode, done.stdout, done.stderr, time.monotonic() - start
    except subprocess.TimeoutExpired:
        return None, b"", b"", time.monotonic() - start


def cli_status(code, err):
    """What brennix-cli's exit says: loaded (with its message), refused, timeout or crash."""
    message = err.decode("utf-8", "replace").strip().replace("\n", " | ")[:200]
    if code is None:
        return "timeout"
    if code < 0:
        return "crash (signal %d)" % -code
    if code != 0:
        return "refused: " + message
    return "loaded" + (" (says: %s)" % message if message else "")


def job_pixels_per_mm(job, most=10.0):
    """A scale that keeps the picture of the loaded job near 1600 pixels."""
    longest = max(job["size"]) / job["unitsPerMM"] if max(job["size"]) > 0 else 1
    return min(most, 1600 / max(longest, 1e-3))


def render_job_png(job, out_png, pixels_per_mm=None):
    render_job(job, pixels_per_mm or job_pixels_per_mm(job)).save(out_png)


def verdict_of(opened, status, score, note):
    if not opened:
        return "peer refuses" + (", Brennix " + status.split(":")[0])
    if not status.startswith("loaded"):
        return status.split(":")[0]
    if score == "":
        return "loaded"
    return "matches" if float(score) >= 0.9 and not note.startswith("aspect") else "differs"


class Report:
    """The per-file lines, on the terminal and in OUT_DIR/report-KIND.tsv, and the summary."""

    def __init__(self, out, kind):
        self.kind = kind
        self.counts = {}
        self.file = open(os.path.join(out, "report-%s.tsv" % kind), "w")
        self.file.write("file\tpeer\tbrennix\tseconds\tscore\tnote\n")

    def add(self, path, verdict, opened, status, seconds, score, note):
        self.counts[verdict] = self.counts.get(verdict, 0) + 1
        self.file.write("%s\t%s\t%s\t%.2f\t%s\t%s\n" % (path, "opens" if opened else "refuses", status,
                                                       seconds, score, note))
        self.file.flush()
        print("%-10s %6.2fs %6s %s %s" % (verdict, seconds, score, path,
                                          "" if verdict == "matches" else status[:120] + " " + note))
        sys.stdout.flush()

    def summary(self):
        print("summary %s: %s" % (self.kind, ", ".join("%s %d" % kv for kv in sorted(self.counts.items()))))


def ink_mask(image, threshold=245, by_alpha=False):
    gray = image.convert("RGBA")
    if by_alpha:
        # Brennix burns every filled shape, white ones included: what the peer
        # painted at all is the shape, whatever its colour.
        return gray.getchannel("A").point(lambda v: 255 if v > 127 else 0, "1")
    white = Image.new("RGBA", gray.size, (255, 255, 255, 255))
    white.alpha_composite(gray)
    return white.convert("L").point(lambda v: 255 if v < threshold else 0, "1")


def render_job(job, pixels_per_mm):
    units = job["unitsPerMM"]
    width_mm = max(job["size"][0] / units, 0.1)
    height_mm = max(job["size"][1] / units, 0.1)
    scale = pixels_per_mm / units
    size = (max(1, int(width_mm * pixels_per_mm) + 3), max(1, int(height_mm * pixels_per_mm) + 3))
    image = Image.new("RGB", size, "white")
    draw = ImageDraw.Draw(image)

    def point(p):
        return (p[0] * scale + 1, size[1] - 2 - p[1] * scale)

    for level in job["levels"]:
        if level["kind"] not in ("lkArea", "lkLines") or not level["input"]:
            continue
        argb = int(level["color"][1:], 16)
        colour = ((argb >> 16) & 255, (argb >> 8) & 255, argb & 255)
        if level["kind"] == "lkArea":
            for paths in level["input"]:
                # Even-odd within one path set: each ring toggles the pixels it covers.
                mask = Image.new("1", size, 0)
                for path in paths:
                    if len(path) < 3:
                        continue
                    ring = Image.new("1", size, 0)
                    ImageDraw.Draw(ring).polygon([point(p) for p in path], fill=1)
                    mask = ImageChops.logical_xor(mask, ring)
                image.paste(colour, mask=mask)
        else:
            line = max(1, int(round(0.2 * pixels_per_mm)))
            for paths in level["input"]:
                for path in paths:
                    if len(path) >= 2:
                        draw.line([point(p) for p in path], fill=colour, width=line)
    return image


def trimmed(mask):
    box = mask.getbbox()
    return mask.crop(box) if box else None


def coverage(a, b, slack):
    """Share of a's ink that lies within slack pixels of b's ink."""
    grown = b.convert("L").filter(ImageFilter.MaxFilter(2 * slack + 1)).point(lambda v: 255 if v else 0, "1")
    inside = ImageChops.logical_and(a, grown)
    total = a.convert("L").histogram()[255]
    return 1.0 if total == 0 else inside.convert("L").histogram()[255] / total


def compare(brennix_png, peer_png, slack, peer_by_alpha=False):
    ours = trimmed(ink_mask(Image.open(brennix_png)))
    theirs = trimmed(ink_mask(Image.open(peer_png), by_alpha=peer_by_alpha))
    if ours is None and theirs is None:
        return 1.0, "both empty"
    if ours is None or theirs is None:
        return 0.0, "no ink in " + ("Brennix" if ours is None else "peer")
    aspect_ours = ours.width / ours.height
    aspect_theirs = theirs.width / theirs.height
    note = ""
    if abs(aspect_ours - aspect_theirs) / aspect_theirs > 0.05:
        note = "aspect %.3f vs %.3f" % (aspect_ours, aspect_theirs)
    factor = SIDE / max(ours.width, ours.height)
    common = (max(1, round(ours.width * factor)), max(1, round(ours.height * factor)))
    a = ours.convert("L").resize(common, Image.BOX).point(lambda v: 255 if v > 64 else 0, "1")
    b = theirs.convert("L").resize(common, Image.BOX).point(lambda v: 255 if v > 64 else 0, "1")
    return min(coverage(a, b, slack), coverage(b, a, slack)), note


def peer_render(kind, path, out_png, timeout, dpi=254):
    if kind == "gerber":
        # gerbv's own extents of arcs can fall short, and its picture would
        # then cut them off; a wide border keeps the whole drawing in view
        # (the comparison trims the blank anyway).
        command = ["gerbv", "-x", "png", "-D", str(dpi), "-B", "60", "-b", "#FFFFFF", "-f", "#000000FF",
                   "-o", out_png, path]
    elif kind == "svg":
        command = ["rsvg-convert", "-w", "800", "--keep-aspect-ratio", "-o", out_png, path]
    elif kind == "hpgl":
        command = ["hp2xx", "-q", "-m", "png", "-d", "150", "-f", out_png, path]
    else:
        command = ["admesh", path]
    code, out, err, _ = run(command, timeout)
    opened = code == 0 and (kind == "stl" or (os.path.exists(out_png) and os.path.getsize(out_png) > 0))
    if kind == "gerber" and opened and re.search(rb"(?i)critical|error", err):
        opened = False
    return opened, out.decode("latin-1"), err.decode("latin-1", "replace")


def admesh_extents(text):
    values = {}
    for axis in "XY":
        low = re.search(r"Min %s\s*=\s*(-?[\d.e+-]+)" % axis, text)
        high = re.search(r"Max %s\s*=\s*(-?[\d.e+-]+)" % axis, text)
        if low and high:
            values[axis] = float(high.group(1)) - float(low.group(1))
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("-b", "--build", default="build")
    parser.add_argument("-o", "--out", default="/tmp/brennix-realfiles")
    parser.add_argument("--timeout", type=float, default=120)
    # A finer spot keeps detail that the clean-up drops at the default focus
    # (small icons lose strokes thinner than the spot): a geometric check.
    parser.add_argument("--focus", help="focus point size in mm passed to brennix-cli")
    parser.add_argument("kind", choices=sorted(EXTENSIONS))
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()

    cli = os.path.join(args.build, "src", "cli", "brennix-cli")
    os.makedirs(os.path.join(args.out, "png"), exist_ok=True)
    report = Report(args.out, args.kind)
    for index, path in enumerate(find_files(args.kind, args.paths)):
        tag = "%s-%04d" % (args.kind, index)
        extension = path.rsplit(".", 1)[-1].lower()
        drill = args.kind == "gerber" and looks_like_drill(path)
        peer_png = os.path.join(args.out, "png", tag + "-peer.png")
        ours_png = os.path.join(args.out, "png", tag + "-brennix.png")
        opened, peer_out, peer_err = (False, "", "") if drill else peer_render(args.kind, path, peer_png, args.timeout)

        source = path
        if args.kind in BRENNIX_EXTENSION and extension not in ("plt", "hgl", "hpgl"):
            source = os.path.join(args.out, tag + "." + BRENNIX_EXTENSION[args.kind])
            if os.path.lexists(source):
                os.remove(source)
            os.symlink(os.path.abspath(path), source)
        json_path = os.path.join(args.out, tag + ".json")
        focus = ["--focus", args.focus] if args.focus else []
        code, out, err, seconds = run([cli, *focus, "--json", json_path, source], args.timeout)
        status = cli_status(code, err)

        score, note = "", ""
        if status.startswith("loaded") and opened:
            job = json.load(open(json_path))
            if args.kind == "stl":
                extents = admesh_extents(peer_out)
                ours = sorted(v / job["unitsPerMM"] for v in job["size"])
                theirs = sorted(extents.values())
                if len(theirs) == 2:
                    worst = max(abs(a - b) / max(b, 1e-9) for a, b in zip(ours, theirs))
                    score = "%.3f" % max(0.0, 1 - worst)
                    note = "size %.2f x %.2f mm, admesh %.2f x %.2f" % (ours[0], ours[1], theirs[0], theirs[1])
            else:
                # A small board at 10 pixels a millimetre is a few dozen pixels
                # high, where one pixel of antialiasing breaks the aspect check:
                # both sides are drawn finer then.
                pixels_per_mm = None
                if args.kind == "gerber" and job_pixels_per_mm(job, 100) > 10:
                    pixels_per_mm = job_pixels_per_mm(job, 100)
                    peer_render(args.kind, path, peer_png, args.timeout, round(pixels_per_mm * 25.4))
                render_job_png(job, ours_png, pixels_per_mm)
                value, note = compare(ours_png, peer_png, 2 if args.kind == "hpgl" else 1,
                                      peer_by_alpha=args.kind == "svg")
                score = "%.3f" % value
        if os.path.exists(json_path):
            os.remove(json_path)

        if drill:
            verdict = "drill named" if "Excellon" in status else "drill unnamed"
        else:
            verdict = verdict_of(opened, status, score, note)
        report.add(path, verdict, opened, status, seconds, score, note)
    report.summary()


if __name__ == "__main__":
    main()
