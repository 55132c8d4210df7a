"""The docstrings' examples, run as written from the source folder."""

import doctest
import os

import numpy
import pytest

import graybench
import graybench.commands


@pytest.mark.parametrize("module", [graybench, graybench.commands, graybench.results],
                         ids=lambda m: m.__name__)
def test_examples(module, samples, monkeypatch):
    monkeypatch.chdir(samples.parent)
    globs = {"graybench": graybench, "numpy": numpy,
             "parts": graybench.load_picture("samples/parts.png"),
             "pattern": graybench.load_picture("samples/pattern.png"),
             "gauge": graybench.load_picture("samples/gauge.png")}
    failures, tried = doctest.testmod(module, extraglobs=globs, report=True,
                                      optionflags=doctest.ELLIPSIS)
    assert failures == 0
    assert tried > 0 or module is graybench.results
