"""What each command measured, as plain dataclasses.

Every number the command's C++ result carries is here; floats are the
single-precision values the tools computed, widened exactly. Regions are
(X1, Y1, X2, Y2) with the corners ordered and cut to the image.

Each result also has measures: a dict of what the command measured beyond
its tool's numbers (sub-pixel edges, line and circle fits, centroids, region
statistics), under the names and with the values of the measured fields of
graybench-batch's JSON rows; empty for a command that measures nothing.
"""

from __future__ import annotations

import dataclasses
import json


@dataclasses.dataclass(frozen=True)
class _Measured:
    # Keyword-only and last, so the results still build from their numbers in order.
    measures: dict = dataclasses.field(default_factory=dict, kw_only=True, repr=False)


@dataclasses.dataclass(frozen=True)
class FilterResult(_Measured):
    region: tuple  # the region filtered


@dataclasses.dataclass(frozen=True)
class MorphologyResult(_Measured):
    rounds: int  # the rounds run: 1 for the operators that run once


@dataclasses.dataclass(frozen=True)
class BrightnessResult(_Measured):
    table: list  # the 256 gray values every pixel went through


@dataclasses.dataclass(frozen=True)
class ThresholdResult(_Measured):
    threshold: int  # the threshold used (lower in the gray band)
    upper: int  # the band's upper threshold; equal to threshold otherwise


@dataclasses.dataclass(frozen=True)
class DetectedObject:
    min_x: int
    min_y: int
    max_x: int
    max_y: int
    area: int


@dataclasses.dataclass(frozen=True)
class DetectResult(_Measured):
    region: tuple  # the region scanned
    threshold: int
    upper: int
    objects: list  # DetectedObject, in scan order of their first pixel
    labels: int  # provisional labels the scan opened, touching objects included

    @property
    def object_count(self) -> int:
        return len(self.objects)


@dataclasses.dataclass(frozen=True)
class Match:
    x1: float
    y1: float
    x2: float
    y2: float
    angle: float
    score: float


@dataclasses.dataclass(frozen=True)
class PatternResult(_Measured):
    rows: list  # Match: every candidate, in block order, whatever its score


@dataclasses.dataclass(frozen=True)
class EdgeMark:
    x: int
    y: int
    polarity: int  # +1 bright to dark, -1 dark to bright
    strength: int
    index: int  # in the line's profile


@dataclasses.dataclass(frozen=True)
class EdgeResult(_Measured):
    count: int  # the edges marked when all are looked for, else 0
    marks: list  # EdgeMark, in drawing order


@dataclasses.dataclass(frozen=True)
class StepRun:
    a: int  # step from one hit to the next in x
    b: int  # and in y
    first_x: int
    first_y: int
    last_x: int
    last_y: int
    count: int  # steps in the run


@dataclasses.dataclass(frozen=True)
class StraightResult(_Measured):
    scan_lines: int
    hits: int
    fitted: bool
    a: float  # y = a*x + b; a = 10000: vertical at x = b
    b: float
    run: StepRun


@dataclasses.dataclass(frozen=True)
class CircularResult(_Measured):
    votes: int
    ok: bool
    centre_x: int
    centre_y: int
    radius: int
    spokes: int
    hits: int
    circles: int  # the distinct circles that received votes

    @property
    def verdict(self) -> str:
        return "OK" if self.ok else "NG"


def _rows_of(kind, items):
    return [kind(*item) for item in items]


_MAKERS = {
    "filter": lambda d: FilterResult(**d),
    "morphology": lambda d: MorphologyResult(**d),
    "brightness": lambda d: BrightnessResult(**d),
    "threshold": lambda d: ThresholdResult(**d),
    "detect": lambda d: DetectResult(**{**d, "objects": _rows_of(DetectedObject, d["objects"])}),
    "pattern": lambda d: PatternResult(rows=_rows_of(Match, d["rows"])),
    "edge": lambda d: EdgeResult(count=d["count"], marks=_rows_of(EdgeMark, d["marks"])),
    "straight": lambda d: StraightResult(**{**d, "run": StepRun(*d["run"])}),
    "circular": lambda d: CircularResult(**d),
}


def from_module(command_numbers_measures):
    """The dataclass for the extension module's (command name, numbers, measures JSON)."""
    command, numbers, measures = command_numbers_measures
    return dataclasses.replace(_MAKERS[command](numbers), measures=json.loads(measures))
