"""A recipe over many pictures on the workers of a Dask cluster.

run_recipe() gives what graybench-batch gives for the same pictures: one
PictureRun per picture, in input order, the same rows, and the same pictures
written in out_dir, which must be a folder every worker reaches by that path.

The recipe is parsed once here and travels as its text. Pictures go out in
chunks; a chunk is a pure task whose key names the run and the input indexes
it holds, so when a worker is lost the scheduler runs its chunks again
elsewhere and each picture is still counted once.

python3 -m graybench.distributed takes graybench-batch's command line plus
--scheduler ADDRESS|local and --pictures-from FILE|- (the pictures, each
ended by a NUL byte, instead of or after the PICTURE arguments).
"""

from __future__ import annotations

import contextlib
import dataclasses
import functools
import logging
import os
import sys
import time
import uuid

from . import PictureRun, Recipe, as_recipe, run_picture

__all__ = ["run_recipe"]

# The scheduler answers for every task and every result; chunks of a few
# pictures keep that cost small beside the pictures' own time.
_LARGEST_CHUNK = 64
_CHUNKS_A_WORKER = 4  # enough chunks that the workers finish close together


@functools.lru_cache(maxsize=4)
def _parsed(text: str) -> Recipe:
    return Recipe.parse(text)


def _run_chunk(recipe_text: str, paths: list, out_dir, steps: bool) -> list:
    recipe = _parsed(recipe_text)
    return [run_picture(recipe, path, out_dir, steps) for path in paths]


def chunk_size(pictures: int, workers: int) -> int:
    """Pictures a task: up to _LARGEST_CHUNK, while every worker gets several tasks."""
    share = pictures // (max(workers, 1) * _CHUNKS_A_WORKER)
    return max(1, min(_LARGEST_CHUNK, share))


@contextlib.contextmanager
def local_client(workers: int | None = None):
    """A cluster of worker processes on this machine (one a core, one thread
    each), shut down when the block ends, however it ends."""
    from distributed import Client, LocalCluster

    # The scheduler serves its health and metrics pages whatever is asked; on
    # port 0 the system picks a free port, where 8787 may be taken.
    cluster = LocalCluster(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1,
                           processes=True, dashboard_address=":0",
                           scheduler_kwargs={"dashboard": False}, silence_logs=logging.ERROR)
    try:
        with Client(cluster) as client:
            yield client
    finally:
        cluster.close()


def run_recipe(recipe, paths, client=None, out_dir=None, steps=False, progress=None,
               chunk=None) -> list[PictureRun]:
    """Runs the recipe on every picture over a Dask cluster; one PictureRun per
    path, in the order of paths.

    recipe: a graybench.Recipe, JSON text or a path (a bad one raises
    RecipeError here, before anything runs). client: a distributed.Client;
    without one, a local cluster runs the pictures and is closed after.
    progress(done, total, run) is called here once per picture as it finishes,
    done counting from 1 to len(paths). chunk: pictures a task (default: from
    the number of pictures and workers).
    """
    text = as_recipe(recipe).text
    paths = [os.fspath(p) for p in paths]
    if steps and out_dir is None:
        raise ValueError("steps=True writes pictures, so it needs out_dir")
    out_dir = None if out_dir is None else os.fspath(out_dir)
    if chunk is not None and chunk < 1:
        raise ValueError(f"chunk is a number of pictures from 1 up, not {chunk}")
    if not paths:
        return []
    if client is None:
        with local_client() as own:
            return _run(own, text, paths, out_dir, steps, progress, chunk)
    return _run(client, text, paths, out_dir, steps, progress, chunk)


def _run(client, text, paths, out_dir, steps, progress, chunk):
    from distributed import as_completed

    if out_dir is not None:
        os.makedirs(out_dir, exist_ok=True)
    if chunk is None:
        chunk = chunk_size(len(paths), len(client.scheduler_info()["workers"]))
    run = uuid.uuid4().hex  # keys of one run never meet another run's results
    first = {}
    futures = []
    for start in range(0, len(paths), chunk):
        part = paths[start:start + chunk]
        key = f"graybench-pictures-{run}-{start}-{start + len(part)}"
        futures.append(client.submit(_run_chunk, text, part, out_dir, steps, key=key,
                                     pure=True))
        first[key] = start

    results: list = [None] * len(paths)
    done = 0
    finished = set()
    for batch in as_completed(futures).batches():
        for future, runs in zip(batch, client.gather(batch)):
            if future.key in finished:  # a chunk run again after a lost worker
                continue
            finished.add(future.key)
            for k, picture in enumerate(runs):
                results[first[future.key] + k] = picture
                done += 1
                if progress is not None:
                    progress(done, len(paths), picture)
            future.release()
    return results


# ---- the command line --------------------------------------------------------

PROGRAM = "graybench-batch"  # the lines a run prints are graybench-batch's own

USAGE = """\
Usage: python3 -m graybench.distributed RECIPE PICTURE... [--out DIR] [--steps]
           [--results FILE.csv|FILE.json] [--jobs N] [--scheduler ADDRESS|local]
           [--pictures-from FILE|-]
Runs the recipe on every picture over a Dask cluster, as graybench-batch does
on this machine. A PICTURE may be a file, a folder (its picture files, sorted
by name) or a pattern such as 'shots/*.png'.
  --out DIR        write each picture's final After as NAME.after.png in DIR
                   (a folder every worker reaches by this path)
  --steps          with --out, also write each step's After as NAME.stepN.png
  --results FILE   write one row per picture and step, as CSV or JSON
  --jobs N         with --scheduler local, start N workers (default: one per
                   processor)
  --scheduler ADDRESS
                   the Dask scheduler (tcp://HOST:PORT); 'local' (the default)
                   starts a cluster of worker processes on this machine
  --pictures-from FILE
                   also run the pictures listed in FILE ('-': standard input),
                   each ended by a NUL byte
  --help
Exit status: 0 all pictures done, 1 a picture or step failed, 2 bad usage.
"""


class UsageError(Exception):
    """Bad usage: exit status 2."""


# The formats Qt reads on Debian 12 with its image format plugins; a folder
# gives its files with these extensions. graybench-batch hands over its own
# expansion (through --pictures-from), so this serves direct runs only.
PICTURE_EXTENSIONS = frozenset(
    "bmp cur gif icns ico jpeg jpg mng pbm pgm png ppm tga tif tiff wbmp webp xbm xpm".split())


def expand_pictures(inputs) -> list[str]:
    """graybench-batch's expansion: a folder gives its picture files sorted by
    the bytes of their names (not recursive), a pattern that names no file its
    matches sorted, anything else stays as it is (a missing file becomes an
    error row rather than vanishing)."""
    import glob

    pictures = []
    for given in inputs:
        if os.path.isdir(given):
            found = []
            with contextlib.suppress(OSError), os.scandir(given) as entries:
                for entry in entries:
                    ext = os.path.splitext(entry.name)[1][1:].lower()
                    with contextlib.suppress(OSError):
                        if ext in PICTURE_EXTENSIONS and entry.is_file():
                            found.append(os.path.join(given, entry.name))
            pictures += sorted(found, key=os.fsencode)
        elif any(c in given for c in "*?[") and not os.path.lexists(given):
            matches = sorted(glob.glob(given), key=os.fsencode)
            pictures += matches or [given]
        else:
            pictures.append(given)
    return pictures


def output_name(path: str, suffix: str) -> str:
    return os.path.splitext(os.path.basename(path))[0] + suffix


@dataclasses.dataclass
class Options:
    recipe: str = ""
    inputs: list = dataclasses.field(default_factory=list)
    out_dir: str | None = None
    steps: bool = False
    results: str | None = None
    jobs: int | None = None
    scheduler: str = "local"
    pictures_from: str | None = None
    help: bool = False


def parse_options(argv) -> Options:
    """graybench-batch's parsing and messages, plus --scheduler and --pictures-from."""
    options = Options()
    positional = []
    args = list(argv)
    i = 0

    def value(name):
        nonlocal i
        if i + 1 >= len(args):
            raise UsageError(f"{name} needs a value")
        i += 1
        return args[i]

    options_end = False
    while i < len(args):
        arg = args[i]
        if options_end or len(arg) < 2 or arg[0] != "-":
            positional.append(arg)
        elif arg == "--":
            options_end = True
        elif arg in ("--help", "-h"):
            options.help = True
        elif arg == "--out":
            options.out_dir = value(arg)
        elif arg == "--steps":
            options.steps = True
        elif arg == "--results":
            options.results = value(arg)
        elif arg == "--jobs":
            text = value(arg)
            if not (text.isascii() and text.isdigit() and 1 <= int(text) <= 1024):
                raise UsageError(f'--jobs must be a whole number from 1 to 1024, not "{text}"')
            options.jobs = int(text)
        elif arg == "--scheduler":
            options.scheduler = value(arg)
            if not options.scheduler:
                raise UsageError("--scheduler needs an address such as tcp://HOST:8786, or local")
        elif arg == "--pictures-from":
            options.pictures_from = value(arg)
        else:
            raise UsageError(f'unknown option "{arg}"')
        i += 1
    if options.help:
        return options
    if not positional or (len(positional) < 2 and options.pictures_from is None):
        raise UsageError("no recipe and no picture given" if not positional
                         else "no picture given")
    if options.steps and options.out_dir is None:
        raise UsageError("--steps writes pictures, so it needs --out DIR")
    if options.results is not None and os.path.splitext(options.results)[1] not in (".csv", ".json"):
        raise UsageError(f'--results must name a .csv or .json file, not "{options.results}"')
    if options.jobs and options.scheduler != "local":
        raise UsageError("--jobs counts the workers of a local cluster; the workers of "
                         f"--scheduler {options.scheduler} are started with dask-worker")
    options.recipe = positional[0]
    options.inputs = positional[1:]
    return options


def _read_list(source: str) -> list[str]:
    try:
        if source == "-":
            data = sys.stdin.buffer.read()
        else:
            with open(source, "rb") as f:
                data = f.read()
    except OSError as e:
        raise UsageError(f"{source}: {e.strerror}") from None
    return [os.fsdecode(name) for name in data.split(b"\0")[:-1]] if data else []


class _Reporter:
    """graybench-batch's lines on stderr: progress (a bar redrawn in place on a
    terminal, a line a picture otherwise), error lines and the summary."""

    def __init__(self, stream):
        self.stream = stream
        self.bar = stream.isatty()

    def line(self, text: str):
        self.stream.write(("\r\033[K" if self.bar else "") + text + "\n")
        self.stream.flush()

    def progress(self, done: int, total: int, run: PictureRun):
        for row in run.rows:
            if row.get("status") == "error":
                self.line(f"{PROGRAM}: {run.path}: {row.get('message', '')}")
        if not self.bar:
            self.stream.write(f"[{done}/{total}] {run.path} {'failed' if run.failed else 'ok'}\n")
        else:
            width = 30
            filled = done * width // total if total else width
            self.stream.write(f"\r[{'#' * filled}{' ' * (width - filled)}] {done}/{total}")
        self.stream.flush()


def _write_results(path: str, text: str):
    """Writes through a temporary file beside it, so a failed write leaves an
    existing file whole."""
    import tempfile

    name = os.path.basename(path)
    tmp = None
    try:
        fd, tmp = tempfile.mkstemp(prefix=f".{name}.", dir=os.path.dirname(path) or ".")
        with os.fdopen(fd, "wb") as f:
            f.write(text.encode())
        os.replace(tmp, path)
        tmp = None
    except OSError as e:
        raise OSError(f'Cannot write "{name}": {e.strerror}') from None
    finally:
        if tmp is not None:
            with contextlib.suppress(OSError):
                os.unlink(tmp)


def _connect(options: Options):
    if options.scheduler == "local":
        return local_client(options.jobs)
    import dask
    from distributed import Client

    # Dask's own setting (DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT), 30 s unless set.
    return Client(options.scheduler,
                  timeout=dask.config.get("distributed.comm.timeouts.connect", "30s"))


def main(argv) -> int:
    from . import RecipeError, results_csv, results_json

    stderr = sys.stderr
    try:
        options = parse_options(argv)
        if options.help:
            sys.stdout.write(USAGE)
            return 0
        try:
            recipe = Recipe.load(options.recipe)
        except RecipeError as e:
            raise UsageError(str(e)) from None
        pictures = expand_pictures(options.inputs)
        if options.pictures_from is not None:
            pictures += _read_list(options.pictures_from)
        if options.out_dir is not None:
            seen = {}
            for picture in pictures:
                other = seen.setdefault(output_name(picture, ""), picture)
                if other != picture:
                    raise UsageError(f"{other} and {picture} would write the same pictures in --out")
            try:
                os.makedirs(options.out_dir, exist_ok=True)
            except OSError as e:
                raise UsageError(f"cannot make the folder {options.out_dir}: {e.strerror}") from None
            if not os.path.isdir(options.out_dir):
                raise UsageError(f"cannot make the folder {options.out_dir}: it is not a folder")
    except UsageError as e:
        stderr.write(f"{PROGRAM}: {e}\nTry '{PROGRAM} --help'.\n")
        return 2

    reporter = _Reporter(stderr)
    with contextlib.ExitStack() as stack:
        try:
            client = stack.enter_context(_connect(options))
        except OSError as e:
            reporter.line(f"{PROGRAM}: cannot reach the scheduler at {options.scheduler}: {e}")
            return 1
        start = time.monotonic()
        try:
            runs = run_recipe(recipe, pictures, client, options.out_dir, options.steps,
                              reporter.progress)
        except Exception as e:  # KilledWorker and the like: the cluster, not a picture
            reporter.line(f"{PROGRAM}: the cluster failed: {type(e).__name__}: {e}")
            return 1
        seconds = time.monotonic() - start

    results_failed = False
    if options.results is not None:
        text = (results_json if options.results.endswith(".json") else results_csv)(runs)
        try:
            _write_results(options.results, text)
        except OSError as e:
            reporter.line(f"{PROGRAM}: {e}")
            results_failed = True
    if reporter.bar:
        stderr.write("\n")
    failed = sum(run.failed for run in runs)
    rate = len(pictures) / seconds if seconds > 0 else 0.0
    stderr.write(f"{len(pictures)} pictures: {len(pictures) - failed} done, {failed} failed, "
                 f"{seconds:.2f} s, {rate:.1f} pictures a second\n")
    stderr.flush()
    return 1 if failed or results_failed else 0


if __name__ == "__main__":
    # Tasks name their function by module; "__main__" means nothing on a worker.
    from graybench.distributed import main as _main

    sys.exit(_main(sys.argv[1:]))
