#!/usr/bin/env python3
"""Makes a deflated archive of DIRS x PER_DIR small text files named
dNNNN/subK/fNNNNN.txt, each its own name repeated 1..MAXREPEAT times
(random, seeded), and optionally writes the entry names to LIST.

    tree_archive.py OUT DIRS PER_DIR MAXREPEAT SEED [LIST]
"""
import random
import sys
import zipfile


def main():
    out, dirs, per_dir, size, seed = sys.argv[1], *map(int, sys.argv[2:6])
    random.seed(seed)
    names = []
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for d in range(dirs):
            for f in range(per_dir):
                name = "d%04d/sub%d/f%05d.txt" % (d, f % 4, f)
                z.writestr(name, ("%s " % name) * random.randint(1, size))
                names.append(name)
    if len(sys.argv) > 6:
        with open(sys.argv[6], "w") as listing:
            listing.write("\n".join(names) + "\n")


main()
