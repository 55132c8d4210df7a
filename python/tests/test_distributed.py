"""graybench.distributed on a real cluster: a dask-scheduler and dask-worker
processes started here (each worker its own process), compared file for file
with graybench-batch on the same pictures."""

import json
import os
import shutil
import signal
import subprocess
import time

import numpy as np
import pytest

import graybench
from graybench import distributed

PYTHON = "/usr/bin/python3"  # Debian's, with dask; a python3 earlier on PATH may lack it
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BATCH = os.environ.get("GRAYBENCH_BATCH", os.path.join(SOURCE, "build/release/graybench-batch"))
SAMPLES = os.environ.get("GRAYBENCH_SAMPLES", os.path.join(SOURCE, "samples"))
RECIPE = os.path.join(SAMPLES, "inspect-parts.recipe.json")


def write_pgm(path, rows):
    height, width = rows.shape
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (width, height) + rows.astype(np.uint8).tobytes())


def generated_parts(rng, width, height):
    """Bright discs on a dark, noisy ground: something for every step to find."""
    y, x = np.mgrid[0:height, 0:width]
    rows = 30 + rng.integers(0, 20, (height, width))
    for _ in range(6):
        cx, cy, r = rng.integers(20, width - 20), rng.integers(20, height - 20), rng.integers(6, 18)
        rows[(x - cx) ** 2 + (y - cy) ** 2 <= r * r] = 200
    return rows


def start(args, **kw):
    return subprocess.Popen([PYTHON, *args], stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, **kw)


def end(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    if process.stderr:
        process.stderr.close()


class Cluster:
    """A scheduler on 127.0.0.1 and worker processes of one thread, no nanny:
    killing a worker's process loses that worker."""

    def __init__(self, folder):
        self.processes = []
        self.workers = []
        self.client = None
        address_file = os.path.join(folder, "scheduler.json")
        self.processes.append(start(["/usr/bin/dask-scheduler", "--host", "127.0.0.1",
                                     "--port", "0", "--no-dashboard",
                                     "--scheduler-file", address_file]))
        deadline = time.monotonic() + 30
        while not os.path.exists(address_file):
            assert self.processes[0].poll() is None, self.processes[0].stderr.read().decode()
            assert time.monotonic() < deadline, "the scheduler did not start"
            time.sleep(0.1)
        time.sleep(0.1)  # written in one go, but give it a moment to land
        with open(address_file) as f:
            self.address = json.load(f)["address"]

    def add_worker(self):
        worker = start(["/usr/bin/dask-worker", self.address, "--nthreads", "1", "--no-nanny",
                        "--no-dashboard", "--host", "127.0.0.1"])
        self.processes.append(worker)
        self.workers.append(worker)
        return worker

    def connect(self, workers):
        from distributed import Client

        self.client = Client(self.address, timeout="30s")
        self.client.wait_for_workers(workers, timeout=60)
        return self.client

    def close(self):
        if self.client is not None:
            self.client.close()
        for process in reversed(self.processes):
            end(process)


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    cluster = Cluster(str(tmp_path_factory.mktemp("cluster")))
    try:
        cluster.add_worker()
        cluster.add_worker()
        cluster.connect(2)
        yield cluster
    finally:
        cluster.close()


@pytest.fixture(scope="module")
def pictures(tmp_path_factory):
    """The samples, generated pictures of assorted sizes, a damaged file and a
    missing one, in an order that is not the order of their names."""
    folder = tmp_path_factory.mktemp("pictures")
    rng = np.random.default_rng(20240611)
    paths = []
    for k, (w, h) in enumerate([(512, 480), (300, 200), (97, 151), (640, 360), (512, 512)]):
        path = folder / f"gen-{9 - k}.pgm"
        write_pgm(path, generated_parts(rng, w, h))
        paths.append(str(path))
    for name in ["parts.png", "pattern.png", "gauge.png"]:
        shutil.copy(os.path.join(SAMPLES, name), folder / name)
        paths.insert(2, str(folder / name))
    (folder / "damaged.png").write_bytes(b"not a picture")
    paths.insert(1, str(folder / "damaged.png"))
    paths.append(str(folder / "missing.png"))
    return paths


def run_batch(args, **kw):
    return subprocess.run([BATCH, *args], capture_output=True, text=True, **kw)


@pytest.fixture(scope="module")
def reference(pictures, tmp_path_factory):
    """graybench-batch's own run: results as CSV and JSON, pictures with steps."""
    folder = tmp_path_factory.mktemp("reference")
    runs = {}
    for ext in ("csv", "json"):
        out = folder / f"out-{ext}"
        done = run_batch([RECIPE, *pictures, "--jobs", "2", "--steps", "--out", str(out),
                          "--results", str(folder / f"rows.{ext}")])
        runs[ext] = done
    assert runs["csv"].returncode == 1, runs["csv"].stderr  # the damaged and missing files
    return {"folder": folder, "stderr": runs["csv"].stderr,
            "csv": (folder / "rows.csv").read_text(), "json": (folder / "rows.json").read_text()}


def files_of(folder):
    return {name: (folder / name).read_bytes() for name in sorted(os.listdir(folder))}


def test_runs_equal_the_batch_runner_in_input_order(cluster, pictures, reference, tmp_path):
    seen = []
    runs = distributed.run_recipe(RECIPE, pictures, cluster.client, out_dir=tmp_path / "out",
                                  steps=True, progress=lambda d, n, r: seen.append((d, n, r.path)))

    assert [run.path for run in runs] == pictures
    assert [d for d, _, _ in seen] == list(range(1, len(pictures) + 1))
    assert sorted(p for _, _, p in seen) == sorted(pictures)
    assert graybench.results_csv(runs) == reference["csv"]
    assert graybench.results_json(runs) == reference["json"]
    assert [run.failed for run in runs] == [p.endswith(("damaged.png", "missing.png"))
                                            for p in pictures]
    # The same runs as run_picture here, row for row.
    for path, run in zip(pictures, runs):
        assert run == graybench.run_picture(RECIPE, path)
    written = files_of(tmp_path / "out")
    assert written == files_of(reference["folder"] / "out-csv")
    assert len(written) == 8 * 4  # 8 readable pictures: 3 steps and the final After


def test_a_picture_that_cannot_be_written_is_an_error_row(cluster, pictures, tmp_path):
    out = tmp_path / "out"
    (out / "parts.after.png").mkdir(parents=True)  # a folder where the picture goes
    parts = [p for p in pictures if p.endswith("parts.png")]
    runs = distributed.run_recipe(RECIPE, parts, cluster.client, out_dir=out)
    assert runs == [graybench.run_picture(RECIPE, parts[0], out)]
    assert runs[0].failed and runs[0].rows[-1]["status"] == "error"


def test_a_lost_worker_has_its_pictures_run_again_and_counted_once(cluster, tmp_path):
    rng = np.random.default_rng(7)
    paths = []
    for k in range(40):
        path = tmp_path / f"p{k:02d}.pgm"
        write_pgm(path, generated_parts(rng, 512, 480))
        paths.append(str(path))
    victim = cluster.add_worker()
    client = cluster.client
    client.wait_for_workers(3, timeout=60)
    victim_address = next(a for a, pid in client.run(os.getpid).items() if pid == victim.pid)
    killed_holding = []

    def progress(done, total, run):
        seen.append(run.path)
        if done == 4 and not killed_holding:
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:  # kill it while it holds a picture
                holding = client.processing(workers=[victim_address])[victim_address]
                if holding:
                    victim.send_signal(signal.SIGKILL)
                    killed_holding.extend(holding)
                    break
                time.sleep(0.001)

    seen = []
    runs = distributed.run_recipe(RECIPE, paths, client, out_dir=tmp_path / "out",
                                  progress=progress, chunk=1)
    assert victim.wait(10) == -signal.SIGKILL
    assert killed_holding, "the worker held no picture when it was killed"
    assert len(seen) == len(paths) and sorted(seen) == paths  # each counted once
    assert [run.path for run in runs] == paths
    expected = run_batch([RECIPE, *paths, "--jobs", "2", "--out", str(tmp_path / "ref"),
                          "--results", str(tmp_path / "ref.csv")])
    assert expected.returncode == 0, expected.stderr
    assert graybench.results_csv(runs) == (tmp_path / "ref.csv").read_text()
    assert files_of(tmp_path / "out") == files_of(tmp_path / "ref")


def progress_and_errors(stderr):
    """The lines about pictures, without the order the pictures finished in."""
    lines = stderr.splitlines()
    progress = sorted(line.split("] ", 1)[1] for line in lines if line.startswith("["))
    counts = [line[1:].split("/")[0] for line in lines if line.startswith("[")]
    errors = sorted(line for line in lines if line.startswith("graybench-batch: "))
    summary = [line.rsplit(",", 2)[0] for line in lines if " pictures: " in line]
    return progress, counts, errors, summary


def test_graybench_batch_with_a_scheduler_gives_the_same_files_and_lines(
        cluster, pictures, reference, tmp_path):
    for ext in ("csv", "json"):
        done = run_batch([RECIPE, *pictures, "--steps", "--out", str(tmp_path / ext),
                          "--results", str(tmp_path / f"rows.{ext}"),
                          "--scheduler", cluster.address])
        assert done.returncode == 1, done.stderr
        assert (tmp_path / f"rows.{ext}").read_text() == reference[ext]
        assert files_of(tmp_path / ext) == files_of(reference["folder"] / "out-csv")
        progress, counts, errors, summary = progress_and_errors(done.stderr)
        ref_progress, _, ref_errors, ref_summary = progress_and_errors(reference["stderr"])
        assert (progress, errors, summary) == (ref_progress, ref_errors, ref_summary)
        assert counts == [str(k) for k in range(1, len(pictures) + 1)]
        assert summary == [f"{len(pictures)} pictures: {len(pictures) - 2} done, 2 failed"]
    # A folder is listed by graybench-batch, as on one machine.
    folder = os.path.dirname(pictures[0])
    here = run_batch([RECIPE, folder, "--results", str(tmp_path / "here.csv")])
    there = run_batch([RECIPE, folder, "--results", str(tmp_path / "there.csv"),
                       "--scheduler", cluster.address])
    assert (here.returncode, progress_and_errors(here.stderr)[2:]) == \
        (there.returncode, progress_and_errors(there.stderr)[2:])
    assert (tmp_path / "here.csv").read_text() == (tmp_path / "there.csv").read_text()


def test_an_unreachable_scheduler_fails_the_run(tmp_path):
    quick = dict(os.environ, DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT="2s")
    done = run_batch([RECIPE, os.path.join(SAMPLES, "parts.png"), "--results",
                      str(tmp_path / "rows.csv"), "--scheduler", "tcp://127.0.0.1:9"],
                     timeout=60, env=quick)
    assert done.returncode == 1
    assert "graybench-batch: cannot reach the scheduler at tcp://127.0.0.1:9" in done.stderr
    assert not (tmp_path / "rows.csv").exists()


@pytest.mark.parametrize("args", [
    ["--frobnicate"],
    ["--jobs", "0"],
    ["--jobs", "x2"],
    ["--results", "rows.txt"],
    ["--steps"],
    ["--scheduler", ""],
    ["--jobs", "2", "--scheduler", "tcp://127.0.0.1:8786"],
    ["--out"],
])
def test_bad_usage_is_refused_as_graybench_batch_refuses_it(args):
    picture = os.path.join(SAMPLES, "parts.png")
    batch = run_batch([RECIPE, picture, *args])
    module = subprocess.run([PYTHON, "-m", "graybench.distributed", RECIPE, picture, *args],
                            capture_output=True, text=True)
    assert batch.returncode == module.returncode == 2
    assert module.stderr == batch.stderr


def test_without_a_client_a_local_cluster_runs_and_is_closed(pictures):
    import multiprocessing

    some = pictures[2:5]
    runs = distributed.run_recipe(graybench.Recipe.load(RECIPE), some)
    assert runs == [graybench.run_picture(RECIPE, p) for p in some]
    assert multiprocessing.active_children() == []  # the workers' processes are gone
    assert distributed.run_recipe(RECIPE, []) == []  # no cluster started for nothing
    with pytest.raises(ValueError):
        distributed.run_recipe(RECIPE, some, chunk=0)
    with pytest.raises(graybench.RecipeError):
        distributed.run_recipe('{"format":"graybench-recipe","version":1,"steps":[{}]}', some)
