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

from . import _graybench
from ._graybench import PictureError, Recipe, RecipeError

__all__ = [
    "PictureError",
    "PictureRun",
    "Recipe",
    "RecipeError",
    "results_csv",
    "results_json",
    "run_picture",
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
    if isinstance(recipe, (str, os.PathLike)):
        return Recipe.load(os.fspath(recipe))
    raise TypeError(f"a recipe is a graybench.Recipe, JSON text or a path, not {type(recipe).__name__}")


def run_picture(recipe, path, out_dir=None, steps=False) -> PictureRun:
    """Runs the recipe on the picture at path, as graybench-batch does.

    A picture that cannot be read, a step that does not run and a picture that
    cannot be written become error rows; nothing here raises for them. With
    out_dir, the last After is written there as NAME.after.png (and with steps
    every step's After as NAME.stepN.png); the folder is made when missing.
    """
    recipe = as_recipe(recipe)
    path = os.fspath(path)
    if steps and out_dir is None:
        raise ValueError("steps=True writes pictures, so it needs out_dir")
    if out_dir is not None:
        out_dir = os.fspath(out_dir)
        os.makedirs(out_dir, exist_ok=True)
    failed, csv, objects = _graybench.run_picture(recipe, path, out_dir or "", bool(steps))
    return PictureRun(path=path, failed=failed, rows=[_json.loads(o) for o in objects],
                      csv=csv, json=list(objects))


def results_csv(runs) -> str:
    """graybench-batch's CSV results file for these runs, in this order."""
    return _graybench.results_csv_header() + "".join(run.csv for run in runs)


def results_json(runs) -> str:
    """graybench-batch's JSON results file for these runs, in this order."""
    return _graybench.results_json_array([o for run in runs for o in run.json])
