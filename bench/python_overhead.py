#!/usr/bin/python3
"""What the Python module costs a picture over graybench-batch.

Writes N generated 512 x 512 pictures (a dark disc and a slanted dark edge on a
noisy light ground), then runs samples/bench-five-steps.recipe.json over them
through graybench.run_picture in one thread and through graybench-batch
--jobs 1, in turn for a few rounds, and prints the best pictures a second of each.

    /usr/bin/python3 bench/python_overhead.py --pictures 200
"""

import argparse
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time

SOURCE = pathlib.Path(__file__).resolve().parent.parent


def make_pictures(graybench, numpy, folder, count):
    rng = numpy.random.default_rng(2026)  # fixed seed: every run times the same pictures
    y, x = numpy.mgrid[0:512, 0:512]
    paths = []
    for k in range(count):
        picture = 180 + rng.integers(-25, 26, (512, 512))
        cx, cy, r = 256 + rng.integers(-20, 21), 200 + rng.integers(-20, 21), 60 + k % 30
        picture[(x - cx) ** 2 + (y - cy) ** 2 <= r * r] = 60
        picture[y >= 400 - (0.05 + 0.001 * (k % 50)) * x] = 50
        path = folder / f"picture{k:05d}.png"
        graybench.save_picture(path, numpy.clip(picture, 0, 255).astype(numpy.uint8))
        paths.append(str(path))
    return paths


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pictures", type=int, default=200)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--build", default=str(SOURCE / "build/release"),
                        help="the build folder: its python/ and graybench-batch are used")
    args = parser.parse_args()
    sys.path.insert(0, str(pathlib.Path(args.build) / "python"))
    import numpy
    import graybench

    recipe_path = SOURCE / "samples/bench-five-steps.recipe.json"
    batch = pathlib.Path(args.build) / "graybench-batch"
    with tempfile.TemporaryDirectory() as scratch:
        paths = make_pictures(graybench, numpy, pathlib.Path(scratch), args.pictures)
        recipe = graybench.Recipe.load(str(recipe_path))

        # Turn about, best of the rounds: other jobs on the machine slow single rounds.
        python_seconds = batch_seconds = float("inf")
        own = []
        for _ in range(args.rounds):
            start = time.perf_counter()
            runs = [graybench.run_picture(recipe, p) for p in paths]
            python_seconds = min(python_seconds, time.perf_counter() - start)
            assert not any(run.failed for run in runs), "a picture failed"

            start = time.perf_counter()
            done = subprocess.run([str(batch), str(recipe_path), *paths, "--jobs", "1",
                                   "--results", os.path.join(scratch, "r.csv")],
                                  capture_output=True, text=True, check=True)
            batch_seconds = min(batch_seconds, time.perf_counter() - start)
            # Its own figure leaves out its start-up and the results file.
            own += [float(m) for m in re.findall(r"([0-9.]+) pictures a second", done.stderr)]
        same = graybench.results_csv(runs) == pathlib.Path(scratch, "r.csv").read_text()

    n = len(paths)
    print(f"{n} pictures of 512 x 512, {len(recipe)} steps, one thread, best of {args.rounds}")
    print(f"graybench.run_picture:    {n / python_seconds:8.1f} pictures a second")
    print(f"graybench-batch --jobs 1: {n / batch_seconds:8.1f} pictures a second "
          f"(its own figure: {max(own, default=0):.1f})")
    print(f"overhead a picture:       {(python_seconds - batch_seconds) / n * 1000:8.3f} ms")
    print(f"results identical:        {same}")


if __name__ == "__main__":
    main()
