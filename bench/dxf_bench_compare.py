#!/usr/bin/python3
"""Compares what two builds of brennix-cli load from the same DXF files.

A developer tool for changes that should not change the drawing: for every
file both builds write a JSON dump and G-code; the levels must agree in
name, kind, colour and printing, in the number of path sets and paths, and
every path of one must lie within TOL internal units of the same path of
the other (both ways), so that a change in how densely curves are sampled
shows as a distance, not as a difference in what is drawn.

usage: dxf_bench_compare.py OLD_CLI NEW_CLI OUT_DIR [--tol UNITS] FILE...
"""

import argparse
import json
import os
import subprocess
import sys

import numpy as np


def load(cli, path, out):
    js = out + ".json"
    gc = out + ".gcode"
    run = subprocess.run([cli, "--json", js, "-o", gc, path], capture_output=True, text=True)
    if run.returncode != 0:
        return None, run.stderr.strip()
    with open(js) as f:
        return json.load(f), run.stdout.strip()


def distance_to_polyline(points, line):
    """Largest distance of any of points to the polyline line."""
    if len(line) == 1:
        return float(np.max(np.hypot(*(points - line[0]).T)))
    a = line[:-1]
    d = line[1:] - a
    worst = 0.0
    for chunk in range(0, len(points), 256):
        p = points[chunk:chunk + 256, None, :]
        length = np.maximum((d * d).sum(axis=1), 1e-12)
        t = np.clip(((p - a) * d).sum(axis=2) / length, 0, 1)
        q = a + t[..., None] * d
        worst = max(worst, float(np.min(np.hypot(*(p - q).transpose(2, 0, 1)), axis=1).max()))
    return worst


def compare(old, new, tol):
    problems = []
    worst = 0.0
    if len(old["levels"]) != len(new["levels"]):
        return ["%d levels, now %d" % (len(old["levels"]), len(new["levels"]))], 0
    for lo, ln in zip(old["levels"], new["levels"]):
        for key in ("name", "kind", "color", "print", "height"):
            if lo.get(key) != ln.get(key):
                problems.append("level %s: %s %s, now %s" % (lo["name"], key, lo.get(key), ln.get(key)))
        so, sn = lo["input"] or [], ln["input"] or []
        if len(so) != len(sn) or any(len(a) != len(b) for a, b in zip(so, sn)):
            problems.append("level %s: paths %s, now %s" % (lo["name"], [len(a) for a in so],
                                                             [len(b) for b in sn]))
            continue
        for a, b in zip(so, sn):
            for pa, pb in zip(a, b):
                pa, pb = np.array(pa, float), np.array(pb, float)
                if lo["kind"] == "lkArea":
                    # Polygons: closed, wherever they start.
                    pa, pb = np.vstack([pa, pa[:1]]), np.vstack([pb, pb[:1]])
                d = max(distance_to_polyline(pa, pb), distance_to_polyline(pb, pa))
                worst = max(worst, d)
                if d > tol:
                    problems.append("level %s: a path lies %.2f units away" % (lo["name"], d))
    if old["size"] != new["size"]:
        problems.append("size %s, now %s" % (old["size"], new["size"]))
    return problems, worst


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("out")
    parser.add_argument("--tol", type=float, default=2.0)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    same = 0
    for path in args.files:
        stem = os.path.join(args.out, os.path.basename(path))
        old, said_old = load(args.old, path, stem + ".old")
        new, said_new = load(args.new, path, stem + ".new")
        if old is None or new is None:
            verdict = "same" if old is None and new is None else "differs"
            print("%-8s %s refused: %s | %s" % (verdict, path, said_old, said_new))
            same += verdict == "same"
            continue
        problems, worst = compare(old, new, args.tol)
        points_old = sum(len(p) for l in old["levels"] for s in (l["input"] or []) for p in s)
        points_new = sum(len(p) for l in new["levels"] for s in (l["input"] or []) for p in s)
        gold = open(stem + ".old.gcode").read() == open(stem + ".new.gcode").read()
        verdict = "differs" if problems else "same"
        same += not problems
        print("%-8s %s points %d -> %d, within %.2f, G-code %s %s" % (
            verdict, path, points_old, points_new, worst, "equal" if gold else "differs",
            "; ".join(problems[:3])))
    print("summary: %d of %d alike" % (same, len(args.files)))


if __name__ == "__main__":
    sys.exit(main())
