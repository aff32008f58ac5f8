#!/usr/bin/env python3
"""Writes Corvane's sample scans into this folder.

Each file is a raster scan as a 3D scanner exports it: one point per line, "x,y,z", scan lines
one after another with x rising along a line and dropping back at the start of the next one.
Run it again to regenerate the samples; the output is the same every time (fixed seeds).
"""
import hashlib
import math
import pathlib
import random
import struct
import zipfile

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


def write_x3p(name, points, columns, rows, step):
    """The same scan as an X3P container (ISO 25178-72): a grid (SUR) of columns x rows points
    `step` mm apart, x and y incremental, the heights as doubles in metres in bindata/data.bin,
    with the MD5 checksums of the data and of main.xml. The heights are those of the point file
    (rounded as it writes them), so the two files hold one surface."""
    heights = [float(f"{z:.4f}") / 1000 for _, _, z in points]
    data = b"".join(struct.pack("<d", z) for z in heights)
    axis = ("<{0}><AxisType>I</AxisType><Increment>{1}</Increment><Offset>0</Offset></{0}>")
    xml = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<p:ISO5436_2 xmlns:p="http://www.opengps.eu/2008/ISO5436_2">\n'
        "  <Record1><Revision>ISO5436 - 2000</Revision><FeatureType>SUR</FeatureType><Axes>"
        + axis.format("CX", step / 1000) + axis.format("CY", step / 1000)
        + "<CZ><AxisType>A</AxisType><DataType>D</DataType><Increment>1</Increment>"
        "<Offset>0</Offset></CZ></Axes></Record1>\n"
        "  <Record2><Date>2026-12-08T00:00:00+00:00</Date><Creator>Corvane samples</Creator>"
        "<Instrument><Manufacturer>Corvane</Manufacturer><Model>make_samples.py</Model>"
        "<Serial>1</Serial><Version>1.0</Version></Instrument>"
        "<CalibrationDate>2026-12-08T00:00:00+00:00</CalibrationDate>"
        "<ProbingSystem><Type>Software</Type><Identification>generated</Identification>"
        "</ProbingSystem><Comment>the surface of rough_surface_100k.txt</Comment></Record2>\n"
        f"  <Record3><MatrixDimension><SizeX>{columns}</SizeX><SizeY>{rows}</SizeY>"
        "<SizeZ>1</SizeZ></MatrixDimension><DataLink><PointDataLink>bindata/data.bin"
        f"</PointDataLink><MD5ChecksumPointData>{hashlib.md5(data).hexdigest()}"
        "</MD5ChecksumPointData></DataLink></Record3>\n"
        "  <Record4><ChecksumFile>md5checksum.hex</ChecksumFile></Record4>\n"
        "</p:ISO5436_2>\n"
    ).encode()
    with zipfile.ZipFile(HERE / name, "w") as archive:
        for entry, content in (("main.xml", xml), ("bindata/data.bin", data),
                               ("md5checksum.hex",
                                f"{hashlib.md5(xml).hexdigest()} *main.xml\n".encode())):
            info = zipfile.ZipInfo(entry, date_time=(2026, 12, 8, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, content)


if __name__ == "__main__":
    write("rough_surface_100k.txt", rough_surface())
    write_x3p("rough_surface_100k.x3p", rough_surface(), 400, 250, 0.1)
    write("rn_demo.txt", rn_demo())
    write("negative_heights.txt", negative_heights())
