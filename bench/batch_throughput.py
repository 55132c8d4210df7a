#!/usr/bin/python3
"""Pictures a second of graybench-batch and of the distributed run.

    /usr/bin/python3 bench/batch_throughput.py [--build build/release]
        [--scratch /tmp/graybench-throughput] [--pictures 1000] [--workers 2]

Writes the pictures once into the scratch folder (512 x 512 PNGs, fixed seed),
then times each way of running the five-step recipe over all of them, wall
clock from start to exit, and prints a Markdown table. Not run by ctest.
"""

import argparse
import os
import subprocess
import sys
import time

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RECIPE = os.path.join(ROOT, "samples", "bench-five-steps.recipe.json")


def make_pictures(build, folder, count):
    """Dark disc and a slanted dark edge on a noisy light ground, what the
    recipe's gauges look for; written once, kept for the next run."""
    names = [os.path.join(folder, f"shot-{k:04d}.png") for k in range(count)]
    if all(os.path.exists(n) for n in names):
        return names
    sys.path.insert(0, os.path.join(build, "python"))
    import graybench

    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(2026)  # fixed seed: every run times the same pictures
    y, x = np.mgrid[0:512, 0:512]
    for k, name in enumerate(names):
        picture = 180 + rng.integers(-25, 26, (512, 512))
        cx, cy, r = 256 + rng.integers(-20, 21), 200 + rng.integers(-20, 21), 60 + k % 30
        picture[(x - cx) ** 2 + (y - cy) ** 2 <= r * r] = 60
        picture[y >= 400 - (0.05 + 0.001 * (k % 50)) * x] = 50
        graybench.save_picture(name, np.clip(picture, 0, 255).astype(np.uint8))
    return names


def timed(label, command, count, env=None):
    start = time.monotonic()
    done = subprocess.run(command, env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, text=True)
    seconds = time.monotonic() - start
    if done.returncode != 0:
        sys.exit(f"{label} failed ({done.returncode}):\n{done.stderr[-2000:]}")
    return label, seconds, count / seconds


def python_api(build, recipe, folder, count, workers, chunk):
    """The run from Python: start-up and the run itself, timed apart."""
    code = f"""
import glob, os, time, sys
start = time.monotonic()
from graybench import distributed
with distributed.local_client({workers}) as client:
    ready = time.monotonic()
    runs = distributed.run_recipe({recipe!r}, sorted(glob.glob({folder!r} + "/*.png")), client,
                                  chunk={chunk!r})
    end = time.monotonic()
assert len(runs) == {count} and not any(r.failed for r in runs)
print(ready - start, end - ready, end - start)
"""
    env = dict(os.environ, PYTHONPATH=os.path.join(build, "python"))
    out = subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(out.stderr[-2000:])
    return [float(v) for v in out.stdout.split()]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--scratch", default="/tmp/graybench-throughput")
    parser.add_argument("--pictures", type=int, default=1000)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--recipe", default=RECIPE)
    args = parser.parse_args()

    folder = os.path.join(args.scratch, "in")
    make_pictures(args.build, folder, args.pictures)
    batch = os.path.join(args.build, "graybench-batch")
    base = [batch, args.recipe, folder, "--results", os.path.join(args.scratch, "rows.csv")]
    rows = [timed("graybench-batch --jobs 1", base + ["--jobs", "1"], args.pictures),
            timed("graybench-batch --jobs 2", base + ["--jobs", "2"], args.pictures),
            timed(f"graybench-batch --scheduler local --jobs {args.workers}",
                  base + ["--scheduler", "local", "--jobs", str(args.workers)], args.pictures)]
    for chunk in (None, 1):
        startup, run, total = python_api(args.build, args.recipe, folder, args.pictures,
                                         args.workers, chunk)
        label = "run_recipe" + (" (chunk=1)" if chunk == 1 else "")
        rows.append((f"{label}, local cluster of {args.workers}", total, args.pictures / total))
        rows.append((f"{label}, after the cluster is up ({startup:.2f} s)", run,
                     args.pictures / run))

    reference = rows[1][1]
    print(f"{args.pictures} pictures of 512 x 512, {os.path.basename(args.recipe)}\n")
    print("| run | seconds | pictures a second | against --jobs 2 | per picture over --jobs 2 |")
    print("|---|---:|---:|---:|---:|")
    for label, seconds, rate in rows:
        over = (seconds - reference) / args.pictures * 1000
        print(f"| {label} | {seconds:.2f} | {rate:.1f} | {seconds / reference:.2f}x | "
              f"{over:+.2f} ms |")


if __name__ == "__main__":
    main()
