#!/usr/bin/env python3
"""Trains the model that scores the regions scan finds (engine/finding_model.h).

Runs finding_quality on the corpus with every candidate region kept and its
row statistics printed, takes the regions of the tuning half only (a region
is a picture when it overlaps one that was placed), fits a logistic
regression with the classes weighted alike, and writes the weights and the
least score scan lists by default (the lowest that leaves at most one
false regions per 16 MiB of the tuning half's filler). The
held-out half is never looked at here: the quality test judges it.

    tools/train_finding.py BUILD_DIR [FILES]   FILES of 1 MiB per filler kind (default 20)

The fit is plain gradient descent in a fixed order, so the same corpus gives
the same weights on every machine.
"""
import os
import subprocess
import sys

FALSE_PER_16_MIB = 1.0
FEATURES = ["vertical", "horizontal", "blank", "repeated", "isolated", "active"]


def features(fields):
    vertical, horizontal, active, blank, repeated, isolated = map(float, fields[5:11])
    # Must match picture_score in engine/finding.cpp.
    return [vertical, horizontal, blank, repeated, isolated / (isolated + 0.05), active]


def score(w, b, x):
    # Must match picture_score in engine/finding.cpp.
    z = b + sum(a * c for a, c in zip(w, x))
    return 0.5 + 0.5 * z / (1 + abs(z))


def tuning_regions(build, files):
    env = dict(os.environ, BITLOUPE_QUALITY_FEATURES="1", BITLOUPE_QUALITY_NOTES="1")
    out = subprocess.run([os.path.join(build, "tests/finding/finding_quality"), str(files)], env=env,
                         capture_output=True, text=True, check=False).stdout
    rows, half, filler_mib = [], None, 0.0
    for line in out.splitlines():
        if line.startswith("| scan: false regions per 16 MiB of filler |"):
            filler_mib = float(line.split("|")[2].split(" in ")[1].split()[0])
        if line.startswith("tuning half"):
            half = "tuning"
        elif line.startswith("held-out half"):
            half = "held-out"
        elif half == "tuning" and line.strip().startswith("features"):
            fields = line.split()[1:]
            rows.append((features(fields), 1 if fields[0] == "1" else 0))
    return rows, filler_mib


def fit(rows, rounds=1500, step=0.5, decay=1e-3):
    import math
    n = len(rows)
    positives = sum(label for _, label in rows)
    weight = {1: n / (2 * positives), 0: n / (2 * (n - positives))}
    w, b = [0.0] * len(FEATURES), 0.0
    for _ in range(rounds):
        gw, gb = [0.0] * len(w), 0.0
        for x, label in rows:
            z = max(-30.0, min(30.0, b + sum(a * c for a, c in zip(w, x))))
            e = (1 / (1 + math.exp(-z)) - label) * weight[label]
            for i, c in enumerate(x):
                gw[i] += e * c
            gb += e
        w = [a - step * (g / n + decay * a) for a, g in zip(w, gw)]
        b -= step * gb / n
    return w, b


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    rows, filler_mib = tuning_regions(build, files)
    if not rows or all(label for _, label in rows) or not any(label for _, label in rows):
        sys.exit("train_finding: no regions of both kinds in the tuning half")
    w, b = fit(rows)
    # The least score listed by default: the lowest that leaves at most
    # FALSE_PER_16_MIB false regions in the tuning half's filler.
    least = next(t / 100 for t in range(50, 100)
                 if sum(1 for x, label in rows if not label and score(w, b, x) >= t / 100) * 16 / filler_mib
                 <= FALSE_PER_16_MIB)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(root, "engine/finding_model.h"), "w") as out:
        out.write("// finding_model.h: the weights of the model that scores a region's rows\n"
                  "// (finding.cpp, picture_score). Written by tools/train_finding.py from the\n"
                  "// tuning half of the corpus; do not edit by hand.\n#pragma once\n\n"
                  f"constexpr int FINDING_FEATURES = {len(FEATURES)};  // {', '.join(FEATURES)}\n"
                  "constexpr double FINDING_WEIGHTS[FINDING_FEATURES] = {"
                  + ", ".join(f"{a:.4f}" for a in w) + "};\n"
                  f"constexpr double FINDING_BIAS = {b:.4f};\n"
                  "// The least score scan lists by default.\n"
                  f"constexpr double FINDING_LEAST_SCORE = {least:.2f};\n")
    print(f"train_finding: {len(rows)} regions of the tuning half, weights {[round(a, 4) for a in w]}, "
          f"bias {b:.4f}, least score {least:.2f}")


if __name__ == "__main__":
    main()
