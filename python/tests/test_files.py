"""Files: numpy -> file -> numpy for every pixel kind and file kind that holds it, checked against the
C tool's conversion of the same file; the pixel view; error mapping."""
import datetime
import gc
import warnings

import numpy as np
import pytest

import qmv3
from conftest import gradient_frames

# (pixel kind, effective bits) and the file kinds that hold it, with the kind the library detects.
ROUND_TRIPS = [
    ("gray8", 8, [("imc2", "IMC2"), ("bkc2", "BKC2"), ("imm", "IMM"), ("imc", "IMC"), ("bkc", "BKC"), ("bkg", "BKG")]),
    ("gray16", 12, [("imc2", "IMC2"), ("imm", "IMM"), ("imc", "IMC"), ("bkg", "BKG")]),
    ("rgb", 24, [("imc2", "IMC2"), ("bkc2", "BKC2")]),
]
CASES = [(kind, bits, ext, detected) for kind, bits, files in ROUND_TRIPS for ext, detected in files]


@pytest.mark.parametrize("kind,bits,extension,detected", CASES)
def test_round_trip_matches_tool_conversion(tmp_path, tool, kind, bits, extension, detected):
    count = 1 if extension == "bkg" else 3
    array = gradient_frames(count, 48, 64, kind)
    sequence = qmv3.Sequence.from_numpy(array, effective_bits=bits, x_scale=0.25, y_scale=0.25)
    assert sequence.is_complete and all(image.is_valid for image in sequence)
    path = tmp_path / f"frames.{extension}"
    sequence.save(path)
    assert qmv3.check_file(path) == detected

    loaded = qmv3.load(path)
    np.testing.assert_array_equal(loaded.frames, array)
    assert loaded.frames.dtype == array.dtype
    assert [image.effective_bits for image in loaded] == [bits] * count
    assert loaded[0].x_scale == pytest.approx(1.0 if extension == "bkg" else 0.25)  # BKG holds no scale

    # The tool converts the same file through the C interface; both readings must agree.
    tool("convert", path, tmp_path / "by_tool.imc2")
    np.testing.assert_array_equal(qmv3.load(tmp_path / "by_tool.imc2").frames, array)


def test_imc2_keeps_header_fields(tmp_path):
    stamps = [datetime.datetime(2026, 1, 2, 3, 4, 5, 678901, tzinfo=datetime.timezone.utc),
              datetime.datetime(2026, 1, 2, 3, 4, 6, 1, tzinfo=datetime.timezone.utc)]
    sequence = qmv3.Sequence.from_numpy(gradient_frames(2, 8, 8, "gray8"), frame_numbers=[41, 42], timestamps=stamps,
                                        camera_port_name="Gate", camera_port_id=7)
    sequence.save(tmp_path / "run.imc2")
    loaded = qmv3.load(tmp_path / "run.imc2")
    assert [(i.frame_number, i.timestamp, i.camera_port_name, i.camera_port_id) for i in loaded] == [
        (41, stamps[0], "Gate", 7), (42, stamps[1], "Gate", 7)]
    assert loaded[0].format == "GRAY" and {"LITTLE_ENDIAN", "LOSSLESS"} <= loaded[0].flags
    assert loaded[1].header()["frameNumber"] == 42
    assert len(loaded[1:]) == 1 and loaded[1:][0].frame_number == 42


def test_pixels_are_a_writable_view_that_outlives_the_sequence(tmp_path):
    sequence = qmv3.Sequence.from_numpy(np.zeros((2, 4, 5), np.uint16), effective_bits=12)
    view = sequence[1].pixels
    view[2, 3] = 4095
    assert sequence[1].pixels[2, 3] == 4095 and sequence.frames[1, 2, 3] == 4095  # no copy in between
    sequence.save(tmp_path / "edited.imc2")
    del sequence
    gc.collect()
    view[0, 0] = 1  # the buffer is still alive
    assert qmv3.load(tmp_path / "edited.imc2").frames[1, 2, 3] == 4095


def test_convert_between_kinds(tmp_path):
    array = gradient_frames(4, 16, 16, "gray8")
    qmv3.Sequence.from_numpy(array).save(tmp_path / "a.imc2")
    with pytest.warns(qmv3.MetadataLossWarning):
        qmv3.convert(tmp_path / "a.imc2", tmp_path / "b.imm")
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # an older source has nothing of its own to lose
        qmv3.convert(tmp_path / "b.imm", tmp_path / "c.imc")
    np.testing.assert_array_equal(qmv3.load(tmp_path / "c.imc").frames, array)


# Older kinds that drop metadata, a kind that keeps it, and a name of no kind: Python warns or refuses
# with the tool's words, and reports the load and then the save as rising progress.
@pytest.mark.parametrize("extension,count", [("imm", 3), ("bkc", 2), ("bkg", 1), ("tif", 2), ("xyz", 2)])
def test_convert_warns_refuses_and_reports_progress_as_the_tool_does(tmp_path, tool, extension, count):
    source, target = tmp_path / "source.imc2", tmp_path / f"out.{extension}"
    qmv3.Sequence.from_numpy(gradient_frames(count, 16, 24, "gray8"), frame_numbers=range(7, 7 + count),
                             camera_port_name="Cam").save(source)
    refused = extension == "xyz"
    told = tool("convert", source, target, status=2 if refused else 0, output="stderr")
    target.unlink(missing_ok=True)
    steps = []
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        if refused:
            with pytest.raises(qmv3.FileError) as error:
                qmv3.convert(source, target, progress=steps.append)
            assert told.splitlines()[0] == f"qmv3 convert: {error.value.message}" and steps == []
        else:
            qmv3.convert(source, target, progress=steps.append)
            assert steps == sorted(steps) and 0.5 in steps and steps[-1] == 1.0
    if not refused:
        assert "".join(f"qmv3 convert: warning: {w.message}\n" for w in caught) == told
        assert bool(told) == (extension in ("imm", "bkc", "bkg"))
    assert all(w.category is qmv3.MetadataLossWarning for w in caught)


@pytest.mark.parametrize("content,code,words", [
    (None, -4, "could not be opened"),
    (b"\0\0\0\0\1\0\0\0", -5, "read error"),
    (b"not a sequence file at all", -3, "is no imc2(bkc2) file"),
])
def test_load_errors_carry_the_library_code_and_message(tmp_path, content, code, words):
    path = tmp_path / "bad.imc2"
    if content is not None:
        path.write_bytes(content)
    with pytest.raises(qmv3.FileError) as caught:
        qmv3.load(path)
    assert caught.value.code == code and words in caught.value.message
    assert caught.value.message.startswith(f'File "{path}"')
    with pytest.raises(qmv3.FileError) as refused:
        qmv3.check_file(path)
    assert refused.value.code == -1 and "either no IMC2" in refused.value.message


def test_save_errors(tmp_path):
    rgb = qmv3.Sequence.from_numpy(gradient_frames(1, 8, 8, "rgb"))
    with pytest.raises(qmv3.FileError) as caught:
        rgb.save(tmp_path / "rgb.imm")
    assert caught.value.code == -16 and "Transcoding Error" in caught.value.message
    assert not (tmp_path / "rgb.imm").exists()
    rgb.save(tmp_path / "rgb.imc2")
    with pytest.raises(qmv3.FileError) as exists:
        qmv3.save(rgb, tmp_path / "rgb.imc2", overwrite=False)
    assert exists.value.code == -14
    with pytest.raises(ValueError):
        qmv3.Sequence.from_numpy(np.zeros((2, 4, 4), np.int32))


def test_values_above_the_effective_bits_are_refused_or_warned_of(tmp_path, tool):
    frames = np.full((3, 4, 4), 100, np.uint16)
    frames[1, 2, 1], frames[1, 3, 3] = 5000, 4096
    refusal = r"^image array\[1\] holds the value 5000, above its 12 effective bits \(2 such values in that image\)$"
    with pytest.raises(ValueError, match=refusal):
        qmv3.Sequence.from_numpy(frames, effective_bits=12)
    # Values written into the pixels afterwards reach a file; check and the report name the image.
    sequence = qmv3.Sequence.from_numpy(frames, effective_bits=13)
    sequence[2].pixels[0, 0] = 9000
    sequence.save(tmp_path / "run.imc2")
    checked = tool("check", tmp_path / "run.imc2")  # exit status 0: the file is valid
    assert "image 3 of 3: warning: 1 value above its 13 effective bits, the first 9000\n" in checked
    assert checked.endswith("warning: 1 of 3 images hold values above their effective bits\n")
    tool("report", tmp_path / "run.imc2", "-o", tmp_path / "run.html")
    assert "image 3: 1 value above its 13 effective bits, the first 9000" in (tmp_path / "run.html").read_text()


@pytest.mark.parametrize("extension", ["imc2", "imm"])
@pytest.mark.parametrize("frames,first,count", [
    (None, 0, 6),
    (slice(2, 4), 2, 2),
    (slice(-2, None), 4, 2),
    ("3:5", 2, 3),
    ("5:", 4, 2),
])
def test_load_gives_the_images_asked_for(tmp_path, extension, frames, first, count):
    array = gradient_frames(6, 8, 12, "gray8")
    path = tmp_path / f"run.{extension}"
    qmv3.Sequence.from_numpy(array, frame_numbers=range(11, 17), timestamps=[1690470245.5 + k for k in range(6)]).save(
        path
    )
    loaded = qmv3.load(path, frames=frames)
    np.testing.assert_array_equal(loaded.frames, array[first:first + count])
    headers = qmv3.load(path, frames=frames, headers_only=True)
    assert len(headers) == count
    with pytest.raises(ValueError):
        headers.frames
    if extension == "imc2":
        assert headers.frame_numbers.dtype == np.uint32
        np.testing.assert_array_equal(headers.frame_numbers, np.arange(11, 17, dtype=np.uint32)[first:first + count])
        np.testing.assert_allclose(headers.timestamps, (1690470245.5 + np.arange(6))[first:first + count])


def test_frames_of_a_load_are_a_view_of_its_block(tmp_path):
    path = tmp_path / "run.imc2"
    qmv3.Sequence.from_numpy(gradient_frames(4, 8, 12, "gray16"), effective_bits=12).save(path)
    frames = qmv3.load(path).frames
    assert not frames.flags.owndata and frames.base is not None
    del path
    gc.collect()
    assert int(frames.sum()) > 0  # the block lives as long as the view


@pytest.mark.parametrize("frames", ["0:2", "2:1", "x", slice(0, 4, 2)])
def test_load_refuses_bad_ranges(tmp_path, frames):
    path = tmp_path / "run.imc2"
    qmv3.Sequence.from_numpy(gradient_frames(3, 8, 12, "gray8")).save(path)
    with pytest.raises((ValueError, TypeError, qmv3.FileError)):
        qmv3.load(path, frames=frames)


def test_recover_keeps_the_intact_images_of_a_cut_file(tmp_path):
    array = gradient_frames(3, 48, 64, "gray8")
    qmv3.Sequence.from_numpy(array).save(tmp_path / "run.imc2")
    data = (tmp_path / "run.imc2").read_bytes()
    (tmp_path / "cut.imc2").write_bytes(data[:-10])
    with pytest.raises(qmv3.FileError):
        qmv3.load(tmp_path / "cut.imc2")
    result = qmv3.recover(tmp_path / "cut.imc2", tmp_path / "saved.imc2")
    assert (result["kept"], result["dropped"]) == (2, 1)
    assert [image for image, _ in result["reasons"]] == [3] and "ends inside" in result["reasons"][0][1]
    np.testing.assert_array_equal(qmv3.load(tmp_path / "saved.imc2").frames, array[:2])

    (tmp_path / "stub.imc2").write_bytes(data[:100])  # nothing left to keep: no file is written
    with pytest.raises(qmv3.FileError):
        qmv3.recover(tmp_path / "stub.imc2", tmp_path / "none.imc2")
    assert not (tmp_path / "none.imc2").exists()


def same_outputs(folder):
    """The names (after "py"/"tool") of the files written as py* and tool*, after checking they agree:
    the same bytes, but for HDF5 the same frames and facts (HDF5 stamps its objects with the time)."""
    written = sorted(path.name[2:] for path in folder.glob("py*"))
    assert written and written == sorted(path.name[4:] for path in folder.glob("tool*"))
    for name in written:
        ours, theirs = folder / f"py{name}", folder / f"tool{name}"
        if name.endswith((".h5", ".hdf5")):
            ours, theirs = qmv3.load(ours), qmv3.load(theirs)
            np.testing.assert_array_equal(ours.frames, theirs.frames)
            assert [i.header() for i in ours] == [i.header() for i in theirs]
        else:
            assert ours.read_bytes() == theirs.read_bytes(), name
    return written


# Every kind a save writes by its name, with the kind check_file then names; the tool's conversion of the
# same file must give the same bytes.
SAVED_KINDS = [
    ("imc2", None, "IMC2"), ("imc2", "fast", "IMC2"), ("imc2", "none", "IMC2"), ("bkc2", "default", "BKC2"),
    ("imm", None, "IMM"), ("imc", None, "IMC"), ("bkc", None, "BKC"), ("bkg", None, "BKG"),
    ("tif", None, "TIFF"), ("tiff", None, "TIFF"), ("png", None, "PNG"), ("h5", None, "HDF5"), ("hdf5", None, "HDF5"),
]


@pytest.mark.parametrize("extension,compress,detected", SAVED_KINDS)
def test_save_writes_what_the_tool_writes(tmp_path, tool, extension, compress, detected):
    array = gradient_frames(1 if extension == "bkg" else 3, 16, 24, "gray16")
    source = tmp_path / "source.imc2"
    qmv3.Sequence.from_numpy(array, effective_bits=12).save(source)
    tool("convert", *(["--compress", compress] if compress else []), source, tmp_path / f"tool.{extension}")
    qmv3.load(source).save(tmp_path / f"py.{extension}", compress=compress)
    written = same_outputs(tmp_path)
    first = tmp_path / f"py{written[0]}"
    assert qmv3.check_file(first) == detected
    np.testing.assert_array_equal(qmv3.load(first).frames, array[:1] if extension == "png" else array)


@pytest.mark.parametrize("extension", ["imc2", "imm", "tif", "h5"])
def test_overwrite_replaces_keeping_permissions_or_refuses(tmp_path, extension):
    path = tmp_path / f"run.{extension}"
    old, new = gradient_frames(2, 8, 8, "gray8"), gradient_frames(3, 8, 8, "gray8")
    qmv3.Sequence.from_numpy(old).save(path, overwrite=False)
    path.chmod(0o640)
    before = path.read_bytes()
    with pytest.raises(qmv3.FileError) as refused:
        qmv3.save(qmv3.Sequence.from_numpy(new), path, overwrite=False)
    assert refused.value.code == -14 and path.read_bytes() == before
    qmv3.save(qmv3.Sequence.from_numpy(new), path)
    np.testing.assert_array_equal(qmv3.load(path).frames, new)
    assert path.stat().st_mode & 0o777 == 0o640
    assert sorted(p.name for p in tmp_path.iterdir()) == [path.name]


@pytest.mark.parametrize("name,compress", [("x.tif", "fast"), ("x.h5", "none"), ("x.imc2", "zip"), ("x.imc2", 1)])
def test_compress_is_refused_where_it_does_not_apply(tmp_path, name, compress):
    with pytest.raises(ValueError):
        qmv3.Sequence.from_numpy(gradient_frames(1, 4, 4, "gray8")).save(tmp_path / name, compress=compress)
    with pytest.raises(ValueError):
        qmv3.convert(tmp_path / "never-read.imc2", tmp_path / name, compress=compress)
    assert not (tmp_path / name).exists()


@pytest.mark.parametrize("name,content,closest,words", [
    ("bad.imc2", b"not a sequence file at all", "IMC2", "magic1 not zero"),
    ("bad.bkc2", b"not a sequence file at all", "BKC2", "magic1 not zero"),
    ("short.imm", b"\x10\0\x10\0\x08\0\0\0abc", "IMM", "not a whole number"),
    ("bad.h5", b"\x89HDF\r\n\x1a\n" + b"x" * 40, "HDF5", "not a readable HDF5 file"),
    ("missing.imc2", None, None, "No such file"),
])
def test_check_file_gives_the_closest_kind_and_its_reason(tmp_path, name, content, closest, words):
    if content is not None:
        (tmp_path / name).write_bytes(content)
    with pytest.raises(qmv3.FileError) as refused:
        qmv3.check_file(tmp_path / name)
    assert (refused.value.code, refused.value.closest) == (-1, closest)
    assert words in refused.value.reason and refused.value.reason in refused.value.message
    # The load's message gives the same reason (for an older kind, instead of the IMC2/BKC2 reader's).
    if content is not None:
        with pytest.raises(qmv3.FileError) as failed:
            qmv3.load(tmp_path / name)
        assert words in str(failed.value) and ("is no IMM file: " in str(failed.value)) == (closest == "IMM")


@pytest.mark.parametrize("extension,compress,frames,tool_frames", [
    ("tif", False, "2:3", "2:3"),
    ("tiff", True, None, None),
    ("png", False, slice(1, 3), "2:3"),
    ("png", True, "4", "4"),
    ("h5", True, slice(-2, None), "3:4"),
])
def test_export_writes_what_the_tool_exports(tmp_path, tool, extension, compress, frames, tool_frames):
    source = tmp_path / "source.imc2"
    qmv3.Sequence.from_numpy(gradient_frames(4, 12, 16, "gray8")).save(source)
    tool("export", source, tmp_path / f"tool.{extension}", *(["--compress"] if compress else []),
         *(["--frames", tool_frames] if tool_frames else []))
    qmv3.load(source).export(tmp_path / f"py.{extension}", compress=compress, frames=frames)
    same_outputs(tmp_path)
    with pytest.raises(ValueError):
        qmv3.load(source).export(tmp_path / "py.imc2")
