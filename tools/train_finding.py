#!/usr/bin/env python3
"""Trains the model that scores the regions scan finds (engine/finding_model.h).

Runs finding_quality on the corpus with every candidate region kept and its
row statistics printed, takes the regions of the tuning half only (a region
is a picture when at least half of it is a picture that was placed, filler
when none of it is), fits a logistic regression (filler weighing more, see
fit), and writes the weights and the least score scan lists by default (the
lowest that leaves at most one false region per 16 MiB of the tuning half's
filler). The held-out half is never looked at here: the quality test judges
it.

    tools/train_finding.py BUILD_DIR [FILES]   FILES of 1 MiB per filler kind (default 20)

The fit is Newton's method in a fixed order, so the same corpus gives the
same weights on every machine.
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


def squash(z):
    # The score of a logit; must match picture_score in engine/finding.cpp.
    return 0.5 + 0.5 * z / (1 + abs(z))


class Tuning:
    """The tuning half's candidate regions: of the corpus (rows of features
    and 1 for a picture, 0 for filler) and of the real programs (regions in
    sections that cannot hold a picture), and the MiB of filler and of
    programs."""

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
            t.program_mib = float(line.split("|")[2].split(" files, ")[1].split()[0])
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


def weighed(rows):
    """The rows to fit, each with its weight: pictures and filler weigh
    alike in all."""
    n = len(rows)
    positives = sum(label for _, label in rows)
    weight = {1: n / (2 * positives), 0: n / (2 * (n - positives))}
    return [(x, label, weight[label]) for x, label in rows]


def fit(rows, rounds=30, penalty=0.1):
    """Weighted logistic regression by Newton's method; `penalty` keeps the
    weights small."""
    import math
    k = len(FEATURES) + 1  # the weights, then the bias
    theta = [0.0] * k
    for _ in range(rounds):
        grad = [penalty * t for t in theta[:-1]] + [0.0]
        hess = [[(penalty if i == j and i < k - 1 else 0.0) for j in range(k)] for i in range(k)]
        for x, label, weight in rows:
            v = list(x) + [1.0]
            z = max(-30.0, min(30.0, sum(t * c for t, c in zip(theta, v))))
            p = 1 / (1 + math.exp(-z))
            e, h = (p - label) * weight, p * (1 - p) * weight
            for i in range(k):
                grad[i] += e * v[i]
                for j in range(k):
                    hess[i][j] += h * v[i] * v[j]
        step = solve(hess, grad)
        theta = [t - d for t, d in zip(theta, step)]
    return theta[:-1], theta[-1]


def solve(a, y):
    """a x = y by Gaussian elimination with partial pivoting (a is small)."""
    k = len(y)
    m = [row[:] + [y[i]] for i, row in enumerate(a)]
    for c in range(k):
        p = max(range(c, k), key=lambda r: abs(m[r][c]))
        m[c], m[p] = m[p], m[c]
        for r in range(c + 1, k):
            f = m[r][c] / m[c][c]
            for j in range(c, k + 1):
                m[r][j] -= f * m[c][j]
    x = [0.0] * k
    for c in reversed(range(k)):
        x[c] = (m[c][k] - sum(m[c][j] * x[j] for j in range(c + 1, k))) / m[c][c]
    return x


def least_logit(t, w, b):
    """The least logit that keeps false regions to FALSE_PER_16_MIB in the
    corpus's filler and in the real programs, and the share of the corpus's
    pictures above it."""
    def logit(x):
        return b + sum(a * c for a, c in zip(w, x))

    least = -1e9
    for rows, mib in ((t.corpus, t.filler_mib), (t.programs, t.program_mib)):
        negatives = sorted((logit(x) for x, label in rows if not label), reverse=True)
        allowed = int(FALSE_PER_16_MIB * mib / 16)
        if allowed < len(negatives):
            least = max(least, negatives[allowed])

    def share(rows):
        positives = [logit(x) for x, label in rows if label]
        return sum(1 for z in positives if z > least) / len(positives) if positives else 0.0

    return least, share(t.corpus)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    files = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    t = tuning_regions(build, files)
    rows = t.corpus
    if not rows or all(label for _, label in rows) or not any(label for _, label in rows):
        sys.exit("train_finding: no regions of both kinds in the tuning half")
    w, b = fit(weighed(rows))
    # The least score listed by default: the least score on the grid of
    # hundredths above the least logit the tuning half allows.
    z, found = least_logit(t, w, b)
    least = next(g / 100 for g in range(10, 100) if g / 100 > squash(z))
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
    print(f"train_finding: {len(rows)} corpus and {len(t.programs)} program regions of the tuning half, "
          f"{found:.3f} of the pictures above the least score, weights {[round(a, 4) for a in w]}, "
          f"bias {b:.4f}, least score {least:.2f}")


if __name__ == "__main__":
    main()
