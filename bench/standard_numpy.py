#!/usr/bin/python3
"""The figures of `corvane-batch --standard` done with numpy, for the comparison in
bench/standard_vs_numpy.sh.

For every point file: numpy.loadtxt; the areal figures about the least-squares plane; the
profiles (a strict drop in x starts the next), each checked for 3 points and even spacing (every
step within 1 % of the median step), its least-squares line removed, its Gaussian mean line for
the cut-off lc taken with numpy.convolve (weights exp(-pi (k dx / (alpha lc))^2) for |k| dx <= lc,
alpha = sqrt(ln 2 / pi), renormalised at the ends by convolving a row of ones with the same
weights), and the P and R figures over the profile and its evaluation length; the slope (seven-
point formula), the spacing (crossings with a 10 % height discrimination) and the Rk family
(numpy.quantile for the material ratio curve, the 40 % secant of least slope); the areal Rk
family, Sxp and volumes, and on a regular grid numpy.gradient for Sdq, the cell areas for Sdr and
numpy.fft for the autocorrelation behind Sal and Str. Prints one JSON object per file:
{"file", "areal", "grid", "arealReasons", "mean", "profiles", "settings"}, null where a figure is
undefined.

The filtering chain, each step written out plainly: --lambda-s smooths each profile's z with the
mean line for LS, and on a grid the areal z with the separable areal mean surface (each row, then
each column, by numpy.convolve, renormalised); --form fits a Legendre basis in scaled coordinates
with numpy.linalg.lstsq (total degree D on the surface); --areal-cutoff takes the areal mean
surface for LA off the grid; --robust fits, at every point, the weighted parabola from the sums
of s(u) u^k delta and s(u) u^k delta P (numpy.convolve over the window) with numpy.linalg.solve,
the weights from numpy.median.

Usage: standard_numpy.py [--cutoff LC] [--form D] [--lambda-s LS] [--areal-cutoff LA]
                         [--robust] FILE...
"""
import json
import math
import sys

import numpy as np

ALPHA = math.sqrt(math.log(2) / math.pi)
PROFILE_NAMES = ["Pa", "Pq", "Pt", "Ra", "Rq", "Rsk", "Rku", "Rp", "Rv", "Rz", "Rt",
                 "Rdq", "RSm", "Rk", "Rpk", "Rvk", "Mr1", "Mr2"]


def rk_family(h):
    """The Rk construction on the material ratio curve of h: core, peaks, valleys, Mr1, Mr2."""
    a = np.sort(h)
    n = len(a)
    starts = np.arange(601) / 10
    drops = np.quantile(a, 1 - starts / 100) - np.quantile(a, 1 - (starts + 40) / 100)
    k = int(np.argmin(drops))
    p0, d = starts[k], drops[k]
    c0 = np.quantile(a, 1 - p0 / 100)
    upper, lower = c0 + d * p0 / 40, c0 - d * (100 - p0) / 40
    mr1 = 100 * np.count_nonzero(a > upper) / n
    mr2 = 100 * np.count_nonzero(a > lower) / n
    a1 = 100 / n * np.sum(a[a > upper] - upper)
    a2 = 100 / n * np.sum(lower - a[a < lower])
    rpk = 0.0 if mr1 == 0 else 2 * a1 / mr1
    rvk = 0.0 if mr2 == 100 else 2 * a2 / (100 - mr2)
    return float(upper - lower), float(rpk), float(rvk), float(mr1), float(mr2)


def rdq(r, first, last, dx):
    i = np.arange(max(first, 3), min(last, len(r) - 3))
    if len(i) == 0:
        return None
    slope = (r[i + 3] - 9 * r[i + 2] + 45 * r[i + 1] - 45 * r[i - 1] + 9 * r[i - 2] - r[i - 3]) \
        / (60 * dx)
    return float(np.sqrt(np.mean(slope ** 2)))


def rsm(x, r, first, last, h):
    crossings, low = [], False
    for i in range(first, last):
        if r[i] <= -h:
            low = True
        elif low and r[i] >= h:
            low = False
            k = i
            while k > first and not (r[k - 1] < 0 <= r[k]):
                k -= 1
            if k > first:
                crossings.append(x[k - 1] + (x[k] - x[k - 1]) * (-r[k - 1]) / (r[k] - r[k - 1]))
    if len(crossings) < 2:
        return None
    return float(np.mean(np.diff(crossings)))


def moments(v):
    """Mean |v|, rms, skewness, kurtosis (None when the rms is 0), max, min."""
    rms = math.sqrt(np.mean(v * v))
    skew = kurt = None
    if rms != 0:
        skew = float(np.mean(v ** 3) / rms ** 3)
        kurt = float(np.mean(v ** 4) / np.mean(v * v) ** 2)
    return float(np.mean(np.abs(v))), rms, skew, kurt, float(v.max()), float(v.min())


def window(dx, cutoff):
    """The offsets k dx of the weights, |k| dx <= cutoff, and s(k dx)."""
    k_max = int(math.floor(cutoff / dx))
    while (k_max + 1) * dx <= cutoff:
        k_max += 1
    while k_max > 0 and k_max * dx > cutoff:
        k_max -= 1
    u = np.arange(-k_max, k_max + 1) * dx
    return u, np.exp(-math.pi * (u / (ALPHA * cutoff)) ** 2)


def mean_line(p, dx, cutoff):
    _, w = window(dx, cutoff)
    k_max = len(w) // 2
    numerator = np.convolve(p, w, mode="same") if len(p) >= len(w) else \
        np.convolve(p, w)[k_max:k_max + len(p)]
    denominator = np.convolve(np.ones_like(p), w)[k_max:k_max + len(p)]
    return numerator / denominator


def window_sum(a, kernel):
    """sum over j of a(j) kernel(j - i) for every i, kernel given for j - i = -k_max .. k_max."""
    k_max = len(kernel) // 2
    return np.convolve(a, kernel[::-1])[k_max:k_max + len(a)]


def robust_mean_line(p, dx, cutoff):
    """The robust Gaussian regression mean line of second order, and its number of passes."""
    u, s = window(dx, cutoff)
    u = u / cutoff  # a0 does not change with the scale of u; the sums stay of one size
    kernels = [s * u ** k for k in range(5)]
    delta, line, rq = np.ones_like(p), None, None
    for passes in range(1, 51):
        S = [window_sum(delta, kern) for kern in kernels]
        T = [window_sum(delta * p, kern) for kern in kernels[:3]]
        matrix = np.stack([np.stack(S[0:3], -1), np.stack(S[1:4], -1), np.stack(S[2:5], -1)], -2)
        previous = line
        line = np.linalg.solve(matrix, np.stack(T, -1)[..., None])[:, 0, 0]
        r = p - line
        if passes > 1 and np.max(np.abs(line - previous)) <= 1e-4 * rq:
            break
        rq = math.sqrt(np.mean(r * r))
        c = 4.4478 * np.median(np.abs(r))
        delta = np.where(np.abs(r) < c, (1 - (r / c) ** 2) ** 2, 0.0)
    return line, passes


def legendre_columns(t, degree):
    return np.polynomial.legendre.legvander(t, degree)


def scaled(v):
    centred = v - v.mean()
    largest = np.max(np.abs(centred))
    return centred / largest if largest > 0 else centred


def profile_form(x, z, degree):
    """z less its least-squares polynomial in x of the degree."""
    design = legendre_columns(scaled(x), degree)
    coefficients, *_ = np.linalg.lstsq(design, z - z.mean(), rcond=None)
    return (z - z.mean()) - design @ coefficients


def surface_form(x, y, z, degree):
    """z less its least-squares polynomial in x and y of total degree D."""
    px, py = legendre_columns(scaled(x), degree), legendre_columns(scaled(y), degree)
    design = np.column_stack([px[:, a] * py[:, b] for a in range(degree + 1)
                              for b in range(degree + 1 - a)])
    coefficients, *_ = np.linalg.lstsq(design, z - z.mean(), rcond=None)
    return (z - z.mean()) - design @ coefficients


def areal_mean_surface(s2, dx, dy, cutoff):
    """Each row filtered along x, then each column along y, both renormalised at the edges."""
    rows = np.array([mean_line(row, dx, cutoff) for row in s2])
    return np.array([mean_line(column, dy, cutoff) for column in rows.T]).T


def profile(x, z, cutoff, chain):
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
    if chain["lambdaS"]:
        z = mean_line(z, dx, chain["lambdaS"])
    if chain["form"] != 1:
        p = profile_form(x, z, chain["form"])
    else:
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

    if chain["robust"]:
        line, result["passes"] = robust_mean_line(p, dx, cutoff)
    else:
        line = mean_line(p, dx, cutoff)
    whole = p - line
    r = whole[inside]
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
    first = int(np.flatnonzero(inside)[0])
    last = first + len(r)
    figures["Rdq"] = rdq(whole, first, last, dx)
    figures["RSm"] = rsm(x, whole, first, last, 0.1 * figures["Rz"])
    figures.update(zip(["Rk", "Rpk", "Rvk", "Mr1", "Mr2"], rk_family(r)))
    result["ok"] = True
    return result, figures


def even_step(v):
    steps = np.diff(v)
    step = float(np.median(steps))
    if step == 0 or np.any(np.abs(steps - step) > 0.01 * abs(step)):
        return None
    return step


def grid_of(x, y, bounds):
    """(nx, ny, dx, dy) when the profiles form a regular grid, else None."""
    counts = np.diff(bounds)
    nx, ny = int(counts[0]), len(counts)
    if ny < 3 or nx < 3 or np.any(counts != nx):
        return None
    gx, gy = x.reshape(ny, nx), y.reshape(ny, nx)
    dx = even_step(gx[0])
    if dx is None or np.any(gy != gy[:, :1]) or np.any(np.abs(gx - gx[0]) > 0.01 * dx):
        return None
    dy = even_step(gy[:, 0])
    return None if dy is None else (nx, ny, dx, abs(dy))


def autocorrelation(s2):
    ny, nx = s2.shape
    my, mx = ny // 2, nx // 2
    shape = (ny + my, nx + mx)
    power = np.abs(np.fft.rfft2(s2, shape)) ** 2
    full = np.fft.irfft2(power, shape)
    ty, tx = np.arange(-my, my + 1), np.arange(-mx, mx + 1)
    sums = full[np.ix_(ty % shape[0], tx % shape[1])]
    pairs = np.outer(ny - np.abs(ty), nx - np.abs(tx))
    return sums / pairs / np.mean(s2 ** 2), mx, my


def texture(f, mx, my, dx, dy):
    """Sal, Str and whether the lobe stays inside the table."""
    lobe, boundary, todo, decays = {(0, 0)}, set(), [(0, 0)], True
    while todo:
        tx, ty = todo.pop()
        if abs(tx) == mx or abs(ty) == my:
            decays = False
        for n in ((tx + 1, ty), (tx - 1, ty), (tx, ty + 1), (tx, ty - 1)):
            if abs(n[0]) > mx or abs(n[1]) > my or n in lobe:
                continue
            if f[n[1] + my, n[0] + mx] > 0.2:
                lobe.add(n)
                todo.append(n)
            else:
                boundary.add(n)
    lengths = [math.sqrt((tx * dx) ** 2 + (ty * dy) ** 2) for tx, ty in boundary - lobe]
    if not lengths:
        return None, None, decays
    return min(lengths), (min(lengths) / max(lengths) if decays else None), decays


def areal(x, y, z, bounds, chain):
    grid = grid_of(x, y, bounds)
    if grid is not None and chain["lambdaS"]:
        nx, ny, dx, dy = grid
        z = areal_mean_surface(z.reshape(ny, nx), dx, dy, chain["lambdaS"]).ravel()
    if chain["form"] != 1:
        s = surface_form(x, y, z, chain["form"])
    else:
        design = np.column_stack((np.ones_like(x), x - x.mean(), y - y.mean()))
        coefficients, *_ = np.linalg.lstsq(design, z - z.mean(), rcond=None)
        s = (z - z.mean()) - design @ coefficients
    chain["surface"] = "S-F"
    if grid is not None and chain["arealCutoff"]:
        nx, ny, dx, dy = grid
        s = s - areal_mean_surface(s.reshape(ny, nx), dx, dy, chain["arealCutoff"]).ravel()
        chain["surface"] = "S-L"
    sa, sq, ssk, sku, smax, smin = moments(s)
    figures = {"Sa": sa, "Sq": sq, "Ssk": ssk, "Sku": sku, "Sp": smax, "Sv": -smin,
               "Sz": smax - smin, "Sdq": None, "Sdr": None, "Sal": None, "Str": None}
    figures.update(zip(["Sk", "Spk", "Svk", "Smr1", "Smr2"], rk_family(s)))
    c = lambda p: float(np.quantile(s, 1 - p / 100))
    vm = lambda p: float(np.sum(s[s > c(p)] - c(p)) / len(s))
    vv = lambda p: float(np.sum(c(p) - s[s < c(p)]) / len(s))
    figures.update(Sxp=c(2.5) - c(50), Vmp=vm(10), Vmc=vm(80) - vm(10), Vvc=vv(10) - vv(80),
                   Vvv=vv(80))
    reasons = []
    if grid is None:
        reasons.append("not a regular grid")
        return figures, None, reasons
    nx, ny, dx, dy = grid
    s2 = s.reshape(ny, nx)
    gy, gx = np.gradient(s2, dy, dx)
    figures["Sdq"] = float(np.sqrt(np.mean(gx ** 2 + gy ** 2)))
    cx = ((s2[:-1, 1:] - s2[:-1, :-1]) + (s2[1:, 1:] - s2[1:, :-1])) / (2 * dx)
    cy = ((s2[1:, :-1] - s2[:-1, :-1]) + (s2[1:, 1:] - s2[:-1, 1:])) / (2 * dy)
    area = dx * dy * np.sqrt(1 + cx ** 2 + cy ** 2)
    figures["Sdr"] = float(100 * (np.sum(area) / ((nx - 1) * (ny - 1) * dx * dy) - 1))
    f, mx, my = autocorrelation(s2)
    figures["Sal"], figures["Str"], decays = texture(f, mx, my, dx, dy)
    if not decays:
        reasons.append("autocorrelation does not decay to 0.2")
    return figures, {"nx": nx, "ny": ny, "dx": dx, "dy": abs(dy)}, reasons


def analyse(path, cutoff, chain):
    points = np.loadtxt(path, delimiter=",", dtype=np.float64, ndmin=2)
    x, y, z = points[:, 0], points[:, 1], points[:, 2]
    bounds = np.concatenate(([0], np.flatnonzero(x[:-1] > x[1:]) + 1, [len(x)]))
    profiles, sums, counts = [], dict.fromkeys(PROFILE_NAMES, 0.0), dict.fromkeys(PROFILE_NAMES, 0)
    for number, (a, b) in enumerate(zip(bounds[:-1], bounds[1:]), start=1):
        result, figures = profile(x[a:b], z[a:b], cutoff, chain)
        profiles.append({"profile": number, **result, **figures})
        if result["ok"]:
            for name, value in figures.items():
                if value is not None:
                    sums[name] += value
                    counts[name] += 1
    evaluated = sum(1 for p in profiles if p["ok"])
    mean = {"profiles": evaluated}
    mean.update({n: (sums[n] / counts[n] if counts[n] else None) for n in PROFILE_NAMES})
    chain = dict(chain)
    figures, grid, reasons = areal(x, y, z, bounds, chain)
    chain["robustPasses"] = [p.pop("passes") for p in profiles if p["ok"]] \
        if chain["robust"] else None
    for p in profiles:
        p.pop("passes", None)
    return {"file": path, "cutoff": cutoff, "areal": figures, "grid": grid,
            "arealReasons": reasons, "mean": mean, "profiles": profiles, "settings": chain}


def main(arguments):
    cutoff = 0.8
    chain = {"form": 1, "lambdaS": None, "arealCutoff": None, "robust": False}
    while arguments[:1] and arguments[0].startswith("--"):
        option = arguments.pop(0)
        if option == "--robust":
            chain["robust"] = True
        elif option == "--cutoff":
            cutoff = float(arguments.pop(0))
        elif option == "--form":
            chain["form"] = int(arguments.pop(0))
        elif option == "--lambda-s":
            chain["lambdaS"] = float(arguments.pop(0))
        elif option == "--areal-cutoff":
            chain["arealCutoff"] = float(arguments.pop(0))
        else:
            raise SystemExit(f"unknown option {option}")
    for path in arguments:
        sys.stdout.write(json.dumps(analyse(path, cutoff, chain)) + "\n")


if __name__ == "__main__":
    main(sys.argv[1:])
