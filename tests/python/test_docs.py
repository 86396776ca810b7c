import os
import re
from pathlib import Path

from conftest import generate_field


def test_every_example_of_the_guide_runs(tmp_path, monkeypatch):
    guide = Path(os.environ["MORVIK_SOURCE_DIR"]) / "docs" / "python.md"
    blocks = re.findall(r"```python\n(.*?)```", guide.read_text(), flags=re.S)
    assert len(blocks) >= 5
    generate_field(tmp_path / "sample")
    monkeypatch.chdir(tmp_path)
    scope = {"__name__": "__main__"}
    for block in blocks:
        exec(compile(block, str(guide), "exec"), scope)
    assert (tmp_path / "stats.csv").stat().st_size > 0
    assert (tmp_path / "light_curve.png").read_bytes()[:4] == b"\x89PNG"
    assert abs(scope["morvik"].best_period(scope["freq"], scope["theta"])[0] - 1.37) < 0.01
