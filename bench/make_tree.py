"""Builds the benchmark trees below OUT: a (30 files, 3 MB), b (2,000 files, 500 MB, nested),
c10k and c (10,000 and 100,000 files of 0 to 64 bytes in 100-file folders)."""
import os
import random
import sys

out = sys.argv[1]
rng = random.Random(7)


def tree(name, count, size_of, folder_of):
    root = os.path.join(out, name)
    for i in range(count):
        path = os.path.join(root, folder_of(i), "f%06d.bin" % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(os.urandom(size_of(i)))
    with open(os.path.join(root, "qmsetup.ini"), "wb") as f:
        f.write(b"[FILES]\r\n")


tree("a", 29, lambda i: 100 * 1024 + rng.randrange(8192), lambda i: "bin" if i % 2 else ".")
tree("b", 1999, lambda i: 250 * 1024 + rng.randrange(16384),
     lambda i: os.path.join("d%d" % (i % 7), "e%d" % (i % 13), "f%d" % (i % 5)))
tree("c10k", 9999, lambda i: rng.randrange(65), lambda i: "g%03d" % (i // 100))
tree("c", 99999, lambda i: rng.randrange(65), lambda i: "g%04d" % (i // 100))
