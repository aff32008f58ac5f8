#!/usr/bin/python3
"""The figures of `corvane-batch --standard` done with numpy, for the comparison in
bench/standard_vs_numpy.sh.

For every point file: numpy.loadtxt; the areal figures about the least-squares plane; the
profiles (a strict drop in x starts the next), each checked for 3 points and even spacing (every
step within 1 % of the median step), its least-squares line removed, its Gaussian mean line for
the cut-off lc taken with numpy.convolve (weights exp(-pi (k dx / (alpha lc))^2) for |k| dx <= lc,
alpha = sqrt(ln 2 / pi), renormalised at the ends by convolving a row of ones with the same
weights), and the P and R figures over the profile and its evaluation length. Prints one JSON
object per file: {"file", "areal", "mean", "profiles"}, null where a figure is undefined.

Usage: standard_numpy.py [--cutoff LC] FILE...
"""
import json
import math
import sys

import numpy as np

ALPHA = math.sqrt(math.log(2) / math.pi)
PROFILE_NAMES = ["Pa", "Pq", "Pt", "Ra", "Rq", "Rsk", "Rku", "Rp", "Rv", "Rz", "Rt"]


def moments(v):
    """Mean |v|, rms, skewness, kurtosis (None when the rms is 0), max, min."""
    rms = math.sqrt(np.mean(v * v))
    skew = kurt = None
    if rms != 0:
        skew = float(np.mean(v ** 3) / rms ** 3)
        kurt = float(np.mean(v ** 4) / np.mean(v * v) ** 2)
    return float(np.mean(np.abs(v))), rms, skew, kurt, float(v.max()), float(v.min())


def mean_line(p, dx, cutoff):
    k_max = int(math.floor(cutoff / dx))
    while (k_max + 1) * dx <= cutoff:
        k_max += 1
    while k_max > 0 and k_max * dx > cutoff:
        k_max -= 1
    k = np.arange(-k_max, k_max + 1)
    w = np.exp(-math.pi * (k * dx / (ALPHA * cutoff)) ** 2)
    numerator = np.convolve(p, w, mode="same") if len(p) >= len(w) else \
        np.convolve(p, w)[k_max:k_max + len(p)]
    denominator = np.convolve(np.ones_like(p), w)[k_max:k_max + len(p)]
    return numerator / denominator


def profile(x, z, cutoff):
    result = {"ok": False, "reason": None, "spacing": None, "nr": None}
    figures = dict.fromkeys(PROFILE_NAMES)
    if len(x) < 3:
        result["reason"] = "too few points"
        return result, figures
    steps = np.diff(x)
    dx = float(np.median(steps))
    result["spacing"] = dx
    if not dx > 0 or np.any(np.abs(steps - dx) > 0.01 * dx):
        result["reason"] = "uneven spacing"
        return result, figures
    mx, mz = x.mean(), z.mean()
    slope = np.sum((x - mx) * (z - mz)) / np.sum((x - mx) ** 2)
    p = (z - mz) - slope * (x - mx)
    pa, pq, _, _, pmax, pmin = moments(p)
    figures.update(Pa=pa, Pq=pq, Pt=pmax - pmin)

    inside = (x - x[0] >= cutoff / 2) & (x[-1] - x >= cutoff / 2)
    nr = 0
    if inside.any():
        xe = x[inside]
        while xe[0] + (nr + 1) * cutoff <= xe[-1]:
            nr += 1
    result["nr"] = nr
    if nr == 0:
        result["reason"] = "shorter than the cut-off"
        return result, figures

    r = (p - mean_line(p, dx, cutoff))[inside]
    xe = x[inside]
    ra, rq, rsk, rku, rmax, rmin = moments(r)
    figures.update(Ra=ra, Rq=rq, Rsk=rsk, Rku=rku, Rt=rmax - rmin)
    peaks = valleys = 0.0
    for j in range(nr):
        part = r[(xe >= xe[0] + j * cutoff) & (xe < xe[0] + (j + 1) * cutoff)]
        if len(part) == 0:
            result["reason"] = "cut-off below the spacing"
            return result, dict.fromkeys(PROFILE_NAMES)
        peaks += part.max()
        valleys -= part.min()
    figures.update(Rp=peaks / nr, Rv=valleys / nr, Rz=(peaks + valleys) / nr)
    result["ok"] = True
    return result, figures


def areal(x, y, z):
    design = np.column_stack((np.ones_like(x), x - x.mean(), y - y.mean()))
    coefficients, *_ = np.linalg.lstsq(design, z - z.mean(), rcond=None)
    s = (z - z.mean()) - design @ coefficients
    sa, sq, ssk, sku, smax, smin = moments(s)
    return {"Sa": sa, "Sq": sq, "Ssk": ssk, "Sku": sku, "Sp": smax, "Sv": -smin, "Sz": smax - smin}


def analyse(path, cutoff):
    points = np.loadtxt(path, delimiter=",", dtype=np.float64, ndmin=2)
    x, y, z = points[:, 0], points[:, 1], points[:, 2]
    bounds = np.concatenate(([0], np.flatnonzero(x[:-1] > x[1:]) + 1, [len(x)]))
    profiles, sums, counts = [], dict.fromkeys(PROFILE_NAMES, 0.0), dict.fromkeys(PROFILE_NAMES, 0)
    for number, (a, b) in enumerate(zip(bounds[:-1], bounds[1:]), start=1):
        result, figures = profile(x[a:b], z[a:b], cutoff)
        profiles.append({"profile": number, **result, **figures})
        if result["ok"]:
            for name, value in figures.items():
                if value is not None:
                    sums[name] += value
                    counts[name] += 1
    evaluated = sum(1 for p in profiles if p["ok"])
    mean = {"profiles": evaluated}
    mean.update({n: (sums[n] / counts[n] if counts[n] else None) for n in PROFILE_NAMES})
    return {"file": path, "cutoff": cutoff, "areal": areal(x, y, z), "mean": mean,
            "profiles": profiles}


def main(arguments):
    cutoff = 0.8
    if arguments[:1] == ["--cutoff"]:
        cutoff = float(arguments[1])
        arguments = arguments[2:]
    for path in arguments:
        sys.stdout.write(json.dumps(analyse(path, cutoff)) + "\n")


if __name__ == "__main__":
    main(sys.argv[1:])
