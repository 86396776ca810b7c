"""Times numpy.loadtxt on a photometry table; prints the best wall and CPU time of N runs."""
import resource
import sys
import time

import numpy


def cpu_seconds():
    u = resource.getrusage(resource.RUSAGE_SELF)
    return u.ru_utime + u.ru_stime


def main():
    path = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    best = None
    best_cpu = None
    shape = None
    for _ in range(runs):
        c0 = cpu_seconds()
        t0 = time.perf_counter()
        data = numpy.loadtxt(path, dtype=numpy.float64, comments="#")
        t1 = time.perf_counter()
        cpu = cpu_seconds() - c0
        shape = data.shape
        del data
        best = t1 - t0 if best is None else min(best, t1 - t0)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
    print("seconds=%.4f cpu=%.4f rows=%d cols=%d" % (best, best_cpu, shape[0], shape[1]))


if __name__ == "__main__":
    main()
