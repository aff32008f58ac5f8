#!/usr/bin/env python3
"""Makes the seeds of read_instrument_fuzzer in tests/data/instrument-corpus: each instrument file
of tests/data/formats behind the byte that chooses its reader (the format's index in the
readers' table), cut to its first 64 KiB (whole headers and directories, the start of the data).

Run from the repository's top: fuzz/make_instrument_seeds.py"""
import pathlib

# The order of instrumentFormats() in src/formats/instrument_file.cpp.
FORMATS = ["sdf", "sur", "metropro", "datx", "gwy", "plu", "opd"]
SUFFIXES = {".sdf": "sdf", ".sur": "sur", ".pro": "sur", ".dat": "metropro", ".datx": "datx",
            ".gwy": "gwy", ".plu": "plu", ".opd": "opd"}

source = pathlib.Path("tests/data/formats")
target = pathlib.Path("tests/data/instrument-corpus")
target.mkdir(exist_ok=True)
for path in sorted(source.iterdir()):
    name = SUFFIXES.get(path.suffix.lower())
    if name is None:
        continue
    seed = bytes([FORMATS.index(name)]) + path.read_bytes()[:65535]
    (target / (path.stem + ".seed")).write_bytes(seed)
