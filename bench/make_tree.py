"""make_tree.py OUT NAME...: builds benchmark trees below OUT, each with a qmsetup.ini.
  b      2,000 files of 250-266 KB (500 MB) in 455 nested folders (d*/e*/f*)
  cN     N files of 0 to 64 bytes in 100-file folders (c100, c1k, c10k, c100k)
Contents are random but the same on every run."""
import os
import random
import sys

TINY = {"c100": 100, "c1k": 1000, "c10k": 10000, "c100k": 100000}


def tree(root, count, size_of, folder_of, rng):
    for i in range(count - 1):  # the script is the last file
        path = os.path.join(root, folder_of(i), "f%06d.bin" % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(rng.randbytes(size_of(i)))
    with open(os.path.join(root, "qmsetup.ini"), "wb") as f:
        f.write(b"[FILES]\r\n")


def make(out, name):
    rng = random.Random(name)
    root = os.path.join(out, name)
    if name == "b":
        tree(root, 2000, lambda i: 250 * 1024 + rng.randrange(16384),
             lambda i: os.path.join("d%d" % (i % 7), "e%d" % (i % 13), "f%d" % (i % 5)), rng)
    elif name in TINY:
        tree(root, TINY[name], lambda i: rng.randrange(65), lambda i: "g%04d" % (i // 100), rng)
    else:
        sys.exit("make_tree: unknown tree " + name)


if __name__ == "__main__":
    for name in sys.argv[2:]:
        make(sys.argv[1], name)
