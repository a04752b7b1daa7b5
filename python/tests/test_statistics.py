"""qmv3.statistics, qmv3.profiles and Sequence.statistics: the tool's CSV and Python agree on the same
file, every form of the arguments reaches the library, and bad arguments are refused."""
import csv
import io
import math

import numpy as np
import pytest

import qmv3

from conftest import gradient_frames


def _spot_frames(count, kind):
    """Gradient frames with a bright square that moves, so that every spot figure has a value."""
    frames = gradient_frames(count, 40, 56, kind)
    for k in range(count):
        frames[k, 10 + k:16 + k, 20 + 2 * k:27 + 2 * k] = 200
    return frames


@pytest.mark.parametrize("kind", ["gray8", "gray16", "rgb"])
def test_tool_csv_matches_python_on_the_same_file(tool, tmp_path, kind):
    path = tmp_path / "run.imc2"
    qmv3.Sequence.from_numpy(_spot_frames(4, kind), x_scale=0.05, y_scale=0.04).save(path)
    rows = list(csv.DictReader(io.StringIO(tool("stats", path, "--csv", "--roi", "3,2,45,33", "--border", "3",
                                                "--threshold", "1.5"))))
    figures = qmv3.load(path).statistics(roi=(3, 2, 45, 33), border=3, threshold=1.5)
    assert len(rows) == 4
    assert list(rows[0])[-4:] == ["centroid_x_mm", "centroid_y_mm", "sigma_x_mm", "sigma_y_mm"]
    for position, row in enumerate(rows):
        assert int(row["position"]) == position + 1
        for name in list(row)[3:]:
            expected, actual = figures[name][position], float(row[name])
            assert actual == expected or (math.isnan(actual) and math.isnan(expected)), (name, position)


def test_every_form_of_image_and_background_gives_the_library_figures():
    frames = _spot_frames(2, "rgb")
    sequence = qmv3.Sequence.from_numpy(frames)
    image, other = sequence[0], sequence[1]
    green = np.ascontiguousarray(frames[0, ..., 1])
    cases = [
        (qmv3.statistics(image), qmv3.statistics(frames[0])),
        (qmv3.statistics(image, channel="green"), qmv3.statistics(green)),
        (qmv3.statistics(image, channel=1, background=other), qmv3.statistics(frames[0], channel=1,
                                                                                background=frames[1])),
        (qmv3.statistics(image, background=7.5, threshold=2), qmv3.statistics(frames[0][::1], background=7.5,
                                                                               threshold=2)),
        (qmv3.statistics(np.asfortranarray(green)), qmv3.statistics(green)),
    ]
    for made, expected in cases:
        for name, value in expected.items():
            assert made[name] == value or (math.isnan(value) and math.isnan(made[name])), name
    columns, rows = qmv3.profiles(green, border=2)
    net = qmv3.statistics(green, border=2)["net"]
    assert columns.shape == (56,) and rows.shape == (40,)
    assert columns.sum() == pytest.approx(net) and rows.sum() == pytest.approx(net)
    whole = sequence.statistics(border=2)
    assert whole["net"].shape == (2,) and whole["min_x"].dtype == np.int32
    assert whole["mean"][1] == qmv3.statistics(other, border=2)["mean"]


def test_bad_arguments_are_refused_with_the_reason():
    frame = np.zeros((8, 8), np.uint8)
    cases = [
        (dict(roi=(4, 4, 5, 4)), ValueError, "outside the frame"),
        (dict(border=2, background=1.0), ValueError, "exclude each other"),
        (dict(background=np.zeros((8, 9), np.uint8)), ValueError, "differs in size"),
        (dict(channel="alpha"), ValueError, "channel"),
    ]
    for arguments, error, text in cases:
        with pytest.raises(error, match=text):
            qmv3.statistics(frame, **arguments)
    with pytest.raises(TypeError, match="uint8 or uint16"):
        qmv3.statistics(frame.astype(np.float32))
