"""Where the tests find graybench-batch and the sample pictures (ctest sets both)."""

import os
import pathlib

import pytest

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parent.parent


@pytest.fixture(scope="session")
def batch_exe():
    exe = os.environ.get("GRAYBENCH_BATCH", str(SOURCE / "build/release/graybench-batch"))
    if not os.path.exists(exe):
        pytest.skip("graybench-batch is not built (set GRAYBENCH_BATCH)")
    return exe


@pytest.fixture(scope="session")
def samples():
    return pathlib.Path(os.environ.get("GRAYBENCH_SAMPLES", str(SOURCE / "samples")))
