import os
import subprocess

import pytest


def generate_field(folder, stars=60, frames=80):
    """A generated field in folder; returns (frame path, comparison id, its magnitude)."""
    folder.mkdir(parents=True, exist_ok=True)
    subprocess.run([os.environ["MORVIK_FIELDGEN"], "--out", "field", "--stars", str(stars), "--frames", str(frames),
                    "--nights", "3", "--seed", "5"], cwd=folder, check=True, capture_output=True)
    words = (folder / "field_variables.txt").read_text().split()
    return folder / "field.fit", int(words[-2]), words[-1]


@pytest.fixture(scope="session")
def field_files(tmp_path_factory):
    return generate_field(tmp_path_factory.mktemp("field"))
