#!/usr/bin/env python3
"""Trains the model that scores the regions scan finds (engine/finding_model.h).

Runs finding_quality on the corpus with every candidate region kept and its
row statistics printed, takes the regions of the tuning half only (of the
corpus: a picture when at least half of it is a picture that was placed,
filler when none of it is; of the real programs: the regions in sections
that cannot hold a picture, all filler), fits boosted trees to them (see
boost), and writes the trees and the least score scan lists by default (the
lowest that leaves at most one false region per 16 MiB of the tuning half's
filler and of its real programs). The held-out half is never looked at
here: the quality test judges it.

    tools/train_finding.py BUILD_DIR [FILES]   FILES of 1 MiB per filler kind (default 20)
    tools/train_finding.py BUILD_DIR FILES --least-only

With --least-only the trees in engine/finding_model.h are kept and only the
least score is set again by the same rule, for a change of the scan that
changes which candidates the trees score.

The fit takes the rows, the split points and the ties in a fixed order, so
the same corpus gives the same trees on every machine; the trees' values
are written exactly (as Python's repr of a float), and the scan adds them in
the same order.
"""
import os
import subprocess
import sys

FALSE_PER_16_MIB = 1.0
ROUNDS = 120      # trees
DEPTH = 3         # splits from a tree's root to its leaves
RATE = 0.1        # the share of each tree's leaf values kept
BINS = 32         # the values of a feature a split may be at
LAMBDA = 1.0      # keeps leaves of few rows small
LEAST_ROWS = 5    # rows in the least leaf
FEATURES = ["vertical", "horizontal", "blank", "repeated", "isolated", "active", "isolated_typical", "plain", "same", "spread", "bands"]


def features(fields):
    vertical, horizontal, active, blank, repeated, isolated, typical, plain, same, spread, bands = map(float, fields[5:16])
    # Must match picture_score in engine/finding.cpp.
    return [vertical, horizontal, blank, repeated, isolated / (isolated + 0.05), active, typical / (typical + 0.05),
            plain, same, spread, bands]


class Tuning:
    """The tuning half's candidate regions: of the corpus (rows of features
    and 1 for a picture, 0 for filler) and of the real programs (regions in
    sections that cannot hold a picture), and the MiB of filler and of the
    programs' picture-free sections."""

    def __init__(self):
        self.corpus, self.programs = [], []
        self.filler_mib = self.program_mib = 0.0


def tuning_regions(build, files):
    env = dict(os.environ, BITLOUPE_QUALITY_FEATURES="1", BITLOUPE_QUALITY_NOTES="1")
    out = subprocess.run([os.path.join(build, "tests/finding/finding_quality"), str(files)], env=env,
                         capture_output=True, text=True, check=False).stdout
    t, half = Tuning(), None
    for line in out.splitlines():
        if line.startswith("| scan: false regions per 16 MiB of filler |"):
            t.filler_mib = float(line.split("|")[2].split(" in ")[1].split()[0])
        elif line.startswith("| real programs:"):
            # The bar counts them per 16 MiB of the sections that cannot
            # hold a picture.
            t.program_mib = float(line.split("|")[2].split(" MiB, ")[1].split()[0])
        if line.startswith("tuning half"):
            half = "tuning"
        elif line.startswith("held-out half"):
            half = "held-out"
        elif half == "tuning" and line.strip().startswith("features"):
            # Regions that are partly a picture and partly filler teach
            # neither class.
            fields = line.split()[1:]
            if fields[0] != "2":
                t.corpus.append((features(fields), 1 if fields[0] == "1" else 0))
        elif line.startswith("real-features 0 0 program "):
            t.programs.append((features(line.split()[2:]), 0))
    return t


def weighed(t):
    """The rows to fit, each with its weight: the corpus's regions and the
    real programs' (all filler), pictures and filler weighing alike in
    all."""
    rows = t.corpus + t.programs
    n = len(rows)
    positives = sum(label for _, label in rows)
    weight = {1: n / (2 * positives), 0: n / (2 * (n - positives))}
    return [(x, label, weight[label]) for x, label in rows]


def cut_points(rows):
    """For each feature, up to BINS - 1 values to split at: the quantiles of
    its values in the rows."""
    cuts = []
    for f in range(len(FEATURES)):
        values = sorted(x[f] for x, _, _ in rows)
        points = sorted({values[len(values) * k // BINS] for k in range(1, BINS)})
        cuts.append(points)
    return cuts


def boost(rows):
    """Gradient boosting of trees DEPTH deep on the logistic loss, each
    split and leaf by the loss's first and second derivatives (a leaf is
    worth -G / (H + LAMBDA), times RATE), the splits at the cut points.
    Returns the trees as nodes: (feature, threshold, below, above, value),
    feature -1 for a leaf; and the root of each tree."""
    import bisect
    import math
    cuts = cut_points(rows)
    n = len(rows)
    # Each row's bin by feature: the number of cut points at or below it.
    bins = [[bisect.bisect_right(cuts[f], x[f]) for f in range(len(FEATURES))] for x, _, _ in rows]
    margin = [0.0] * n
    nodes, roots = [], []

    def grow(members, g, h, depth):
        total_g, total_h = sum(g[i] for i in members), sum(h[i] for i in members)
        best = None
        if depth < DEPTH and len(members) >= 2 * LEAST_ROWS:
            for f in range(len(FEATURES)):
                k = len(cuts[f]) + 1
                bg, bh, bn = [0.0] * k, [0.0] * k, [0] * k
                for i in members:
                    b = bins[i][f]
                    bg[b] += g[i]
                    bh[b] += h[i]
                    bn[b] += 1
                lg = lh = 0.0
                ln = 0
                for b in range(k - 1):
                    lg, lh, ln = lg + bg[b], lh + bh[b], ln + bn[b]
                    rg, rh, rn = total_g - lg, total_h - lh, len(members) - ln
                    if ln < LEAST_ROWS or rn < LEAST_ROWS:
                        continue
                    gain = lg * lg / (lh + LAMBDA) + rg * rg / (rh + LAMBDA) - total_g * total_g / (total_h + LAMBDA)
                    if best is None or gain > best[0] + 1e-12:
                        best = (gain, f, b)
        if best is None or best[0] <= 0:
            nodes.append((-1, 0.0, -1, -1, -RATE * total_g / (total_h + LAMBDA)))
            return len(nodes) - 1
        _, f, b = best
        at = len(nodes)
        nodes.append(None)
        below = grow([i for i in members if bins[i][f] <= b], g, h, depth + 1)
        above = grow([i for i in members if bins[i][f] > b], g, h, depth + 1)
        # bins[i][f] <= b holds exactly when x[f] < cuts[f][b].
        nodes[at] = (f, cuts[f][b], below, above, 0.0)
        return at

    def value(root, x):
        k = root
        while nodes[k][0] >= 0:
            f, threshold, below, above, _ = nodes[k]
            k = below if x[f] < threshold else above
        return nodes[k][4]

    for _ in range(ROUNDS):
        g, h = [0.0] * n, [0.0] * n
        for i, (_, label, weight) in enumerate(rows):
            p = 1 / (1 + math.exp(-max(-30.0, min(30.0, margin[i]))))
            g[i], h[i] = (p - label) * weight, max(p * (1 - p), 1e-6) * weight
        root = grow(list(range(n)), g, h, 0)
        roots.append(root)
        for i, (x, _, _) in enumerate(rows):
            margin[i] += value(root, x)
    return nodes, roots


def write_model(nodes, roots, least):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(root, "engine/finding_model.h"), "w") as out:
        out.write("// finding_model.h: the model that scores a region's rows (finding.cpp,\n"
                  "// picture_score): boosted trees, each node a feature and the value it\n"
                  "// is compared with (below it, the node `below`; else `above`), or a leaf\n"
                  "// (feature -1) worth `value`; the score squashes the sum of the leaves\n"
                  "// reached. Written by tools/train_finding.py from the tuning half of the\n"
                  "// corpus; do not edit by hand.\n#pragma once\n\n"
                  f"constexpr int FINDING_FEATURES = {len(FEATURES)};  // {', '.join(FEATURES)}\n"
                  "struct FindingNode {\n    int feature;\n    double threshold;\n    int below, above;\n"
                  "    double value;\n};\n"
                  "inline constexpr FindingNode FINDING_NODES[] = {\n"
                  + "".join(f"    {{{f}, {threshold!r}, {below}, {above}, {value!r}}},\n"
                            for f, threshold, below, above, value in nodes)
                  + "};\ninline constexpr int FINDING_TREES[] = {"
                  + ", ".join(str(r) for r in roots) + "};\n"
                  "// The least score scan lists by default.\n"
                  f"constexpr double FINDING_LEAST_SCORE = {least:.2f};\n")


def set_least(least):
    path = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "engine/finding_model.h")
    with open(path) as f:
        lines = f.read().splitlines(keepends=True)
    with open(path, "w") as out:
        for line in lines:
            out.write(f"constexpr double FINDING_LEAST_SCORE = {least:.2f};\n"
                      if line.startswith("constexpr double FINDING_LEAST_SCORE = ") else line)


def rebuild(build):
    subprocess.run(["cmake", "--build", build, "--target", "finding_quality"], check=True, capture_output=True)


def false_scores(build, files):
    """The scores of the false regions the scan gives on the tuning half
    with the model now in engine/finding_model.h, whatever their score: in
    the corpus's filler, and in the real programs."""
    rebuild(build)
    env = dict(os.environ, BITLOUPE_QUALITY_SCORES="1", BITLOUPE_QUALITY_NOTES="1")
    out = subprocess.run([os.path.join(build, "tests/finding/finding_quality"), str(files)], env=env,
                         capture_output=True, text=True, check=False).stdout
    filler, programs, half = [], [], None
    for line in out.splitlines():
        if line.startswith("tuning half"):
            half = "tuning"
        elif line.startswith("held-out half"):
            half = "held-out"
        elif half == "tuning" and line.strip().startswith("false region in "):
            filler.append(float(line.split()[-1]))
        elif line.startswith("real-false-score 0 "):
            programs.append(float(line.split()[2]))
    return filler, programs


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    least_only = "--least-only" in sys.argv[3:]
    t = tuning_regions(build, files)
    if not t.corpus or all(label for _, label in t.corpus) or not any(label for _, label in t.corpus):
        sys.exit("train_finding: no regions of both kinds in the tuning half")
    if not least_only:
        nodes, roots = boost(weighed(t))
        write_model(nodes, roots, 0.5)
    # The trees are fitted to every candidate; the least score is set on
    # what the scan gives with them: the least on the grid of hundredths
    # that leaves at most FALSE_PER_16_MIB false regions per 16 MiB of the
    # tuning half's filler and of its real programs.
    filler, programs = false_scores(build, files)
    least = next((g / 100 for g in range(10, 100)
                  if sum(1 for x in filler if x >= g / 100) * 16 <= FALSE_PER_16_MIB * t.filler_mib
                  and sum(1 for x in programs if x >= g / 100) * 16 <= FALSE_PER_16_MIB * t.program_mib), 0.99)
    if least_only:
        set_least(least)
    else:
        write_model(nodes, roots, least)
    rebuild(build)
    print(f"train_finding: {len(t.corpus)} corpus and {len(t.programs)} program regions of the tuning half, "
          f"{'the trees kept' if least_only else f'{len(roots)} trees'}, least score {least:.2f} ({len(filler)} false candidates in "
          f"{t.filler_mib:.0f} MiB of filler, {len(programs)} in {t.program_mib:.0f} MiB of programs' "
          "picture-free sections)")


if __name__ == "__main__":
    main()
