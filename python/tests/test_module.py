"""run_picture and the results files against graybench-batch itself."""

import os
import pathlib
import pickle
import subprocess

import pytest

import graybench


EVERY_COMMAND = pathlib.Path(__file__).with_name("every-command.recipe.json")


def batch(exe, recipe, pictures, results, out=None, steps=False):
    args = [exe, str(recipe), *map(str, pictures), "--jobs", "1", "--results", str(results)]
    if out is not None:
        args += ["--out", str(out)]
    if steps:
        args.append("--steps")
    subprocess.run(args, capture_output=True, check=False)
    return results.read_text()


def pictures(samples, tmp_path):
    """Every sample, a missing file and a file that is no picture: error rows too."""
    broken = tmp_path / "broken.png"
    broken.write_bytes(b"not a picture")
    return sorted(samples.glob("*.png")) + [tmp_path / "missing.png", broken]


@pytest.mark.parametrize("kind", ["csv", "json"])
@pytest.mark.parametrize("recipe", ["inspect-parts", "every-command"])
def test_results_equal_the_batch_runners_byte_for_byte(batch_exe, samples, tmp_path, kind,
                                                       recipe):
    recipe = EVERY_COMMAND if recipe == "every-command" else samples / f"{recipe}.recipe.json"
    paths = pictures(samples, tmp_path)
    expected = batch(batch_exe, recipe, paths, tmp_path / f"results.{kind}")
    runs = [graybench.run_picture(recipe, p) for p in paths]
    text = graybench.results_csv(runs) if kind == "csv" else graybench.results_json(runs)
    assert text == expected
    assert [run.failed for run in runs] == [False] * (len(paths) - 2) + [True, True]


def test_written_pictures_equal_the_batch_runners(batch_exe, samples, tmp_path):
    recipe = graybench.Recipe.load(str(EVERY_COMMAND))
    paths = sorted(samples.glob("*.png"))
    batch(batch_exe, EVERY_COMMAND, paths, tmp_path / "r.json", out=tmp_path / "batch",
          steps=True)
    for p in paths:
        graybench.run_picture(recipe, p, out_dir=tmp_path / "py", steps=True)
    written = sorted(f.name for f in (tmp_path / "batch").iterdir())
    assert written == sorted(f.name for f in (tmp_path / "py").iterdir())
    assert len(written) == len(paths) * (len(recipe) + 1)  # every step and the last After
    for name in written:
        assert (tmp_path / "py" / name).read_bytes() == (tmp_path / "batch" / name).read_bytes()


def test_rows_are_the_json_rows_and_runs_pickle(samples, tmp_path):
    text = (samples / "inspect-parts.recipe.json").read_text()
    run = graybench.run_picture(text, samples / "parts.png")
    assert [(r["step"], r["command"], r["status"]) for r in run.rows] == [
        (1, "filter", "ok"), (2, "threshold", "ok"), (3, "detect", "ok")]
    assert run.rows[2]["objectCount"] == 8
    assert {o["area"] for o in run.rows[2]["objects"]} == {900}
    assert run.csv.count("\n") == 3 and run.csv.endswith("\n")
    assert pickle.loads(pickle.dumps(run)) == run
    missing = graybench.run_picture(text, tmp_path / "missing.png")
    assert missing.failed and missing.rows[0]["step"] == 0 and missing.rows[0]["status"] == "error"


def test_recipe_parses_loads_and_pickles(samples):
    path = samples / "inspect-parts.recipe.json"
    recipe = graybench.Recipe.load(str(path))
    assert recipe.text == path.read_text()
    assert graybench.Recipe.parse(recipe.text) == recipe and len(recipe) == 3
    assert pickle.loads(pickle.dumps(recipe)) == recipe
    with pytest.raises(graybench.RecipeError, match=r'^"steps" is missing$'):
        graybench.Recipe.parse('{"format": "graybench-recipe", "version": 1}')
    with pytest.raises(graybench.RecipeError, match=r"^nowhere\.json: "):
        graybench.Recipe.load("nowhere.json")
    assert issubclass(graybench.RecipeError, ValueError)


def test_a_picture_name_that_is_not_utf8_reads_back_to_its_bytes(batch_exe, samples, tmp_path):
    name = tmp_path / os.fsdecode(b"caf\xe9.png")
    name.write_bytes((samples / "parts.png").read_bytes())
    recipe = samples / "inspect-parts.recipe.json"
    expected = subprocess.run([batch_exe, str(recipe), os.fsencode(name), "--results",
                               tmp_path / "r.json"], capture_output=True).returncode
    run = graybench.run_picture(recipe, name)
    assert run.rows[0]["picture"] == str(name) and not run.failed and expected == 0
    assert os.fsencode(graybench.results_json([run])) == (tmp_path / "r.json").read_bytes()
    parts = graybench.load_picture(samples / "parts.png")
    assert (graybench.load_picture(name) == parts).all()
    assert (graybench.load_picture(os.fsencode(name)) == parts).all()
    # Two names one text would confuse: each write lands on its own bytes.
    for byte, value in ((b"\xe9", 40), (b"\xe8", 200)):
        graybench.save_picture(tmp_path / os.fsdecode(b"out" + byte + b".bmp"), parts * 0 + value)
    for byte, value in ((b"\xe9", 40), (b"\xe8", 200)):
        back = graybench.load_picture(os.path.join(os.fsencode(tmp_path), b"out" + byte + b".bmp"))
        assert (back == value).all()
    assert not [n for n in os.listdir(tmp_path) if n.startswith(".graybench-")]
    recipe_copy = tmp_path / os.fsdecode(b"r\xe9.json")
    recipe_copy.write_bytes(recipe.read_bytes())
    assert graybench.Recipe.load(os.fsencode(recipe_copy)) == graybench.Recipe.load(str(recipe))


def test_the_module_has_the_programs_version(batch_exe):
    shown = subprocess.run([batch_exe, "--version"], capture_output=True, text=True, check=True)
    assert shown.stdout.split() == ["graybench-batch", graybench.__version__]
