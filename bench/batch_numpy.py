#!/usr/bin/python3
"""The work of `corvane-batch --json` done with numpy in one process, for the comparison in
bench/batch_vs_numpy.sh.

For every point file: numpy.loadtxt, the extents and the mean height in single precision, the
reference plane at the mean (a scroll position in hundredths, halves to the even one, within
the positions of the lowest and highest point), Ra (the mean distance |z - plane| in single
precision, divided by 2.7), and Rn: scan lines split where x drops, each cut into sampling
lengths where the x steps accumulated since the sampling length's first row reach L (that row
closes one and starts the next), a scan line's Rn the mean peak-to-valley height of its complete
sampling lengths, the surface figure the mean of the positive ones and the Rn2D figure the mean
of scan lines 50, 100 and 150. Prints one JSON object per file.

Usage: batch_numpy.py [--sampling-length L] FILE...
"""
import json
import sys

import numpy as np


def position_of(height):
    """The scroll position of a single-precision height: x 100 in double, halves to even."""
    return int(np.rint(float(np.float32(height)) * 100.0))


def profile_rn(x, z, length):
    """The Rn of one scan line: the mean peak-to-valley height of its complete sampling lengths."""
    # Distance along the line from its first row: the x steps accumulated.
    distance = np.concatenate(([0.0], np.cumsum(np.diff(x))))
    closing = []
    start = 0
    while True:
        row = int(np.searchsorted(distance, distance[start] + length, side="left"))
        if row >= len(x):
            break
        closing.append(row)
        start = row
    if not closing:
        return np.float32(0.0)
    ends = np.array(closing)
    starts = np.concatenate(([0], ends[:-1]))
    # Each sampling length spans its first row to its closing row, both included.
    head = z[: ends[-1]]
    hi = np.maximum(np.maximum.reduceat(head, starts), z[ends])
    lo = np.minimum(np.minimum.reduceat(head, starts), z[ends])
    return np.float32(np.sum(hi - lo) / len(ends))


def analyse(path, length):
    points = np.loadtxt(path, delimiter=",", dtype=np.float64, ndmin=2)
    x, y, z = points[:, 0], points[:, 1], points[:, 2]
    extents = {
        "minX": np.float32(x.min()), "maxX": np.float32(x.max()),
        "minY": np.float32(y.min()), "maxY": np.float32(y.max()),
        "minZ": np.float32(z.min()), "maxZ": np.float32(z.max()),
        "meanZ": np.float32(z.sum() / len(z)),
    }
    position = min(max(position_of(extents["meanZ"]), position_of(extents["minZ"])),
                   position_of(extents["maxZ"]))
    plane = np.float32(position / 100.0)
    mean_deviation = np.float32(np.abs(z - np.float64(plane)).sum() / len(z))

    # A scan line ends at every row whose x is greater than the next row's.
    last_rows = np.flatnonzero(x[:-1] > x[1:])
    bounds = np.concatenate(([0], last_rows + 1, [len(x)]))
    rn = np.array([profile_rn(x[a:b], z[a:b], length) for a, b in zip(bounds[:-1], bounds[1:])],
                  dtype=np.float32)
    positive = rn[rn > 0]
    mean_rn = np.float32(positive.sum(dtype=np.float32) / np.float32(len(positive))) \
        if len(positive) else np.float32(0.0)
    rn150 = np.zeros(151, dtype=np.float32)
    rn150[1:min(len(rn), 150) + 1] = rn[:150]
    rn2d = np.float32((float(rn150[50]) + float(rn150[100]) + float(rn150[150])) / 3)

    report = {"file": path, "points": len(z)}
    report.update({name: float(value) for name, value in extents.items()})
    report.update({
        "planePosition": position, "planeHeight": float(plane),
        "meanDeviation": float(mean_deviation),
        "raFigure": float(mean_deviation) / 2.7,
        "samplingLength": length,
        "profileRn": [float(v) for v in rn],
        "meanRn": float(mean_rn), "rn2d": float(rn2d),
    })
    return report


def main(arguments):
    length = 3
    if arguments[:1] == ["--sampling-length"]:
        length = int(arguments[1])
        arguments = arguments[2:]
    out = sys.stdout
    for path in arguments:
        out.write(json.dumps(analyse(path, length)) + "\n")


if __name__ == "__main__":
    main(sys.argv[1:])
