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
{"file", "points", "areal", "grid", "arealReasons", "mean", "profiles", "settings"}, null where a
figure is undefined.

An X3P file is read with zipfile and xml.etree: the axes of Record1 (x and y incremental, z
absolute: F and D data as stored, I and L times the increment), Record3's matrix size, the binary
data it links to, and its valid-points bit array when there is one (bit i mod 8 of byte i // 8,
least significant first, 0 for a non-measured point); a NaN height is non-measured too. Metres
are converted into --unit. A grid (SUR) keeps all its nx x ny points with the mask V (1 measured,
0 not) and each of its rows is a profile; a profile (PRF) is one row.

Non-measured points are treated like points outside the grid: every fit, sum, mean, median and
quantile runs over the measured points; a Gaussian filter is G*(V z) / G*(V); the robust filter
gives them no weight; Sdq uses the one-sided difference where one neighbour is missing, Sdr the
cells with four measured corners, the autocorrelation the pairs of measured points; a profile's
evaluation length runs from the cut-off / 2 after its first measured point to the cut-off / 2
before its last, a sampling length without a measured point is left out of nr, Rdq needs the six
neighbours of a point measured and RSm walks the measured points in order. Without a hole every
figure is what the unmasked definitions give.

The filtering chain, each step written out plainly: --lambda-s smooths each profile's z with the
mean line for LS, and on a grid the areal z with the separable areal mean surface (each row, then
each column, by numpy.convolve, renormalised); --form fits a Legendre basis in scaled coordinates
with numpy.linalg.lstsq (total degree D on the surface); --areal-cutoff takes the areal mean
surface for LA off the grid; --robust fits, at every point, the weighted parabola from the sums
of s(u) u^k delta and s(u) u^k delta P (numpy.convolve over the window) with numpy.linalg.solve,
the weights from numpy.median.

--fill nearest|laplace fills the holes of a grid first (each with the height of the nearest
measured point in grid steps, or by the discrete Laplace equation: each hole the mean of its
neighbours inside the grid, solved by conjugate gradients) and then takes every figure as if all
points were measured: how much filling moves the figures, Sdq and Sdr above all.

Usage: standard_numpy.py [--cutoff LC] [--form D] [--lambda-s LS] [--areal-cutoff LA]
                         [--robust] [--unit um|mm|m] [--fill nearest|laplace] FILE...
"""
import json
import math
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

import numpy as np

ALPHA = math.sqrt(math.log(2) / math.pi)
PROFILE_NAMES = ["Pa", "Pq", "Pt", "Ra", "Rq", "Rsk", "Rku", "Rp", "Rv", "Rz", "Rt",
                 "Rdq", "RSm", "Rk", "Rpk", "Rvk", "Mr1", "Mr2"]
METRES_IN = {"um": 1e6, "mm": 1e3, "m": 1.0}


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


def rdq(r, v, first, last, dx):
    """Seven-point slope at the points of [first, last) whose six neighbours are measured (and
    the point itself)."""
    i = np.arange(max(first, 3), min(last, len(r) - 3))
    for k in range(-3, 4):
        i = i[v[i + k]]
    if len(i) == 0:
        return None
    slope = (r[i + 3] - 9 * r[i + 2] + 45 * r[i + 1] - 45 * r[i - 1] + 9 * r[i - 2] - r[i - 3]) \
        / (60 * dx)
    return float(np.sqrt(np.mean(slope ** 2)))


def rsm(x, r, v, first, last, h):
    """Mean spacing of the profile elements, walking the measured points of [first, last) in
    order: a crossing across a hole lies between the measured points either side of it."""
    x, r = x[first:last][v[first:last]], r[first:last][v[first:last]]
    crossings, low = [], False
    for i in range(len(r)):
        if r[i] <= -h:
            low = True
        elif low and r[i] >= h:
            low = False
            k = i
            while k > 0 and not (r[k - 1] < 0 <= r[k]):
                k -= 1
            if k > 0:
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


def weighted_sums(a, w):
    """sum over j of a(j) w(j - i) for every i, w symmetric, the sum running over the data."""
    k_max = len(w) // 2
    return np.convolve(a, w, mode="same") if len(a) >= len(w) else \
        np.convolve(a, w)[k_max:k_max + len(a)]


def mean_line(p, v, dx, cutoff):
    """G*(V p) / G*(V): the Gaussian mean line over the measured points (V all 1: the weights
    renormalised at the ends). Not used at a non-measured point."""
    _, w = window(dx, cutoff)
    k_max = len(w) // 2
    numerator = weighted_sums(np.where(v, p, 0.0), w)
    denominator = np.convolve(v.astype(np.float64), w)[k_max:k_max + len(p)]
    with np.errstate(invalid="ignore", divide="ignore"):
        return numerator / denominator


def window_sum(a, kernel):
    """sum over j of a(j) kernel(j - i) for every i, kernel given for j - i = -k_max .. k_max."""
    k_max = len(kernel) // 2
    return np.convolve(a, kernel[::-1])[k_max:k_max + len(a)]


def robust_mean_line(p, v, dx, cutoff):
    """The robust Gaussian regression mean line of second order, and its number of passes.
    A non-measured point has the weight delta = 0 in every pass; the median |r|, Rq and the
    stopping test run over the measured points. Where fewer than three points of the window have
    a weight, the parabola is not determined and the line is the weighted mean there."""
    u, s = window(dx, cutoff)
    u = u / cutoff  # a0 does not change with the scale of u; the sums stay of one size
    kernels = [s * u ** k for k in range(5)]
    p = np.where(v, p, 0.0)
    delta, line, rq = v.astype(np.float64), None, None
    for passes in range(1, 51):
        S = [window_sum(delta, kern) for kern in kernels]
        T = [window_sum(delta * p, kern) for kern in kernels[:3]]
        matrix = np.stack([np.stack(S[0:3], -1), np.stack(S[1:4], -1), np.stack(S[2:5], -1)], -2)
        weighted = window_sum((delta > 0).astype(np.float64), np.ones_like(s))
        determined = weighted > 2.5
        matrix = np.where(determined[:, None, None], matrix, np.eye(3))
        previous = line
        line = np.linalg.solve(matrix, np.stack(T, -1)[..., None])[:, 0, 0]
        with np.errstate(invalid="ignore", divide="ignore"):
            mean = T[0] / S[0]
        before = previous if previous is not None else p
        line = np.where(determined, line, np.where(S[0] > 0, mean, before))
        r = p - line
        if passes > 1 and np.max(np.abs(line - previous)[v]) <= 1e-4 * rq:
            break
        rq = math.sqrt(np.mean(r[v] * r[v]))
        c = 4.4478 * np.median(np.abs(r[v]))
        delta = np.where(v & (np.abs(r) < c), (1 - (r / c) ** 2) ** 2, 0.0)
    return line, passes


def legendre_columns(t, degree):
    return np.polynomial.legendre.legvander(t, degree)


def scaled(a, v):
    """a centred on the mean of its measured values, divided by their largest distance to it."""
    centred = a - a[v].mean()
    largest = np.max(np.abs(centred[v]))
    return centred / largest if largest > 0 else centred


def profile_form(x, z, v, degree):
    """z less its polynomial in x of the degree, fitted over the measured points."""
    design = legendre_columns(scaled(x, v), degree)
    mean = z[v].mean()
    coefficients, *_ = np.linalg.lstsq(design[v], z[v] - mean, rcond=None)
    return (z - mean) - design @ coefficients


def surface_form(x, y, z, v, degree):
    """z less its polynomial in x and y of total degree D, fitted over the measured points."""
    px, py = legendre_columns(scaled(x, v), degree), legendre_columns(scaled(y, v), degree)
    design = np.column_stack([px[:, a] * py[:, b] for a in range(degree + 1)
                              for b in range(degree + 1 - a)])
    mean = z[v].mean()
    coefficients, *_ = np.linalg.lstsq(design[v], z[v] - mean, rcond=None)
    return (z - mean) - design @ coefficients


def areal_mean_surface(s2, v2, dx, dy, cutoff):
    """The areal Gaussian mean surface G*(V S) / G*(V) with the separable weights. Without a hole
    each row is filtered along x, then each column along y, both renormalised at the edges (the
    same filter). With holes the weighted sums of V S and of V go through the rows and then the
    columns, and are divided once at the end."""
    if v2.all():
        rows = np.array([mean_line(row, np.ones(len(row), bool), dx, cutoff) for row in s2])
        return np.array([mean_line(column, np.ones(len(column), bool), dy, cutoff)
                         for column in rows.T]).T
    _, wx = window(dx, cutoff)
    _, wy = window(dy, cutoff)
    numerator, denominator = np.where(v2, s2, 0.0), v2.astype(np.float64)
    numerator = np.array([weighted_sums(row, wx) for row in numerator])
    denominator = np.array([weighted_sums(row, wx) for row in denominator])
    numerator = np.array([weighted_sums(column, wy) for column in numerator.T]).T
    denominator = np.array([weighted_sums(column, wy) for column in denominator.T]).T
    with np.errstate(invalid="ignore", divide="ignore"):
        return numerator / denominator


def profile(x, z, v, cutoff, chain):
    result = {"ok": False, "reason": None, "spacing": None, "nr": None}
    figures = dict.fromkeys(PROFILE_NAMES)
    if np.count_nonzero(v) < 3:
        result["reason"] = "too few points"
        return result, figures
    steps = np.diff(x)
    dx = float(np.median(steps))
    result["spacing"] = dx
    if not dx > 0 or np.any(np.abs(steps - dx) > 0.01 * dx):
        result["reason"] = "uneven spacing"
        return result, figures
    if chain["lambdaS"]:
        z = mean_line(z, v, dx, chain["lambdaS"])
    if chain["form"] != 1:
        p = profile_form(x, z, v, chain["form"])
    else:
        xm, zm = x[v], z[v]
        mx, mz = xm.mean(), zm.mean()
        slope = np.sum((xm - mx) * (zm - mz)) / np.sum((xm - mx) ** 2)
        p = (z - mz) - slope * (x - mx)
    p = np.where(v, p, 0.0)
    pa, pq, _, _, pmax, pmin = moments(p[v])
    figures.update(Pa=pa, Pq=pq, Pt=pmax - pmin)

    # From lc/2 after the first measured point to lc/2 before the last.
    measured_x = x[v]
    inside = (x - measured_x[0] >= cutoff / 2) & (measured_x[-1] - x >= cutoff / 2)
    nr = 0
    if inside.any():
        xe = x[inside]
        while xe[0] + (nr + 1) * cutoff <= xe[-1]:
            nr += 1
    result["nr"] = nr
    if nr == 0:
        result["reason"] = "shorter than the cut-off"
        return result, figures
    xe, ve = x[inside], v[inside]
    parts = []
    for j in range(nr):
        part = (xe >= xe[0] + j * cutoff) & (xe < xe[0] + (j + 1) * cutoff)
        if not part.any():
            result["reason"] = "cut-off below the spacing"
            return result, dict.fromkeys(PROFILE_NAMES)
        if (part & ve).any():
            parts.append(part & ve)
    result["nr"] = len(parts)
    if not parts:
        result["reason"] = "shorter than the cut-off"
        return result, figures

    if chain["robust"]:
        line, result["passes"] = robust_mean_line(p, v, dx, cutoff)
    else:
        line = mean_line(p, v, dx, cutoff)
    whole = np.where(v, p - line, 0.0)
    re = whole[inside]
    r = re[ve]
    ra, rq, rsk, rku, rmax, rmin = moments(r)
    figures.update(Ra=ra, Rq=rq, Rsk=rsk, Rku=rku, Rt=rmax - rmin)
    peaks = valleys = 0.0
    for part in parts:
        peaks += re[part].max()
        valleys -= re[part].min()
    nr = len(parts)
    figures.update(Rp=peaks / nr, Rv=valleys / nr, Rz=(peaks + valleys) / nr)
    first = int(np.flatnonzero(inside)[0])
    last = first + int(np.count_nonzero(inside))
    figures["Rdq"] = rdq(whole, v, first, last, dx)
    figures["RSm"] = rsm(x, whole, v, first, last, 0.1 * figures["Rz"])
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


def autocorrelation(s2, v2):
    """f(tx, ty) = (sum of S S' over the pairs of measured points / m) / (sum of S^2 / N), m the
    number of those pairs: the correlations of V S and of V by numpy.fft, padded so that no lag
    wraps round. Returns f, m, mx, my."""
    ny, nx = s2.shape
    my, mx = ny // 2, nx // 2
    shape = (ny + my, nx + mx)
    ty, tx = np.arange(-my, my + 1), np.arange(-mx, mx + 1)
    a = np.where(v2, s2, 0.0)
    sums = np.fft.irfft2(np.abs(np.fft.rfft2(a, shape)) ** 2, shape)[np.ix_(ty % shape[0],
                                                                           tx % shape[1])]
    if v2.all():
        pairs = np.outer(ny - np.abs(ty), nx - np.abs(tx))
    else:
        counts = np.fft.irfft2(np.abs(np.fft.rfft2(v2.astype(np.float64), shape)) ** 2, shape)
        pairs = np.rint(counts[np.ix_(ty % shape[0], tx % shape[1])])
    with np.errstate(invalid="ignore", divide="ignore"):
        f = sums / pairs / (np.sum(a ** 2) / np.count_nonzero(v2))
    return f, pairs, mx, my


def texture(f, pairs, mx, my, dx, dy):
    """Sal, Str, whether the lobe stays inside the table, and whether every lag the search
    reached has measured pairs."""
    lobe, boundary, todo, decays = {(0, 0)}, set(), [(0, 0)], True
    while todo:
        tx, ty = todo.pop()
        if abs(tx) == mx or abs(ty) == my:
            decays = False
        for n in ((tx + 1, ty), (tx - 1, ty), (tx, ty + 1), (tx, ty - 1)):
            if abs(n[0]) > mx or abs(n[1]) > my or n in lobe:
                continue
            if pairs[n[1] + my, n[0] + mx] == 0:
                return None, None, decays, False
            if f[n[1] + my, n[0] + mx] > 0.2:
                lobe.add(n)
                todo.append(n)
            else:
                boundary.add(n)
    lengths = [math.sqrt((tx * dx) ** 2 + (ty * dy) ** 2) for tx, ty in boundary - lobe]
    if not lengths:
        return None, None, decays, True
    return min(lengths), (min(lengths) / max(lengths) if decays else None), decays, True


def slopes(s2, v2, d, axis):
    """The gradient along an axis (0: y, 1: x) at every point: the central difference where both
    neighbours are measured, the one-sided one where only one is, NaN where neither is or the
    point is not measured. Without holes: numpy.gradient."""
    s2, v2 = np.moveaxis(s2, axis, 0), np.moveaxis(v2, axis, 0)
    before, after = np.zeros_like(v2), np.zeros_like(v2)
    before[1:], after[:-1] = v2[:-1], v2[1:]
    central, forward, backward = v2 & before & after, v2 & after & ~before, v2 & before & ~after
    g = np.full(s2.shape, np.nan)
    g[1:-1][central[1:-1]] = ((s2[2:] - s2[:-2]) / (2. * d))[central[1:-1]]
    g[:-1][forward[:-1]] = ((s2[1:] - s2[:-1]) / d)[forward[:-1]]
    g[1:][backward[1:]] = ((s2[1:] - s2[:-1]) / d)[backward[1:]]
    return np.moveaxis(g, 0, axis)


def areal(x, y, z, v, grid, chain):
    if grid is not None and chain["lambdaS"]:
        nx, ny, dx, dy = grid
        z = areal_mean_surface(z.reshape(ny, nx), v.reshape(ny, nx), dx, dy,
                               chain["lambdaS"]).ravel()
    if chain["form"] != 1:
        s = surface_form(x, y, z, v, chain["form"])
    else:
        xm, ym, zm = x[v], y[v], z[v]
        design = np.column_stack((np.ones_like(xm), xm - xm.mean(), ym - ym.mean()))
        coefficients, *_ = np.linalg.lstsq(design, zm - zm.mean(), rcond=None)
        everywhere = np.column_stack((np.ones_like(x), x - xm.mean(), y - ym.mean()))
        s = (z - zm.mean()) - everywhere @ coefficients
    s = np.where(v, s, 0.0)
    chain["surface"] = "S-F"
    if grid is not None and chain["arealCutoff"]:
        nx, ny, dx, dy = grid
        s = s - areal_mean_surface(s.reshape(ny, nx), v.reshape(ny, nx), dx, dy,
                                   chain["arealCutoff"]).ravel()
        s = np.where(v, s, 0.0)
        chain["surface"] = "S-L"
    sm = s[v]
    sa, sq, ssk, sku, smax, smin = moments(sm)
    figures = {"Sa": sa, "Sq": sq, "Ssk": ssk, "Sku": sku, "Sp": smax, "Sv": -smin,
               "Sz": smax - smin, "Sdq": None, "Sdr": None, "Sal": None, "Str": None}
    figures.update(zip(["Sk", "Spk", "Svk", "Smr1", "Smr2"], rk_family(sm)))
    c = lambda p: float(np.quantile(sm, 1 - p / 100))
    vm = lambda p: float(np.sum(sm[sm > c(p)] - c(p)) / len(sm))
    vv = lambda p: float(np.sum(c(p) - sm[sm < c(p)]) / len(sm))
    figures.update(Sxp=c(2.5) - c(50), Vmp=vm(10), Vmc=vm(80) - vm(10), Vvc=vv(10) - vv(80),
                   Vvv=vv(80))
    reasons = []
    if grid is None:
        reasons.append("not a regular grid")
        return figures, None, reasons
    nx, ny, dx, dy = grid
    s2, v2 = s.reshape(ny, nx), v.reshape(ny, nx)
    gx, gy = slopes(s2, v2, dx, 1), slopes(s2, v2, dy, 0)
    both = ~np.isnan(gx) & ~np.isnan(gy)
    if both.any():
        figures["Sdq"] = float(np.sqrt(np.mean(gx[both] ** 2 + gy[both] ** 2)))
    cx = ((s2[:-1, 1:] - s2[:-1, :-1]) + (s2[1:, 1:] - s2[1:, :-1])) / (2 * dx)
    cy = ((s2[1:, :-1] - s2[:-1, :-1]) + (s2[1:, 1:] - s2[:-1, 1:])) / (2 * dy)
    area = dx * dy * np.sqrt(1 + cx ** 2 + cy ** 2)
    cells = v2[:-1, :-1] & v2[:-1, 1:] & v2[1:, :-1] & v2[1:, 1:]
    count = int(np.count_nonzero(cells))
    if count:
        figures["Sdr"] = float(100 * (np.sum(area[cells]) / (count * dx * dy) - 1))
    if figures["Sdq"] is None or figures["Sdr"] is None:
        reasons.append("too few measured points")
    f, pairs, mx, my = autocorrelation(s2, v2)
    figures["Sal"], figures["Str"], decays, paired = texture(f, pairs, mx, my, dx, dy)
    if not paired:
        reasons.append("autocorrelation has a lag without measured pairs")
    elif not decays:
        reasons.append("autocorrelation does not decay to 0.2")
    return figures, {"nx": nx, "ny": ny, "dx": dx, "dy": abs(dy),
                     "measured": int(np.count_nonzero(v))}, reasons


def child(element, name):
    """The first child of the element with that name, whatever its namespace."""
    for item in element:
        if item.tag.rsplit("}", 1)[-1] == name:
            return item
    return None


def text(element, *names):
    for name in names:
        element = child(element, name) if element is not None else None
    return element.text.strip() if element is not None and element.text else None


def read_x3p(path, unit):
    """An X3P file: (x, y, z, measured, bounds, grid, invalid) with x, y, z in the unit, z 0 at
    the non-measured points, the rows one after another (x fastest)."""
    with zipfile.ZipFile(path) as archive:
        root = ElementTree.fromstring(archive.read("main.xml"))
        if root.tag.rsplit("}", 1)[-1] not in ("ISO5436_2", "ISO5436"):
            raise SystemExit(f"{path}: not an X3P document")
        record1 = child(root, "Record1")
        feature = text(record1, "FeatureType")
        axes = child(record1, "Axes")
        cx, cy, cz = child(axes, "CX"), child(axes, "CY"), child(axes, "CZ")
        if feature not in ("SUR", "PRF") or text(cx, "AxisType") != "I" or \
                text(cy, "AxisType") != "I" or text(cz, "AxisType") != "A":
            raise SystemExit(f"{path}: only grids and profiles with x and y incremental")
        size = child(child(root, "Record3"), "MatrixDimension")
        nx, ny, nz = (int(text(size, name)) for name in ("SizeX", "SizeY", "SizeZ"))
        link = child(child(root, "Record3"), "DataLink")
        kind = text(cz, "DataType")
        stored = np.frombuffer(archive.read(text(link, "PointDataLink")),
                               dtype={"I": "<i2", "L": "<i4", "F": "<f4", "D": "<f8"}[kind],
                               count=nx * ny * nz).astype(np.float64)
        n = nx * ny * nz
        measured = ~np.isnan(stored)
        valid_link = text(link, "ValidPointsLink")
        if valid_link:
            bits = np.frombuffer(archive.read(valid_link), dtype=np.uint8)
            i = np.arange(n)
            measured &= ((bits[i // 8] >> (i % 8)) & 1) == 1
    scale = METRES_IN[unit]
    offset = lambda axis: float(text(axis, "Offset") or 0)
    increment = lambda axis: float(text(axis, "Increment") or 1)
    heights = stored if kind in ("F", "D") else stored * increment(cz)
    z = np.where(measured, (heights + offset(cz)) * scale, 0.0)
    # Positions in metres first, then in the unit.
    columns, rows = np.meshgrid(np.arange(nx), np.arange(ny * nz))
    x = ((offset(cx) + columns * increment(cx)) * scale).ravel()
    y = ((offset(cy) + rows * increment(cy)) * scale).ravel()
    bounds = np.arange(0, n + 1, nx)
    grid = grid_of(x, y, bounds) if feature == "SUR" else None
    return x, y, z, measured, bounds, grid, int(n - np.count_nonzero(measured))


def nearest_fill(z2, v2):
    """Each hole takes the height of the nearest measured point, in grid steps (the first in
    row order of those equally near)."""
    rows, columns = np.nonzero(v2)
    filled = z2.copy()
    for j, i in zip(*np.nonzero(~v2)):
        k = np.argmin((rows - j) ** 2 + (columns - i) ** 2)
        filled[j, i] = z2[rows[k], columns[k]]
    return filled


def laplace_fill(z2, v2):
    """The holes solve the discrete Laplace equation: each is the mean of its neighbours inside
    the grid (4, or fewer at the edge), the measured points fixed. The system (neighbours times
    the hole less the neighbouring holes = the neighbouring measured heights) is symmetric and
    positive definite; conjugate gradients solve it."""
    ny, nx = z2.shape
    holes = ~v2
    neighbours = np.zeros(z2.shape)
    neighbours[1:, :] += 1
    neighbours[:-1, :] += 1
    neighbours[:, 1:] += 1
    neighbours[:, :-1] += 1

    def around(a):
        """The sum of each point's neighbours inside the grid."""
        total = np.zeros(a.shape)
        total[1:, :] += a[:-1, :]
        total[:-1, :] += a[1:, :]
        total[:, 1:] += a[:, :-1]
        total[:, :-1] += a[:, 1:]
        return total

    def apply(u):
        return np.where(holes, neighbours * u - around(np.where(holes, u, 0.0)), 0.0)

    known = np.where(v2, z2, 0.0)
    b = np.where(holes, around(known), 0.0)
    u = np.where(holes, b / neighbours, 0.0)
    r = b - apply(u)
    d = r.copy()
    rr = np.sum(r * r)
    scale = np.sum(b * b)
    for _ in range(20 * (nx + ny) + 100):
        if rr <= 1e-24 * scale:
            break
        ad = apply(d)
        step = rr / np.sum(d * ad)
        u += step * d
        r -= step * ad
        rr, previous = np.sum(r * r), rr
        d = r + (rr / previous) * d
    return np.where(holes, u, z2)


def load(path, unit):
    with open(path, "rb") as handle:
        zipped = handle.read(4) == b"PK\x03\x04"
    if zipped:
        return read_x3p(path, unit)
    points = np.loadtxt(path, delimiter=",", dtype=np.float64, ndmin=2)
    x, y, z = points[:, 0], points[:, 1], points[:, 2]
    bounds = np.concatenate(([0], np.flatnonzero(x[:-1] > x[1:]) + 1, [len(x)]))
    return x, y, z, np.ones(len(x), bool), bounds, grid_of(x, y, bounds), None


def analyse(path, cutoff, chain, unit, fill):
    x, y, z, v, bounds, grid, invalid = load(path, unit)
    measured = int(np.count_nonzero(v))
    extra = {} if invalid is None else {"x3p": {"invalidPoints": invalid}}
    if measured < 3:
        return {"file": path, "points": measured, "error": "fewer than 3 measured points"}
    filled = 0
    if fill and grid is not None and measured < len(v):
        nx, ny = grid[0], grid[1]
        fillers = {"nearest": nearest_fill, "laplace": laplace_fill}
        z = fillers[fill](z.reshape(ny, nx), v.reshape(ny, nx)).ravel()
        filled, v = len(v) - measured, np.ones(len(v), bool)
    profiles, sums, counts = [], dict.fromkeys(PROFILE_NAMES, 0.0), dict.fromkeys(PROFILE_NAMES, 0)
    for number, (a, b) in enumerate(zip(bounds[:-1], bounds[1:]), start=1):
        result, figures = profile(x[a:b], z[a:b], v[a:b], cutoff, chain)
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
    figures, grid, reasons = areal(x, y, z, v, grid, chain)
    chain["robustPasses"] = [p.pop("passes") for p in profiles if p["ok"]] \
        if chain["robust"] else None
    for p in profiles:
        p.pop("passes", None)
    if fill:
        chain["fill"] = fill
        extra["filled"] = filled
    return {"file": path, "points": measured, **extra, "cutoff": cutoff, "areal": figures,
            "grid": grid, "arealReasons": reasons, "mean": mean, "profiles": profiles,
            "settings": chain}


def main(arguments):
    cutoff, unit, fill = 0.8, "mm", None
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
        elif option == "--unit" and arguments[:1] and arguments[0] in METRES_IN:
            unit = arguments.pop(0)
        elif option == "--fill" and arguments[:1] and arguments[0] in ("nearest", "laplace"):
            fill = arguments.pop(0)
        else:
            raise SystemExit(f"unknown option {option}")
    for path in arguments:
        sys.stdout.write(json.dumps(analyse(path, cutoff, chain, unit, fill)) + "\n")


if __name__ == "__main__":
    main(sys.argv[1:])
