#!/usr/bin/env python3
"""Model of one sweep of zolvane-mpi's parallel one-sided block Jacobi.

P processes hold 2P column blocks of w = n / 2P columns of the n x n factor
X. A sweep is 2P - 1 rounds; in each, every process runs one serial blocked
sweep on its n x 2w pair of blocks (Gram tests and BLAS-3 rotations, about
6 n (2w)^2 flops, as a serial sweep over n columns costs about 6 n^3), then
sends both its blocks to its neighbours (two messages of 8 n w bytes) and
receives two. The sweep ends with one reduction of a flag.

Per process and sweep:
  flops = (2P - 1) * 6 n (2w)^2               ~ 12 n^3 / P
  bytes = (2P - 1) * 2 * 8 n w                ~ 16 n^2, whatever P
  time  = flops / rate + bytes / bandwidth + (2P - 1) * 2 * latency
          + log2(P) * latency (the reduction)
The whole parallel sweep does about twice the serial one's flops: the pairs
inside each block are tested again in every round. Measured on 1, 2 and 4
processes at n = 1000 (processor time of all processes): 1, 1.24 and 1.8
times the single process's, where this model says 1, 1.5 and 1.75.
The factorisation (once): n^3 / 3P flops, n reductions and broadcasts of
column pieces (8 n^2 / 2 bytes received per process).

Usage: bench/mpi_jacobi_model.py [--gflops 50] [--gbytes 20] [--latency 2e-6]
                                 [--sweeps 9]
prints a markdown table for n = 10,000, 20,000, 50,000 and P = 4 .. 256.
"""
import argparse
import math


def sweep(n, p, rate, bandwidth, latency):
    w = n / (2 * p)
    rounds = 2 * p - 1
    flops = rounds * 6 * n * (2 * w) ** 2
    sent = rounds * 2 * 8 * n * w
    time = flops / rate + sent / bandwidth + rounds * 2 * latency + math.log2(p) * latency
    return flops, sent, time


def factor(n, p, rate, bandwidth, latency):
    flops = n**3 / (3 * p)
    received = 8 * n * n / 2
    return flops / rate + received / bandwidth + 2 * n * math.log2(max(p, 2)) * latency


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--gflops", type=float, default=50.0, help="GFlop/s per process")
    parser.add_argument("--gbytes", type=float, default=20.0, help="link GB/s per process")
    parser.add_argument("--latency", type=float, default=2e-6, help="seconds per message")
    parser.add_argument("--sweeps", type=int, default=9, help="sweeps of a whole run")
    args = parser.parse_args()
    rate, bandwidth = args.gflops * 1e9, args.gbytes * 1e9
    print("| n | P | GFlop per process | GB sent per process | s per sweep (compute + links) "
          "| whole run s (factor + %d sweeps) | memory per process GiB (2 n^2/P doubles) |" % args.sweeps)
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for n in (10_000, 20_000, 50_000):
        for p in (4, 8, 16, 32, 64, 128, 256):
            flops, sent, time = sweep(n, p, rate, bandwidth, args.latency)
            compute = flops / rate
            total = factor(n, p, rate, bandwidth, args.latency) + args.sweeps * time
            memory = 2.0 * n * n / p * 8 / 2**30
            print("| %d | %d | %.0f | %.2f | %.2f (%.2f + %.2f) | %.0f | %.2f |" %
                  (n, p, flops / 1e9, sent / 1e9, time, compute, time - compute, total, memory))


if __name__ == "__main__":
    main()
