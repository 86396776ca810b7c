"""Times numpy.loadtxt on a photometry table; prints the best wall time of N runs."""
import sys
import time

import numpy


def main():
    path = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    best = None
    shape = None
    for _ in range(runs):
        t0 = time.perf_counter()
        data = numpy.loadtxt(path, dtype=numpy.float64, comments="#")
        t1 = time.perf_counter()
        shape = data.shape
        del data
        best = t1 - t0 if best is None else min(best, t1 - t0)
    print("seconds=%.4f rows=%d cols=%d" % (best, shape[0], shape[1]))


if __name__ == "__main__":
    main()
