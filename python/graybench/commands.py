"""Every command over numpy arrays.

An image is a 2-D numpy array of uint8 of shape (height, width), in C or
Fortran order or any view; image[y, x] is the pixel in row y, column x. Each
command returns (after, result): after a new C-ordered (height, width) array,
result the dataclass of graybench.results with every number it measured.

The commands work on column-first images, so each call makes one transposing
copy of the picture on the way in and one on the way out; numpy makes none.

Settings are the recipe's (docs/recipes.md), under Python names: roi and line
are corners (X1, Y1, X2, Y2), centre is (x, y), look_for is "lookFor" and so on.
A command is a one-step recipe read by the recipe reader, so a bad setting
raises graybench.RecipeError in a recipe file's words, naming the recipe's key:

>>> import numpy, graybench
>>> graybench.filter(numpy.zeros((4, 6), numpy.uint8), kind="Median", mask=4)
Traceback (most recent call last):
    ...
graybench.RecipeError: step 1 (filter): "mask" must be 3, 5 or 7, not 4
"""

from __future__ import annotations

import base64
import json
import numbers

import numpy

from . import _graybench
from ._graybench import Recipe
from .results import from_module


def _plain(value):
    """numpy scalars as the JSON numbers they stand for; anything else as it is."""
    if isinstance(value, (bool, numpy.bool_)):
        return bool(value)
    if isinstance(value, numbers.Integral):
        return int(value)
    if isinstance(value, numpy.floating):
        return float(value)
    if isinstance(value, (list, tuple)):
        return [_plain(v) for v in value]
    return value


def _corners(value, image, name="roi"):
    """Corners as a recipe names them; None: the whole picture."""
    if value is None:
        height, width = numpy.shape(image)[:2] if numpy.ndim(image) >= 2 else (0, 0)
        return {"X1": 0, "Y1": 0, "X2": int(width), "Y2": int(height)}
    try:
        x1, y1, x2, y2 = value
    except (TypeError, ValueError):
        raise TypeError(f"{name} is the corners (X1, Y1, X2, Y2), not {value!r}") from None
    return {"X1": _plain(x1), "Y1": _plain(y1), "X2": _plain(x2), "Y2": _plain(y2)}


def _recipe(command, **settings):
    step = {"command": command, **{k: _plain(v) for k, v in settings.items() if v is not None}}
    return Recipe.parse(json.dumps({"format": "graybench-recipe", "version": 1, "steps": [step]}))


def _run(image, recipe, template=None):
    after, result = _graybench.run_step(recipe, image, template)
    return after, from_module(result)


def _element(element):
    if element is None:
        return ["#######"] * 7
    if isinstance(element, numpy.ndarray) and element.shape == (7, 7):
        return ["".join("#" if cell else "." for cell in row) for row in element]
    return list(element) if isinstance(element, (list, tuple)) else element


def filter(image, *, kind, mask=3, roi=None):
    """Neighbourhood filter of the region (None: the whole picture).

    kind: "Lowpass", "Local Average", "Median", "Gaussian", "Laplacian",
    "Prewitt", "Sobel" or "Roberts"; mask: 3, 5 or 7.

    >>> parts = graybench.load_picture("samples/parts.png")
    >>> after, result = graybench.filter(parts, kind="Sobel", roi=(10, 20, 300, 200))
    >>> result.region, after.shape, bool((after[:20] == parts[:20]).all())
    ((10, 20, 300, 200), (480, 512), True)
    """
    return _run(image, _recipe("filter", kind=kind, mask=mask, roi=_corners(roi, image)))


def morphology(image, *, kind, mask=3, element=None, rounds=1):
    """Morphology over the whole picture.

    kind: "Dilation", "Erosion", "Opening", "Closing", "Proper Opening",
    "Proper Closing" or "Proper Automedian"; mask: 3, 5 or 7; element: 7 texts
    of 7 characters ('#' in, '.' out) or a 7 x 7 array (non-zero in), None
    for all in; rounds: dilation and erosion repeat, 1 to 1000000000.

    >>> after, result = graybench.morphology(parts, kind="Erosion", rounds=2)
    >>> result.rounds
    2
    """
    return _run(image, _recipe("morphology", kind=kind, mask=mask, element=_element(element),
                               rounds=rounds))


def brightness(image, *, brightness=128, contrast=45, gamma=1.0):
    """Maps every pixel through the brightness, contrast and gamma table.

    >>> after, result = graybench.brightness(parts, brightness=160)
    >>> result.table[:3], len(result.table)
    ([33, 34, 35], 256)
    """
    return _run(image, _recipe("brightness", brightness=brightness, contrast=contrast,
                               gamma=gamma))


def threshold(image, *, mode, lower=128, upper=255, automatic=False, auto_threshold=None):
    """Thresholds the whole picture.

    mode: "Dark Objects", "Bright Objects" or "Gray Objects"; lower, upper:
    0 to 255; automatic: the AUTO box; auto_threshold: the threshold AUTO
    uses (None: computed over the picture).

    >>> after, result = graybench.threshold(parts, mode="Dark Objects", lower=100)
    >>> result.threshold, sorted(numpy.unique(after).tolist())
    (100, [0, 255])
    """
    return _run(image, _recipe("threshold", mode=mode, lower=lower, upper=upper,
                               automatic=automatic, autoThreshold=auto_threshold))


def detect(image, *, mode, lower=128, upper=255, automatic=False, auto_threshold=None, roi=None):
    """Finds the objects of the region (None: the whole picture) touching none of its sides.

    Settings as threshold(), and the region.

    >>> after, result = graybench.detect(parts, mode="Dark Objects", lower=100,
    ...                                  roi=(10, 290, 500, 370))
    >>> result.object_count, result.objects[0]
    (8, DetectedObject(min_x=32, min_y=313, max_x=67, max_y=347, area=900))
    """
    return _run(image, _recipe("detect", mode=mode, lower=lower, upper=upper,
                               automatic=automatic, autoThreshold=auto_threshold,
                               roi=_corners(roi, image)))


def create_template(image, *, roi):
    """The pixels [X1, X2) x [Y1, Y2) of the picture, the corners ordered and cut to it.

    >>> pattern = graybench.load_picture("samples/pattern.png")
    >>> graybench.create_template(pattern, roi=(44, 44, 96, 96)).shape
    (52, 52)
    """
    c = _corners(roi, image)
    return _graybench.create_template(image, c["X1"], c["Y1"], c["X2"], c["Y2"])


def find_pattern(image, template, *, angle=0):
    """Searches the whole picture for the template (a 2-D uint8 array).

    angle: the largest angle tried, 0 to 360. Every candidate is a row,
    whatever its score; After outlines those scoring above 0.9.

    >>> template = graybench.create_template(pattern, roi=(44, 44, 96, 96))
    >>> after, result = graybench.find_pattern(pattern, template, angle=45)
    >>> [(m.x1, m.y1, m.angle) for m in result.rows if m.score > 0.9]
    [(44.0, 44.0, 0.0), (65.0, 235.0, 30.0), (224.0, 54.0, 0.0), (244.0, 245.0, 0.0), (395.0, 64.0, 17.0), (404.0, 254.0, 0.0)]
    """
    return _run(image, _recipe("pattern", angle=angle, template=_PLACEHOLDER), template)


# The reader wants a template; the one handed in replaces it before the run,
# so that the command itself judges its size.
_PLACEHOLDER = {"width": 8, "height": 8, "gray": base64.b64encode(bytes(64)).decode()}


def edge(image, *, line, look_for="All Edges", polarity="All Edges", strength=0):
    """Marks the edges along the line from (X1, Y1) to (X2, Y2).

    look_for: "All Edges", "Fist Edge Only" or "Fist & Last Edge Only" (the
    window's spelling); polarity: "All Edges", "Dark to Bright Only" or
    "Bright to Dark Only"; strength: 0 to 255.

    >>> after, result = graybench.edge(parts, line=(0, 330, 511, 330), strength=50)
    >>> result.count, result.marks[0]
    (32, EdgeMark(x=32, y=330, polarity=1, strength=83, index=32))
    """
    return _run(image, _recipe("edge", lookFor=look_for, polarity=polarity, strength=strength,
                               line=_corners(line, image, "line")))


def straight(image, *, direction, gap=1, strength=0, angle=0, roi=None):
    """Fits a straight edge in the region (None: the whole picture).

    direction: "UP", "LEFT", "DOWN" or "RIGHT"; gap: 1 to 100; strength: 0
    to 255; angle: 0 to 360.

    >>> gauge = graybench.load_picture("samples/gauge.png")
    >>> after, result = graybench.straight(gauge, direction="DOWN", gap=5, strength=40,
    ...                                    roi=(20, 20, 200, 200))
    >>> result.fitted
    True
    """
    return _run(image, _recipe("straight", direction=direction, gap=gap, strength=strength,
                               angle=angle, roi=_corners(roi, image)))


def circular(image, *, centre, direction, gap=10, strength=50, start_angle=0, end_angle=360,
             inside_radius=0, outside_radius=100):
    """Finds a circular edge about the centre (x, y).

    direction: "INWARD" or "OUTWARD"; gap: degrees between spokes, 1 to 100;
    strength: 0 to 255; angles 0 to 360; inside_radius 0 to 100;
    outside_radius 0 to 250.

    >>> after, result = graybench.circular(gauge, centre=(256, 240), direction="OUTWARD")
    >>> result.verdict
    'OK'
    """
    try:
        x, y = centre
    except (TypeError, ValueError):
        raise TypeError(f"centre is (x, y), not {centre!r}") from None
    return _run(image, _recipe("circular", direction=direction, gap=gap, strength=strength,
                               startAngle=start_angle, endAngle=end_angle,
                               insideRadius=inside_radius, outsideRadius=outside_radius,
                               centre={"x": _plain(x), "y": _plain(y)}))
