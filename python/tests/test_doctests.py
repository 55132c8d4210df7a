"""The examples of the docstrings and of docs/python.md, run as written from the
source folder."""

import doctest
import re

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


def test_the_pages_examples(samples, monkeypatch):
    monkeypatch.chdir(samples.parent)
    page = (samples.parent / "docs" / "python.md").read_text()
    # The page's Python blocks in order, as one session.
    blocks = re.findall(r"```python\n(.*?)```", page, re.DOTALL)
    test = doctest.DocTestParser().get_doctest("\n".join(blocks), {}, "python.md",
                                               "docs/python.md", 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    runner.run(test)
    assert runner.failures == 0 and runner.tries > 20
