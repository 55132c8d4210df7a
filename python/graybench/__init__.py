"""GrayBench's commands, recipes and batch runner, from Python.

run_picture() does for one picture exactly what graybench-batch does, and
results_csv() / results_json() give graybench-batch's results file for a list
of such runs, byte for byte. C++ runs with the GIL released, so threads that
each call run_picture() run at the same time.
"""

from __future__ import annotations

import dataclasses
import json as _json
import os

from . import _graybench, results
from ._graybench import Cancelled, NoPicture, PictureError, Recipe, RecipeError, Refused
from ._graybench import __version__
from .commands import (brightness, circular, create_template, detect, edge, filter,
                       find_pattern, morphology, straight, threshold)

# Shown as graybench.RecipeError and so on, where callers find them.
for _name in ("Cancelled", "NoPicture", "PictureError", "Recipe", "RecipeError", "Refused"):
    getattr(_graybench, _name).__module__ = __name__

__all__ = [
    "Cancelled", "NoPicture", "PictureError", "PictureRun", "Recipe", "RecipeError", "Refused",
    "brightness", "circular", "create_template", "detect", "edge", "filter", "find_pattern",
    "load_picture", "morphology", "results", "results_csv", "results_json", "run_picture",
    "run_recipe", "save_picture", "straight", "threshold",
]


@dataclasses.dataclass
class PictureRun:
    """One picture run through a recipe, as graybench-batch reports it.

    path: the picture's path as given; failed: a row of it is an error;
    rows: its rows as dicts with the names of graybench-batch's JSON rows;
    csv: its lines of the CSV results file (no header), each ending in "\\n";
    json: its row objects of the JSON results file, one text per row.
    """

    path: str
    failed: bool
    rows: list
    csv: str
    json: list


def as_recipe(recipe) -> Recipe:
    """A Recipe as it is, JSON text (it starts with "{") parsed, or a path loaded."""
    if isinstance(recipe, Recipe):
        return recipe
    if isinstance(recipe, str) and recipe.lstrip().startswith("{"):
        return Recipe.parse(recipe)
    if isinstance(recipe, (str, bytes, os.PathLike)):
        return Recipe.load(os.fsencode(recipe))
    raise TypeError(f"a recipe is a graybench.Recipe, JSON text or a path, not {type(recipe).__name__}")


def load_picture(path):
    """The picture file as a (height, width) uint8 array, with the window's
    loader and its gray rule (R + G + B) / 3. A file it refuses raises
    PictureError with the loader's message.

    >>> graybench.load_picture("samples/parts.png").shape
    (480, 512)
    """
    return _graybench.load_picture(os.fsencode(path))


def save_picture(path, image):
    """Writes the (height, width) uint8 array in the format the file name's
    extension names (BMP when it has none), gray in red, green and blue. A
    failed write raises PictureError and leaves an existing file as it was.

    >>> import os, tempfile
    >>> path = os.path.join(tempfile.mkdtemp(), "parts.bmp")
    >>> graybench.save_picture(path, parts)
    >>> bool((graybench.load_picture(path) == parts).all())
    True
    """
    _graybench.save_picture(os.fsencode(path), image)


def run_recipe(recipe, image):
    """Runs the recipe's steps on a copy of the image: (after, results), one
    result per step. A step that does not run raises RecipeError naming it.

    >>> after, steps = graybench.run_recipe("samples/inspect-parts.recipe.json",
    ...                                     graybench.load_picture("samples/parts.png"))
    >>> [type(r).__name__ for r in steps], steps[2].object_count
    (['FilterResult', 'ThresholdResult', 'DetectResult'], 8)
    """
    after, steps = _graybench.run_recipe(as_recipe(recipe), image)
    return after, [results.from_module(step) for step in steps]


def run_picture(recipe, path, out_dir=None, steps=False) -> PictureRun:
    """Runs the recipe on the picture at path, as graybench-batch does.

    A picture that cannot be read, a step that does not run and a picture that
    cannot be written become error rows; nothing here raises for them. With
    out_dir, the last After is written there as NAME.after.png (and with steps
    every step's After as NAME.stepN.png); the folder is made when missing.

    >>> run = graybench.run_picture("samples/inspect-parts.recipe.json", "samples/parts.png")
    >>> run.failed, [row["command"] for row in run.rows], run.rows[2]["objectCount"]
    (False, ['filter', 'threshold', 'detect'], 8)
    >>> run.json[1]
    '{"picture": "samples/parts.png", "step": 2, "command": "threshold", "status": "ok", "message": "", "threshold": 100, "upper": 100, "pixels": 245760, "above": 220839, "below": 24921, "mean": 142.0413045247396, "deviation": 34.64124647743575}'
    >>> graybench.run_picture("samples/inspect-parts.recipe.json", "nowhere.png").rows
    [{'picture': 'nowhere.png', 'step': 0, 'command': '', 'status': 'error', 'message': 'Cannot read the picture "nowhere.png": File not found'}]
    """
    recipe = as_recipe(recipe)
    path = os.fsdecode(path)
    if steps and out_dir is None:
        raise ValueError("steps=True writes pictures, so it needs out_dir")
    if out_dir is not None:
        out_dir = os.fsdecode(out_dir)
        os.makedirs(out_dir, exist_ok=True)
    failed, csv, objects = _graybench.run_picture(recipe, os.fsencode(path),
                                                  os.fsencode(out_dir or ""), bool(steps))
    objects = [os.fsdecode(o) for o in objects]
    return PictureRun(path=path, failed=failed, rows=[_json.loads(o) for o in objects],
                      csv=os.fsdecode(csv), json=objects)


def results_csv(runs) -> str:
    """graybench-batch's CSV results file for these runs, in this order.

    Texts are decoded as Python decodes file names, so a picture name that is
    not UTF-8 comes back to the same bytes with os.fsencode().

    >>> runs = [graybench.run_picture("samples/inspect-parts.recipe.json", p)
    ...         for p in ("samples/parts.png", "nowhere.png")]
    >>> text = graybench.results_csv(runs)
    >>> print(text.splitlines()[0][:60])
    picture,step,command,status,message,threshold,objectCount,ob
    >>> print(text.splitlines()[-1])
    nowhere.png,,,error,"Cannot read the picture ""nowhere.png"": File not found",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,
    """
    return _graybench.results_csv_header() + "".join(run.csv for run in runs)


def results_json(runs) -> str:
    """graybench-batch's JSON results file for these runs, in this order.

    >>> empty = '{"format": "graybench-recipe", "version": 1, "steps": []}'
    >>> print(graybench.results_json([graybench.run_picture(empty, "nowhere.png")]))
    [
      {"picture": "nowhere.png", "step": 0, "command": "", "status": "error", "message": "Cannot read the picture \\"nowhere.png\\": File not found"}
    ]
    <BLANKLINE>
    """
    return os.fsdecode(_graybench.results_json_array(
        [os.fsencode(o) for run in runs for o in run.json]))
