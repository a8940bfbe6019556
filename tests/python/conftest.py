"""Shared fixtures of the Python tests: the repository's models, the command-line program built
beside the module, and a watchdog so that no test run can hang."""
import faulthandler
import os
import pathlib

import pytest

import velmora

REPO = pathlib.Path(__file__).resolve().parents[2]
MODELS = REPO / "models"

# A stuck cluster or simulation ends the whole run with tracebacks instead of hanging it.
faulthandler.dump_traceback_later(float(os.environ.get("VELMORA_PYTEST_WATCHDOG", "1500")), exit=True)


@pytest.fixture(scope="session")
def cli():
    """velmora-cli from the same build: VELMORA_CLI, else build/bin beside build/python/velmora."""
    path = os.environ.get("VELMORA_CLI") or str(
        pathlib.Path(velmora.__file__).resolve().parents[2] / "bin" / "velmora-cli")
    if not os.access(path, os.X_OK):
        pytest.fail(f"velmora-cli not found at {path}; set VELMORA_CLI")
    return path


@pytest.fixture
def tube():
    return velmora.Model.load(str(MODELS / "Tube"))
