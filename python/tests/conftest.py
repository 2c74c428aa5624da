import os

import pytest

import zelusb


@pytest.fixture(scope="session", autouse=True)
def installed_package():
    """The package under test is the one installed into the virtual environment."""
    venv = os.environ.get("ZELUSB_VENV")
    if venv:
        assert os.path.realpath(zelusb.__file__).startswith(os.path.realpath(venv))


@pytest.fixture
def bench():
    with zelusb.Bench() as bench:
        yield bench
