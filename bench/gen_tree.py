#!/usr/bin/env python3
"""Writes a reproducible tree for the benchmarks.

  small: many small files (default 60,000 files in 3,000 directories), mixed-case
         extensions, files without extension, and dot-directories that the program skips.
  large: a few large files (default six of 300 MB) in two directories.
"""
import argparse
import os
import random

EXTENSIONS = [".c", ".h", ".txt", ".TXT", ".Jpg", ".jpg", ".png", ".o", ".obj", ".md",
              ".html", ".HTM", ".py", ".cpp", ".dat", ".tar.gz", ".log", ".json", ""]


def small(root, files, dirs, rng, max_kib=256):
    paths = [root]
    for i in range(1, dirs):
        parent = rng.choice(paths[-200:]) if rng.random() < 0.7 else rng.choice(paths)
        name = ("." if rng.random() < 0.02 else "") + "d%04d" % i
        paths.append(os.path.join(parent, name))
    for p in paths:
        os.makedirs(p, exist_ok=True)
    for i in range(files):
        d = rng.choice(paths)
        size = min(int(rng.expovariate(1 / 4096)), max_kib * 1024)
        with open(os.path.join(d, "f%06d%s" % (i, rng.choice(EXTENSIONS))), "wb") as f:
            f.write(rng.randbytes(size))


def large(root, files, size_mb, rng):
    block = rng.randbytes(1 << 20)
    for i in range(files):
        d = os.path.join(root, "part%d" % (i % 2))
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "big%d.bin" % i), "wb") as f:
            for k in range(size_mb):
                f.write(block[k % 7:] + block[:k % 7])


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("root")
    ap.add_argument("--kind", choices=["small", "large"], default="small")
    ap.add_argument("--files", type=int)
    ap.add_argument("--dirs", type=int, default=3000)
    ap.add_argument("--size-mb", type=int, default=300)
    ap.add_argument("--max-kib", type=int, default=256, help="largest small file")
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    rng = random.Random(a.seed)
    os.makedirs(a.root, exist_ok=True)
    if a.kind == "small":
        small(a.root, a.files or 60000, a.dirs, rng, a.max_kib)
    else:
        large(a.root, a.files or 6, a.size_mb, rng)


if __name__ == "__main__":
    main()
