#!/usr/bin/env python3
"""Writes Corvane's sample scans into this folder.

Each file is a raster scan as a 3D scanner exports it: one point per line, "x,y,z", scan lines
one after another with x rising along a line and dropping back at the start of the next one.
Run it again to regenerate the samples; the output is the same every time (fixed seeds).
"""
import math
import pathlib
import random

HERE = pathlib.Path(__file__).resolve().parent


def write(name, points):
    with open(HERE / name, "w", newline="\n") as out:
        for x, y, z in points:
            out.write(f"{x:.1f},{y:.1f},{z:.4f}\n")


def rough_surface():
    """100000 points: 250 scan lines of 400 points, 0.1 mm apart, a machined surface with
    waviness, feed marks, random roughness and a few pits."""
    rng = random.Random(20261208)
    pits = [(rng.uniform(0, 40), rng.uniform(0, 25), rng.uniform(0.3, 0.8)) for _ in range(12)]
    for line in range(250):
        y = line * 0.1
        for step in range(400):
            x = step * 0.1
            z = 2.0
            z += 0.25 * math.sin(2 * math.pi * x / 13.0 + 0.4 * math.sin(y / 3.0))
            z += 0.12 * math.sin(2 * math.pi * y / 9.5)
            z += 0.08 * abs(math.sin(2 * math.pi * x / 0.8))  # feed marks
            z += rng.gauss(0.0, 0.04)
            for px, py, depth in pits:
                d2 = (x - px) ** 2 + (y - py) ** 2
                if d2 < 1.0:
                    z -= depth * (1.0 - d2)
            yield x, y, z


def rn_demo():
    """A small scan whose 12 scan lines grow rougher one after another, so the profile
    roughness of each line and its trend are easy to follow."""
    rng = random.Random(7)
    for line in range(12):
        y = float(line)
        amplitude = 0.05 + 0.1 * line
        for step in range(31):
            x = float(step)
            z = 5.0 + amplitude * math.sin(2 * math.pi * x / 3.0) + rng.uniform(-0.02, 0.02)
            yield x, y, z


def negative_heights():
    """A groove scanned below the zero plane: every height is negative."""
    rng = random.Random(99)
    for line in range(40):
        y = line * 0.5
        for step in range(60):
            x = step * 0.5
            groove = -1.5 * math.exp(-((x - 15.0) ** 2) / 18.0)
            z = -3.5 + groove + 0.1 * math.sin(x * 2.1) + rng.gauss(0.0, 0.03)
            yield x, y, z


if __name__ == "__main__":
    write("rough_surface_100k.txt", rough_surface())
    write("rn_demo.txt", rn_demo())
    write("negative_heights.txt", negative_heights())
