#!/usr/bin/env python3
"""Writes Corvane's sample scans into this folder.

Each point file is a raster scan as a 3D scanner exports it: one point per line, "x,y,z", scan
lines one after another with x rising along a line and dropping back at the start of the next one.
The X3P files are grids: the 100000-point surface again, and a confocal microscope's field with
the non-measured points such an instrument leaves.
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


def smoothed_noise(rng, columns, rows, across, along):
    """Gaussian noise averaged over 2 across + 1 neighbouring points along x and then over
    2 along + 1 along y, scaled back to a standard deviation near 1."""
    noise = [[rng.gauss(0.0, 1.0) for _ in range(columns)] for _ in range(rows)]
    along_x = []
    for line in noise:
        along_x.append([sum(line[max(0, i - across):i + across + 1])
                        / len(line[max(0, i - across):i + across + 1]) for i in range(columns)])
    smooth = [[0.0] * columns for _ in range(rows)]
    gain = math.sqrt((2 * across + 1) * (2 * along + 1))
    for i in range(columns):
        column = [along_x[j][i] for j in range(rows)]
        for j in range(rows):
            part = column[max(0, j - along):j + along + 1]
            smooth[j][i] = sum(part) / len(part) * gain
    return smooth


def confocal_field(columns=351, rows=283, step=0.5):
    """A confocal microscope's field of a ground surface, heights in um: grinding marks along y
    (a parabolic track each, of random depth and width, slightly wandering, ending after a few
    tens of um, so that the texture has a lay yet decays along it within the field), random
    roughness smoother along the marks, waviness and a small tilt. The instrument loses the
    points where the flank is steeper than it can see, in a few dark spots, and in a ragged band
    along the left edge of the field. Returns the heights and the measured flags, row by row."""
    rng = random.Random(20261209)
    marks, centre = [], -6.0
    while centre < columns * step + 6:
        start = rng.uniform(-40.0, 0.0)
        while start < rows * step:
            length = rng.uniform(15.0, 45.0)
            marks.append((centre + rng.uniform(-3.0, 3.0), rng.uniform(0.8, 2.4),
                          rng.uniform(2.5, 4.5), rng.uniform(40.0, 90.0),
                          rng.uniform(0, 2 * math.pi), start, start + length))
            start += length + rng.uniform(2.0, 12.0)
        centre += rng.uniform(7.0, 16.0)
    roughness = smoothed_noise(rng, columns, rows, 1, 4)
    heights = []
    for j in range(rows):
        y = j * step
        line = []
        # The marks this row crosses, each fading in and out over 3 um at its ends.
        here = [(m, min(1.0, (y - m[5]) / 3, (m[6] - y) / 3)) for m in marks if m[5] < y < m[6]]
        for i in range(columns):
            x = i * step
            z = 12.0 + 0.004 * x + 0.002 * y
            z += 0.35 * math.sin(2 * math.pi * x / 140.0 + 0.6)
            z += 0.2 * math.sin(2 * math.pi * y / 110.0)
            cut = 0.0
            for (middle, depth, half, period, phase, _, _), fade in here:
                d = (x - middle - 0.6 * math.sin(2 * math.pi * y / period + phase)) / half
                if abs(d) < 1:
                    cut = min(cut, -fade * depth * (1 - d * d))
            line.append(z + cut + 0.07 * roughness[j][i])
        heights.append(line)

    measured = [[True] * columns for _ in range(rows)]
    # Steep flanks: the slope along x above what the objective's aperture takes back.
    for j in range(rows):
        for i in range(1, columns - 1):
            slope = abs(heights[j][i + 1] - heights[j][i - 1]) / (2 * step)
            if slope > 1.2 or (slope > 0.8 and rng.random() < (slope - 0.8) / 0.4):
                measured[j][i] = False
    # Dark spots: small irregular blobs.
    for _ in range(9):
        ci, cj = rng.uniform(20, columns - 20), rng.uniform(20, rows - 20)
        radius, lobes, turn = rng.uniform(2.0, 6.0), rng.randint(2, 3), rng.uniform(0, 2 * math.pi)
        for j in range(int(cj - 2 * radius) - 1, int(cj + 2 * radius) + 2):
            for i in range(int(ci - 2 * radius) - 1, int(ci + 2 * radius) + 2):
                angle = math.atan2(j - cj, i - ci)
                edge = radius * (1 + 0.25 * math.sin(lobes * angle + turn)) + rng.uniform(-0.6, 0.6)
                if math.hypot(i - ci, j - cj) < edge:
                    measured[j][i] = False
    # The ragged band along the left edge: a width that wanders from row to row, a few rows where
    # it reaches past a tenth of the field, and a frayed border.
    width = 5.0
    for j in range(rows):
        width = min(12.0, max(1.0, width + 0.1 * (4.0 - width) + rng.uniform(-1.0, 1.0)))
        reach = width + 40.0 * math.exp(-((j - 205) / 12.0) ** 2)
        for i in range(columns):
            if i < reach or (i < reach + 4 and rng.random() < 0.5):
                measured[j][i] = False
    return heights, measured


def write_confocal_x3p(name, columns=351, rows=283, step=0.5):
    """The confocal field as an X3P grid (SUR) of columns x rows points `step` um apart, the
    heights as floats in metres. The non-measured points are marked both ways: a 0 in the
    valid-points bit array (bit i mod 8 of byte i // 8, least significant first) and NaN in the
    data, but a tenth of them hold a junk height of 1e30 instead, as some instruments leave, so
    a reader that ignores the bit array shows it. MD5 checksums of the data, of the bit array and
    of main.xml."""
    heights, measured = confocal_field(columns, rows, step)
    rng = random.Random(30)
    data, bits = bytearray(), bytearray((columns * rows + 7) // 8)
    for j in range(rows):
        for i in range(columns):
            k = j * columns + i
            if measured[j][i]:
                bits[k // 8] |= 1 << (k % 8)
                data += struct.pack("<f", heights[j][i] / 1e6)
            else:
                data += struct.pack("<f", 1e30 if rng.random() < 0.1 else math.nan)
    data, bits = bytes(data), bytes(bits)
    axis = ("<{0}><AxisType>I</AxisType><Increment>{1}</Increment><Offset>0</Offset></{0}>")
    xml = (
        '<?xml version="1.0" encoding="UTF-8"?>\n'
        '<p:ISO5436_2 xmlns:p="http://www.opengps.eu/2008/ISO5436_2">\n'
        "  <Record1><Revision>ISO5436 - 2000</Revision><FeatureType>SUR</FeatureType><Axes>"
        + axis.format("CX", step / 1e6) + axis.format("CY", step / 1e6)
        + "<CZ><AxisType>A</AxisType><DataType>F</DataType><Increment>1</Increment>"
        "<Offset>0</Offset></CZ></Axes></Record1>\n"
        "  <Record2><Date>2026-12-09T00:00:00+00:00</Date><Creator>Corvane samples</Creator>"
        "<Instrument><Manufacturer>Corvane</Manufacturer><Model>make_samples.py</Model>"
        "<Serial>1</Serial><Version>1.0</Version></Instrument>"
        "<CalibrationDate>2026-12-09T00:00:00+00:00</CalibrationDate>"
        "<ProbingSystem><Type>NonContacting</Type><Identification>confocal, synthetic"
        "</Identification></ProbingSystem><Comment>a synthetic confocal field with non-measured "
        "points: steep flanks, dark spots and a ragged band along the left edge</Comment>"
        "</Record2>\n"
        f"  <Record3><MatrixDimension><SizeX>{columns}</SizeX><SizeY>{rows}</SizeY>"
        "<SizeZ>1</SizeZ></MatrixDimension><DataLink><PointDataLink>bindata/data.bin"
        f"</PointDataLink><MD5ChecksumPointData>{hashlib.md5(data).hexdigest()}"
        "</MD5ChecksumPointData><ValidPointsLink>bindata/valid.bin</ValidPointsLink>"
        f"<MD5ChecksumValidPoints>{hashlib.md5(bits).hexdigest()}</MD5ChecksumValidPoints>"
        "</DataLink></Record3>\n"
        "  <Record4><ChecksumFile>md5checksum.hex</ChecksumFile></Record4>\n"
        "</p:ISO5436_2>\n"
    ).encode()
    write_container(name, xml, [("bindata/data.bin", data), ("bindata/valid.bin", bits)])


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
    write_container(name, xml, [("bindata/data.bin", data)])


def write_container(name, xml, binaries):
    """The zip container: main.xml, the binary entries, and the MD5 checksum of main.xml."""
    with zipfile.ZipFile(HERE / name, "w") as archive:
        for entry, content in [("main.xml", xml), *binaries,
                               ("md5checksum.hex",
                                f"{hashlib.md5(xml).hexdigest()} *main.xml\n".encode())]:
            info = zipfile.ZipInfo(entry, date_time=(2026, 12, 8, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, content)


if __name__ == "__main__":
    write("rough_surface_100k.txt", rough_surface())
    write_x3p("rough_surface_100k.x3p", rough_surface(), 400, 250, 0.1)
    write("rn_demo.txt", rn_demo())
    write("negative_heights.txt", negative_heights())
    write_confocal_x3p("confocal_holes.x3p")
