"""The commands over arrays against graybench-batch, step by step, and their refusals."""

import base64
import json
import pathlib
import subprocess
import threading

import numpy
import pytest

import graybench

EVERY_COMMAND = pathlib.Path(__file__).with_name("every-command.recipe.json")

# Recipe keys to keyword names where they differ; corners become tuples.
KEYWORDS = {"lookFor": "look_for", "autoThreshold": "auto_threshold", "startAngle": "start_angle",
            "endAngle": "end_angle", "insideRadius": "inside_radius",
            "outsideRadius": "outside_radius"}
FUNCTIONS = {"filter": graybench.filter, "morphology": graybench.morphology,
             "brightness": graybench.brightness, "threshold": graybench.threshold,
             "detect": graybench.detect, "edge": graybench.edge, "straight": graybench.straight,
             "circular": graybench.circular}


# The commands whose results carry measures beyond the tool's numbers.
MEASURING = {"threshold", "detect", "edge", "straight", "circular"}


def run_step(image, step):
    """The step of a recipe file as a call of its command function."""
    step = dict(step)
    command = step.pop("command")
    step.pop("copyAfterToBefore", None)
    if command == "pattern":
        t = step["template"]
        template = numpy.frombuffer(base64.b64decode(t["gray"]), numpy.uint8)
        return graybench.find_pattern(image, template.reshape(t["height"], t["width"]),
                                      angle=step["angle"])
    kwargs = {}
    for key, value in step.items():
        if isinstance(value, dict) and "X1" in value:
            value = (value["X1"], value["Y1"], value["X2"], value["Y2"])
        elif isinstance(value, dict):
            value = (value["x"], value["y"])
        kwargs[KEYWORDS.get(key, key)] = value
    return FUNCTIONS[command](image, **kwargs)


def as_text(value):
    """Numbers as graybench-batch writes them: floats in nine digits (which read back to
    the same float, sign of zero included), null for what JSON cannot hold."""
    if value is None:
        return "null"
    if isinstance(value, dict):
        return {k: as_text(v) for k, v in value.items()}
    if isinstance(value, list):
        return [as_text(v) for v in value]
    if isinstance(value, float):
        return "%.9g" % value if numpy.isfinite(value) else "null"
    if isinstance(value, int) and not isinstance(value, bool):
        return str(value)
    return value


def row_numbers(result):
    """The numbers of a result under the names of graybench-batch's JSON rows."""
    r = result
    if isinstance(r, graybench.results.ThresholdResult):
        return {"threshold": r.threshold}
    if isinstance(r, graybench.results.DetectResult):
        return {"threshold": r.threshold, "objectCount": r.object_count,
                "objects": [{"minX": o.min_x, "minY": o.min_y, "maxX": o.max_x,
                             "maxY": o.max_y, "area": o.area} for o in r.objects]}
    if isinstance(r, graybench.results.PatternResult):
        return {"matches": [{k: getattr(m, k) for k in ("x1", "y1", "x2", "y2", "angle",
                                                              "score")} for m in r.rows]}
    if isinstance(r, graybench.results.EdgeResult):
        return {"edgeCount": r.count, "edges": [{"x": e.x, "y": e.y, "polarity": e.polarity,
                                                 "strength": e.strength} for e in r.marks]}
    if isinstance(r, graybench.results.StraightResult):
        return {"fitted": r.fitted, "a": r.a, "b": r.b, "runCount": r.run.count}
    if isinstance(r, graybench.results.CircularResult):
        return {"votes": r.votes, "centreX": r.centre_x, "centreY": r.centre_y,
                "radius": r.radius, "spokes": r.spokes, "hits": r.hits, "verdict": r.verdict}
    return {}


def batch_numbers(row):
    """A row's numbers, each as the text the file holds ("null" for null)."""
    return as_text({k: v for k, v in row.items()
                    if k not in ("picture", "step", "command", "status", "message")})


def test_every_command_equals_graybench_batch_step_by_step(batch_exe, samples, tmp_path):
    recipe_text = EVERY_COMMAND.read_text()
    steps = json.loads(recipe_text)["steps"]
    assert {s["command"] for s in steps} == set(FUNCTIONS) | {"pattern"}
    pictures = sorted(samples.glob("*.png"))
    subprocess.run([batch_exe, str(EVERY_COMMAND), *map(str, pictures), "--out",
                    str(tmp_path), "--steps", "--results", str(tmp_path / "r.json")],
                   check=True, capture_output=True)
    # Numbers stay text: -0 must not turn into 0.
    rows = json.loads((tmp_path / "r.json").read_text(), parse_int=str, parse_float=str)
    # The measured fields are doubles, compared as the values they read back to.
    plain_rows = json.loads((tmp_path / "r.json").read_text())
    assert len(rows) == len(pictures) * len(steps)
    for k, picture in enumerate(pictures):
        image = before = graybench.load_picture(picture)
        results = []
        for i, step in enumerate(steps, start=1):
            after, result = run_step(before, step)
            written = graybench.load_picture(tmp_path / f"{picture.stem}.step{i}.png")
            assert numpy.array_equal(after, written), f"{picture.name} step {i}"
            row = rows[k * len(steps) + i - 1]
            assert (row["picture"], row["step"], row["status"]) == (str(picture), str(i), "ok")
            measured = set(result.measures)
            assert as_text(row_numbers(result)) == batch_numbers(
                {name: v for name, v in row.items() if name not in measured}), f"{picture.name} step {i}"
            plain = plain_rows[k * len(steps) + i - 1]
            assert {name: plain[name] for name in measured} == result.measures, f"{picture.name} step {i}"
            assert bool(result.measures) == (step["command"] in MEASURING)
            results.append(result)
            if step.get("copyAfterToBefore"):
                before = after
        # The whole recipe on the array gives the same, and leaves its input alone.
        last, recipe_results = graybench.run_recipe(recipe_text, image)
        assert numpy.array_equal(last, after)
        assert recipe_results == results
        assert numpy.array_equal(image, graybench.load_picture(picture))


def test_every_memory_order_and_view_gives_the_same(samples):
    rng = numpy.random.default_rng(12345)  # fixed seed: a failure reproduces
    recipe = graybench.Recipe.load(str(EVERY_COMMAND))
    base = graybench.load_picture(samples / "gauge.png")
    noisy = numpy.clip(base.astype(int) + rng.integers(-20, 21, base.shape), 0, 255)
    picture = noisy.astype(numpy.uint8)
    expected = graybench.run_recipe(recipe, picture)
    wide = numpy.zeros((picture.shape[0] * 2, picture.shape[1] * 3), numpy.uint8)
    wide[::2, 1::3] = picture
    flipped = numpy.ascontiguousarray(picture[::-1, ::-1])
    layouts = {"fortran": numpy.asfortranarray(picture), "strided view": wide[::2, 1::3],
               "reversed view": flipped[::-1, ::-1]}
    for name, layout in layouts.items():
        assert numpy.array_equal(layout, picture)
        after, results = graybench.run_recipe(recipe, layout)
        assert numpy.array_equal(after, expected[0]), name
        assert after.flags.c_contiguous and after.shape == picture.shape
        assert results == expected[1], name


def test_a_non_square_picture_keeps_x_and_y_apart():
    image = numpy.zeros((3, 7), numpy.uint8)  # 3 rows, 7 columns
    image[1, 5] = 90  # row 1, column 5
    after, result = graybench.filter(image, kind="Lowpass", mask=3, roi=(4, 0, 7, 3))
    assert result.region == (4, 0, 6, 2)  # X2, Y2 cut to the last column and row
    # The window about (5, 1) holds nine pixels: 90 / 9; about (4, 0) six (it shrinks at
    # the picture's top, not at the region's side): 90 / 6.
    assert after[1, 5] == 10 and after[0, 4] == 15
    assert (after[:, :4] == 0).all() and (after[:, 6] == 0).all() and (after[2] == 0).all()


EMPTY = numpy.zeros((0, 5), numpy.uint8)
PICTURE = numpy.full((40, 50), 128, numpy.uint8)

REFUSALS = [
    (lambda: graybench.filter(PICTURE, kind="Median", mask=4), graybench.RecipeError,
     'step 1 (filter): "mask" must be 3, 5 or 7, not 4'),
    (lambda: graybench.filter(PICTURE, kind="Median", mask=3.0), graybench.RecipeError,
     'step 1 (filter): "mask" must be 3, 5 or 7, not 3.0'),
    (lambda: graybench.filter(PICTURE, kind="Blur"), graybench.RecipeError,
     'step 1 (filter): "kind" must be one of "Lowpass", "Local Average", "Median", "Gaussian", '
     '"Laplacian", "Prewitt", "Sobel" or "Roberts", not "Blur"'),
    (lambda: graybench.morphology(PICTURE, kind="Erosion", rounds=0), graybench.RecipeError,
     'step 1 (morphology): "rounds" must be an integer from 1 to 1000000000, not 0'),
    (lambda: graybench.morphology(PICTURE, kind="Erosion", element=["#"] * 7),
     graybench.RecipeError, 'step 1 (morphology): "element row 1" must be 7 characters '
     "'#' or '.', not \"#\""),
    (lambda: graybench.brightness(PICTURE, gamma=0), graybench.RecipeError,
     'step 1 (brightness): "gamma" must be a number above 0 that a float holds, not 0'),
    (lambda: graybench.threshold(PICTURE, mode="Dark Objects", lower=256), graybench.RecipeError,
     'step 1 (threshold): "lower" must be an integer from 0 to 255, not 256'),
    (lambda: graybench.edge(PICTURE, line=(0, 0, 5, 5), look_for="First Edge Only"),
     graybench.RecipeError, 'step 1 (edge): "lookFor" must be one of "All Edges", '
     '"Fist Edge Only" or "Fist & Last Edge Only", not "First Edge Only"'),
    (lambda: graybench.straight(PICTURE, direction="NORTH"), graybench.RecipeError,
     'step 1 (straight): "direction" must be one of "UP", "LEFT", "DOWN" or "RIGHT", '
     'not "NORTH"'),
    (lambda: graybench.circular(PICTURE, centre=(1, 2), direction="IN"), graybench.RecipeError,
     'step 1 (circular): "direction" must be one of "INWARD" or "OUTWARD", not "IN"'),
    (lambda: graybench.find_pattern(PICTURE, PICTURE[:8, :8], angle=361), graybench.RecipeError,
     'step 1 (pattern): "angle" must be an integer from 0 to 360, not 361'),
    (lambda: graybench.find_pattern(PICTURE, PICTURE[:3, :4]), graybench.Refused,
     "The template is 4 x 3 pixels. A search with Angle 0 needs a template of at least "
     "5 x 5 pixels."),
    (lambda: graybench.find_pattern(PICTURE, PICTURE[:6, :6], angle=10), graybench.Refused,
     "The template is 6 x 6 pixels. A search with an Angle above 0 needs a template of at "
     "least 8 x 8 pixels."),
    (lambda: graybench.find_pattern(PICTURE, PICTURE[:0, :0]), graybench.Refused,
     "The template picture has no pixels (0 x 0). Create a template from a region of the "
     "Before image first."),
    (lambda: graybench.create_template(PICTURE, roi=(60, 0, 70, 10)), graybench.Refused,
     "The region of interest (60, 0) to (49, 10) covers no pixel of the Before image, so no "
     "template was written."),
    (lambda: graybench.create_template(EMPTY, roi=(0, 0, 3, 3)), graybench.NoPicture,
     "there is no picture to run on"),
    (lambda: graybench.run_recipe(EVERY_COMMAND, EMPTY), graybench.RecipeError,
     "step 1 (filter): there is no picture to run on"),
    (lambda: graybench.load_picture("nowhere.png"), graybench.PictureError,
     'Cannot read the picture "nowhere.png": File not found'),
    (lambda: graybench.save_picture("/nowhere/x.xyz", PICTURE), graybench.PictureError,
     'Cannot write the picture "x.xyz": ".xyz" names no format that can be written; use one '
     "of .bmp, .cur, .icns, .ico, .jpeg, .jpg, .pbm, .pgm, .png, .ppm, .tif, .tiff, .wbmp, "
     ".webp, .xbm, .xpm"),
    (lambda: graybench.filter(PICTURE.astype(float), kind="Median"), TypeError,
     "an image is a 2-D numpy array of uint8, not float64 with 2 dimensions"),
    (lambda: graybench.filter(numpy.zeros((4, 4, 3), numpy.uint8), kind="Median"), TypeError,
     "an image is a 2-D numpy array of uint8, not uint8 with 3 dimensions"),
    (lambda: graybench.filter(PICTURE, kind="Median", roi=(1, 2, 3)), TypeError,
     "roi is the corners (X1, Y1, X2, Y2), not (1, 2, 3)"),
] + [
    (call, graybench.NoPicture, "there is no picture to run on") for call in [
        lambda: graybench.filter(EMPTY, kind="Median"),
        lambda: graybench.morphology(EMPTY, kind="Dilation"),
        lambda: graybench.brightness(EMPTY),
        lambda: graybench.threshold(EMPTY, mode="Dark Objects"),
        lambda: graybench.detect(EMPTY, mode="Dark Objects"),
        lambda: graybench.find_pattern(EMPTY, PICTURE[:8, :8]),
        lambda: graybench.edge(EMPTY, line=(0, 0, 4, 0)),
        lambda: graybench.straight(EMPTY, direction="UP"),
        lambda: graybench.circular(EMPTY, centre=(2, 2), direction="INWARD"),
    ]
]


@pytest.mark.parametrize("call, error, message", REFUSALS)
def test_refusals_raise_with_the_exact_message(call, error, message):
    with pytest.raises(error) as caught:
        call()
    assert str(caught.value) == message


def test_error_classes():
    for error in (graybench.Refused, graybench.NoPicture, graybench.RecipeError):
        assert issubclass(error, ValueError)
    assert issubclass(graybench.PictureError, OSError)


def test_pictures_save_and_load_back(tmp_path):
    rng = numpy.random.default_rng(7)
    image = rng.integers(0, 256, (5, 9), dtype=numpy.uint8)
    for name in ("a.png", "a.bmp", "a.pgm"):
        graybench.save_picture(tmp_path / name, image.T.copy().T)  # Fortran order
        assert numpy.array_equal(graybench.load_picture(tmp_path / name), image), name


def test_other_threads_run_while_a_search_runs(samples):
    """The counter counts only while the search thread is inside the extension. Were
    the GIL held there, it could count only in the switch interval after the call
    returns (a Python call of a second that holds it lets it count some 150,000);
    let go, it counts through the whole search (some 1,700,000)."""
    pattern = graybench.load_picture(samples / "pattern.png")
    template = graybench.create_template(pattern, roi=(44, 44, 96, 96))
    big = numpy.tile(pattern, (5, 5))
    recipe = graybench.commands._recipe("pattern", angle=360,
                                        template=graybench.commands._PLACEHOLDER)
    inside = threading.Event()
    done = threading.Event()

    def search():
        inside.set()
        graybench._graybench.run_step(recipe, big, template)
        inside.clear()
        done.set()

    worker = threading.Thread(target=search)
    count = 0
    worker.start()
    while not done.is_set():
        if inside.is_set():
            count += 1
    worker.join()
    assert count > 600_000
