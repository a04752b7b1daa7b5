"""qmv3: camera frames as numpy arrays.

Grab frames from the video servers of the control system, load and save image sequence files (IMC2/BKC2,
the older IMM, BKG, IMC and BKC, and TIFF, PNG and HDF5), convert between them, and list servers and
image sources of a system list, all through the library libqmv3::

    >>> import qmv3
    >>> frames = qmv3.grab(5)                # five frames of the default (simulated) camera
    >>> frames.frames.shape                  # one numpy array (N, H, W)
    (5, 480, 640)
    >>> frames.save("run.imc2")
    >>> qmv3.load("run.imc2")[0].pixels.mean()

Long calls (grab, load, save) release the GIL while the library works, call ``progress`` on the
calling thread with a fraction from 0 to 1, and stop cleanly on Ctrl-C with KeyboardInterrupt.
Failures raise :class:`Error` or its subclasses :class:`FileError` and :class:`GrabError`.
"""

import datetime as _datetime
import numbers as _numbers
import os as _os
import re as _re
import time as _time
import warnings as _warnings

import numpy as _np

try:
    from . import _qmv3
except ImportError:
    import importlib.util as _util

    if _util.find_spec(__name__ + "._qmv3") is not None:
        raise
    # A package copied or installed without its extension would otherwise fail later and obscurely.
    raise ImportError(
        f"the Python package qmv3 in {_os.path.dirname(__file__)} is incomplete: its extension qmv3._qmv3 "
        "was not built. Build it in the qmv3 source folder with `make build` (or `cmake --build build "
        "--target qmv3_python`), then use build/python or run `cmake --install build --prefix PREFIX` again"
    ) from None
from . import _statistics
from ._errors import Error, FileError, GrabError, GrabInterrupted, MetadataLossWarning
from ._statistics import profiles, statistics

__all__ = [
    "Error",
    "FileError",
    "GrabError",
    "GrabInterrupted",
    "Image",
    "MetadataLossWarning",
    "Sequence",
    "Stream",
    "StreamImage",
    "SystemList",
    "check_file",
    "convert",
    "device_properties",
    "grab",
    "grab_one",
    "library_info",
    "load",
    "profiles",
    "record",
    "recover",
    "save",
    "set_verbose",
    "statistics",
    "stream",
]

for _error in (Error, FileError, GrabError, GrabInterrupted, MetadataLossWarning):
    _error.__module__ = __name__

_info = _qmv3.library_info()
__version__ = f"{_info[1]}.{_info[2]}.{_info[3]}"

_FORMAT_GRAY = _qmv3.FORMAT_GRAY
_FORMAT_RGB = _qmv3.FORMAT_RGB
_UTC = _datetime.timezone.utc
_EPOCH = _datetime.datetime(1970, 1, 1, tzinfo=_UTC)
# The library's words for clear flag bits; .flags names only the bits that are set.
_CLEAR_FLAG_WORDS = frozenset({"BIG_ENDIAN", "LOSSLESS_BIT_NOT_SET", "XYSTART_ZERO_BASED", "LOCAL_TIMESTAMP"})
_MAX_FRAME_BYTES = _qmv3.MAX_TRANSPORT_SIZE
_UINT32_MAX = 0xFFFFFFFF


def _path(path):
    """The file system form (bytes) of a str, bytes or os.PathLike path."""
    return _os.fsencode(path)


def _save_flags(path, overwrite, compress):
    """The library's save flags for overwrite and compress; ValueError for a compression it cannot apply."""
    flags = _qmv3.SAVE_FLAG_REPLACE if overwrite else 0
    if compress is None:
        return flags
    compression = _qmv3.compression_of_name(compress) if isinstance(compress, str) else None
    if compression is None:
        raise ValueError(f"compress must be 'fast', 'default' or 'none', not {compress!r}")
    if not _qmv3.kind_takes_compression(_qmv3.kind_of_name(_path(path))):
        raise ValueError(f"compress chooses the compression of IMC2/BKC2 files only, not of {_os.fsdecode(path)!r}")
    return flags | compression[0]


def _check_progress(progress):
    """progress itself, after checking that it is None or callable."""
    if progress is not None and not callable(progress):
        raise TypeError("progress must be None or a callable taking one float")
    return progress


class Image:
    """One image of a :class:`Sequence`: its header fields and its pixels.

    An Image keeps the frames of its sequence alive. ``width`` and ``height`` are those of the pixel
    rectangle the frame holds (the area of interest when one is set); :meth:`header` gives every field
    of the record as it stands.
    """

    __slots__ = ("_bunch", "_index")

    def __init__(self, _bunch, _index):
        """Made by :class:`Sequence`; not meant to be called directly."""
        self._bunch = _bunch
        self._index = _index

    def header(self):
        """Every field of the image record (source and frame header, frameBufferSize) as a dict."""
        return _qmv3.header(self._bunch, self._index)

    def _field(self, name):
        """One header field by its record name."""
        return _qmv3.header(self._bunch, self._index)[name]

    @property
    def pixels(self):
        """A writable numpy view of the frame buffer, without a copy.

        Shape (H, W) for GRAY (uint8 for 1 byte per pixel, uint16 in host byte order for 2) or
        (H, W, 3) uint8 for RGB. Changes are what a later save writes; the buffer lives as long as any
        view of it. ValueError for compressed (JPEG) frames and other pixel formats.
        """
        return _qmv3.pixels(self._bunch, self._index)

    @property
    def frame_number(self):
        """The running number of the frame at its source."""
        return self._field("frameNumber")

    @property
    def event_number(self):
        """The event number of the frame."""
        return self._field("eventNumber")

    @property
    def timestamp(self):
        """The time of the frame: an aware datetime in UTC, with microseconds."""
        header = self.header()
        return _EPOCH + _datetime.timedelta(
            seconds=header["timestampSeconds"], microseconds=header["timestampMicroseconds"]
        )

    @property
    def width(self):
        """Width in pixels of the frame's pixel rectangle (the area of interest when set)."""
        return _qmv3.appended_size(self._bunch, self._index)[0]

    @property
    def height(self):
        """Height in pixels of the frame's pixel rectangle (the area of interest when set)."""
        return _qmv3.appended_size(self._bunch, self._index)[1]

    @property
    def bytes_per_pixel(self):
        """Bytes per pixel of the uncompressed frame (1 to 4)."""
        return self._field("bytesPerPixel")

    @property
    def effective_bits(self):
        """Significant bits per pixel (8 times bytes_per_pixel when the record leaves it unset)."""
        return _qmv3.effective_bits(self._bunch, self._index)

    @property
    def format(self):
        """The library's text of the frame's current pixel format, such as "GRAY", "RGB" or "JPEG"."""
        return _qmv3.format_text(self._field("imageFormat"))

    @property
    def camera_port_name(self):
        """Name of the camera port (video source)."""
        return self._field("cameraPortName")

    @property
    def camera_port_id(self):
        """Number of the camera port on its server; 0 means none."""
        return self._field("cameraPortId")

    @property
    def x_scale(self):
        """Horizontal scale in millimetres per pixel; 0 or less means not set."""
        return self._field("xScale")

    @property
    def y_scale(self):
        """Vertical scale in millimetres per pixel; 0 or less means not set."""
        return self._field("yScale")

    @property
    def flags(self):
        """The names of the flag bits that are set, as the library writes them (e.g. "LOSSLESS")."""
        words = _qmv3.flags_text(self._field("imageFlags")).split()
        return frozenset(word for word in words if word not in _CLEAR_FLAG_WORDS)

    @property
    def is_valid(self):
        """Whether the record passes the library's validity rules."""
        return _qmv3.validity(self._bunch, self._index) == ""

    @property
    def validity_message(self):
        """The library's sentence on the first rule the record breaks; "" for a valid image."""
        return _qmv3.validity(self._bunch, self._index)

    def __repr__(self):
        """Frame number, geometry and format."""
        header = self.header()
        return (
            f"<qmv3.Image frame {header['frameNumber']}, {self.width} x {self.height} {self.format}, "
            f"{header['bytesPerPixel']} byte(s) per pixel>"
        )


class Sequence:
    """An image sequence: images the library grabbed, loaded or made from a numpy array.

    ``len()``, indexing and iteration give :class:`Image` objects; slicing gives a Sequence that shares
    the images (like a numpy view). The memory is released when the last Sequence, Image or pixel view
    that refers to it is gone.
    """

    __slots__ = ("_bunch", "_indices")

    def __init__(self, _bunch=None, _indices=None):
        """An empty sequence; the others come from load(), grab() and Sequence.from_numpy()."""
        self._bunch = _bunch
        if _bunch is None:
            self._indices = range(0)
        else:
            self._indices = range(len(_bunch)) if _indices is None else _indices

    def __len__(self):
        """The number of images."""
        return len(self._indices)

    def __getitem__(self, key):
        """An Image for an integer index, a Sequence sharing the images for a slice."""
        if isinstance(key, slice):
            return Sequence(self._bunch, self._indices[key])
        if isinstance(key, _numbers.Integral):
            return Image(self._bunch, self._indices[key])
        raise TypeError("sequence indices must be integers or slices")

    def __iter__(self):
        """The images in order."""
        for index in self._indices:
            yield Image(self._bunch, index)

    def __repr__(self):
        """The number of images."""
        return f"<qmv3.Sequence of {len(self)} image(s)>"

    statistics = _statistics.sequence_statistics

    def _index_list(self):
        """The indices of this sequence's images in the library's sequence, as a list."""
        return list(self._indices)

    @property
    def frames(self):
        """All frames as one numpy array.

        Shape (N, H, W) for GRAY (uint8 or uint16) or (N, H, W, 3) uint8 for RGB. Frames that lie in one
        block, as a load puts them, are a writable view of it without a copy (like :attr:`Image.pixels`);
        others are copied into a new array. ValueError, with the reason, when the frames differ in geometry
        or format, are compressed, have no pixels (a headers-only load), or the sequence is empty.
        """
        if self._bunch is None or not self._indices:
            raise ValueError("the sequence is empty")
        return _qmv3.frames(self._bunch, self._index_list())

    @property
    def frame_numbers(self):
        """The frame numbers of the images as a uint32 array."""
        return _np.array([image.frame_number for image in self], dtype=_np.uint32)

    @property
    def timestamps(self):
        """The time stamps of the images as a float64 array of seconds since the epoch (UTC)."""
        parts = [(header["timestampSeconds"], header["timestampMicroseconds"]) for header in map(Image.header, self)]
        return _np.array([seconds + micro / 1e6 for seconds, micro in parts], dtype=_np.float64)

    @property
    def is_complete(self):
        """The library's verdict: valid, alike images whose frame numbers rise by one without a zero."""
        if self._bunch is None or not self._indices:
            return False
        return _qmv3.is_complete_sequence(self._bunch, self._index_list()) == 1

    def decompress(self):
        """Decompresses the JPEG frames in place (into GRAY or RGB); returns how many were.

        All or nothing: when one frame cannot be decoded, Error is raised and the sequence is unchanged.
        """
        if self._bunch is None:
            return 0
        return _qmv3.decompress(self._bunch, self._index_list())

    def save(self, path, progress=None, *, overwrite=True, compress=None):
        """Saves the images to path; the extension chooses the kind as the library does.

        ".imm", ".imc", ".bkc" and ".bkg" (any case) give the older files (uncompressed GRAY only, BKG one
        frame), ".tif"/".tiff" a multi-page TIFF, ".png" a PNG (one file per image, STEM-1.png ..., for
        several), ".h5"/".hdf5" HDF5, any other name an IMC2/BKC2 file: the bytes ``qmv3 convert`` writes.
        overwrite: replace an existing file, once the new one is complete (True), or refuse it with
        FileError (False). compress: "fast", "default" (zlib's default level) or "none" for IMC2/BKC2;
        ValueError for other names. Raises FileError with the library's code and message; a failed or
        interrupted save leaves no file and an existing one untouched.
        """
        flags = _save_flags(path, overwrite, compress)
        if self._bunch is None:
            raise FileError(
                _qmv3.SAVE_PARAMETER_ERROR, f'File "{_os.fsdecode(path)}" save error: the sequence is empty.'
            )
        _qmv3.save(self._bunch, self._index_list(), _path(path), _check_progress(progress), flags)

    def export(self, path, compress=False, frames=None, *, overwrite=True, progress=None):
        """Writes images as TIFF (.tif, .tiff), PNG (.png) or HDF5 (.h5, .hdf5), as ``qmv3 export`` does.

        compress: deflate TIFF and HDF5 data (PNG: the strongest level instead of the fastest). frames:
        a slice of positions from 0 or a text "A:B" (or "K") of positions from 1, as for :func:`load`; a PNG
        series is numbered by the images' positions in this sequence. overwrite as for :meth:`save`.
        ValueError for another extension; FileError with the library's code and message (JPEG frames
        must be decompressed first).
        """
        _qmv3.check_export_name(_path(path))
        if self._bunch is None or not self._indices:
            raise FileError(
                _qmv3.SAVE_PARAMETER_ERROR, f'File "{_os.fsdecode(path)}" save error: the sequence is empty.'
            )
        first, last = _image_range(frames, lambda: len(self))
        flags = (_qmv3.SAVE_FLAG_REPLACE if overwrite else 0) | (_qmv3.EXPORT_FLAG_COMPRESS if compress else 0)
        _qmv3.export(self._bunch, self._index_list(), _path(path), _check_progress(progress), flags, first, last)

    @classmethod
    def from_numpy(
        cls,
        array,
        effective_bits=None,
        frame_numbers=None,
        timestamps=None,
        camera_port_name="",
        camera_port_id=0,
        x_scale=0.0,
        y_scale=0.0,
    ):
        """A new sequence of valid images holding a copy of array.

        array: (N, H, W) uint8 or uint16 (GRAY, 1 or 2 bytes per pixel) or (N, H, W, 3) uint8 (RGB).
        effective_bits: significant bits (8 for uint8, 9..16 for uint16, 24 for RGB; default the full
        width; a pixel value above them is refused). frame_numbers: N numbers (default 1..N).
        timestamps: N aware datetimes (naive ones are taken as UTC) or seconds since the epoch (default:
        the current time for every frame).
        camera_port_name (at most 63 bytes in UTF-8), camera_port_id, x_scale and y_scale (millimetres per
        pixel, 0: not set) go into every header.
        """
        array = _np.asarray(array)
        unsigned = array.dtype.kind == "u"
        if array.ndim == 3 and unsigned and array.dtype.itemsize in (1, 2):
            samples, fmt = array.dtype.itemsize, _FORMAT_GRAY
            bytes_per_pixel = samples
            full_bits, allowed = (8, range(8, 9)) if samples == 1 else (16, range(9, 17))
        elif array.ndim == 4 and array.shape[3] == 3 and unsigned and array.dtype.itemsize == 1:
            bytes_per_pixel, fmt = 3, _FORMAT_RGB
            full_bits, allowed = 24, range(24, 25)
        else:
            raise ValueError(
                f"array must be (N, H, W) uint8/uint16 or (N, H, W, 3) uint8, not {array.shape} {array.dtype}"
            )
        count, height, width = array.shape[0], array.shape[1], array.shape[2]
        if count < 1 or height < 1 or width < 1:
            raise ValueError(f"array has no pixels: shape {array.shape}")
        if height * width * bytes_per_pixel > _MAX_FRAME_BYTES:
            raise ValueError(f"a frame of {height} x {width} x {bytes_per_pixel} bytes exceeds {_MAX_FRAME_BYTES}")
        bits = full_bits if effective_bits is None else int(effective_bits)
        if bits not in allowed:
            raise ValueError(f"effective_bits {bits} does not fit {array.dtype} {'RGB' if fmt else 'GRAY'} pixels")
        numbers = list(range(1, count + 1)) if frame_numbers is None else [int(n) for n in frame_numbers]
        if len(numbers) != count or any(n < 0 or n > _UINT32_MAX for n in numbers):
            raise ValueError(f"frame_numbers must be {count} numbers from 0 to {_UINT32_MAX}")
        if timestamps is None:
            times = [_timestamp_parts(_time.time())] * count
        else:
            times = [_timestamp_parts(t) for t in timestamps]
            if len(times) != count:
                raise ValueError(f"timestamps must hold {count} times")
        name = camera_port_name.encode("utf-8")
        if len(name) > 63 or b"\0" in name:
            raise ValueError("camera_port_name must be at most 63 bytes in UTF-8, without NUL")
        if not 0 <= int(camera_port_id) <= _UINT32_MAX:
            raise ValueError("camera_port_id must be from 0 to 4294967295")
        pixels = _np.ascontiguousarray(array, dtype=array.dtype.newbyteorder("="))
        bunch = _qmv3.from_array(
            pixels, bytes_per_pixel, fmt, bits, numbers, times, name, int(camera_port_id), float(x_scale),
            float(y_scale)
        )
        above = _qmv3.first_values_above_effective_bits(bunch)
        if above is not None:
            index, count, value = above
            raise ValueError(
                f"image array[{index}] holds the value {value}, above its {bits} effective bits "
                f"({count} such value{'s' if count > 1 else ''} in that image)"
            )
        return cls(bunch)


def _timestamp_parts(value):
    """(seconds, microseconds) since the epoch of a datetime or a number of seconds."""
    if isinstance(value, _datetime.datetime):
        if value.tzinfo is None:
            value = value.replace(tzinfo=_UTC)
        delta = value - _EPOCH
        seconds, microseconds = delta.days * 86400 + delta.seconds, delta.microseconds
    else:
        total = round(float(value) * 1_000_000)
        seconds, microseconds = divmod(total, 1_000_000)
    if not 0 <= seconds <= _UINT32_MAX:
        raise ValueError(f"timestamp {value!r} lies outside 1970 to 2106")
    return (int(seconds), int(microseconds))


def _image_range(frames, count):
    """(first, last) positions from 1 (0: from the first / to the last) of a slice or an "A:B"/"K" text.

    count() gives the number of images, asked only for a slice from the end."""
    if frames is None:
        return 0, 0
    if isinstance(frames, str):
        match = _re.fullmatch(r"\s*(\d*)\s*(?::\s*(\d*)\s*)?", frames)
        if match is None or (match.group(2) is None and not match.group(1)):
            raise ValueError(f'frames must be "A:B" or "K" with positions from 1, not {frames!r}')
        first, last = match.group(1), match.group(1) if match.group(2) is None else match.group(2)
        if (first and int(first) < 1) or (last and int(last) < 1):
            raise ValueError(f'frames must be "A:B" or "K" with positions from 1, not {frames!r}')
        return int(first or 0), int(last or 0)
    if not isinstance(frames, slice) or frames.step not in (None, 1):
        raise TypeError("frames must be None, a slice without step, or an \"A:B\" or \"K\" text")
    start, stop = frames.start, frames.stop
    if (start is not None and start < 0) or (stop is not None and stop < 0):
        start, stop, _ = frames.indices(count())
    start = 0 if start is None else start
    if stop is not None and stop <= start:
        raise ValueError(f"frames {frames!r} selects no image")
    return start + 1, 0 if stop is None else stop


def load(path, frames=None, progress=None, headers_only=False):
    """Loads a file of any kind the library reads: IMC2/BKC2, IMM, BKG, IMC, BKC, TIFF, PNG and HDF5.

    The kind is recognised from the content as the library does. frames selects images: a slice of
    positions from 0 (``slice(10, 20)``) or a text "A:B" of positions from 1 as the tool counts them
    ("11:20"; "A:" to the end, ":B" from the first, "K" the image K alone). headers_only gives the
    images' headers without pixels, which reads an IMC2 file's headers only. The frames of an IMC2 file
    lie in one block, so :attr:`Sequence.frames` is a view of it. progress, when given, is called on the
    calling thread with the fraction done (0 to 1). Raises FileError with the library's code and
    message; Ctrl-C stops the load and raises KeyboardInterrupt.
    """
    first, last = _image_range(frames, lambda: len(_qmv3.load(_path(path), None, _qmv3.LOAD_FLAG_HEADERS_ONLY)))
    flags = _qmv3.LOAD_FLAG_HEADERS_ONLY if headers_only else _qmv3.LOAD_FLAG_ONE_BLOCK
    return Sequence(_qmv3.load(_path(path), _check_progress(progress), flags, first, last))


def save(sequence, path, progress=None, *, overwrite=True, compress=None):
    """Saves sequence to path (see :meth:`Sequence.save` for the kinds, overwrite and compress)."""
    if not isinstance(sequence, Sequence):
        raise TypeError("save() takes a qmv3.Sequence")
    sequence.save(path, progress, overwrite=overwrite, compress=compress)


def convert(src, dst, *, overwrite=True, compress=None, progress=None):
    """Loads src (any kind the library reads) and saves it as dst, as ``qmv3 convert`` does.

    The extension of dst chooses the kind (see :meth:`Sequence.save`); a name of no kind is refused
    with FileError and the tool's message, which lists the extensions. JPEG frames are decompressed,
    since no kind holds them. overwrite and compress as for :meth:`Sequence.save`; dst is checked
    before src is read. progress, when given, is called on the calling thread with the fraction done
    (0 to 1): the load is the first half, the save the second. Converting into an older kind that drops
    frame numbers, time stamps, the camera port or the scale issues a :class:`MetadataLossWarning`
    whose text is the warning the tool prints.
    """
    _qmv3.check_output_name(_path(dst))
    flags = _save_flags(dst, overwrite, compress)
    progress = _check_progress(progress)
    _qmv3.check_output(_path(dst), flags)

    def half(start):
        return None if progress is None else lambda fraction: progress(start + fraction / 2)

    sequence = load(src, progress=half(0.0))
    sequence.decompress()
    if sequence._bunch is not None:
        loss = _qmv3.save_loss(sequence._bunch, sequence._index_list(), _path(src), _path(dst), "the conversion time")
        if loss:
            _warnings.warn(MetadataLossWarning(loss), stacklevel=2)
    sequence.save(dst, half(0.5), overwrite=overwrite, compress=compress)


def check_file(path):
    """The kind of file the library detects from the content.

    One of "IMC2", "BKC2", "IMM", "IMC", "BKC", "BKG", "TIFF", "PNG" and "HDF5". The library cannot tell
    IMC2 from BKC2 nor IMC from BKC (nothing inside differs), so the extension ".bkc2" or ".bkc" names
    the second of each pair. For a file of no kind, FileError (code -1) with the library's message and
    its diagnosis: ``closest`` names the kind the file came closest to (None when the file cannot be
    opened), ``reason`` says why that kind refused it (or why the file could not be opened).
    """
    kind, closest, reason, message = _qmv3.check_file(_path(path))
    if kind == _qmv3.FILE_UNKNOWN:
        closest_name = _kind_text(closest, path)
        detail = f" The closest kind, {closest_name}, refused it: {reason}" if closest_name else f" ({reason})"
        error = FileError(kind, message + (detail if reason else ""))
        error.closest, error.reason = closest_name, reason
        raise error
    return _kind_text(kind, path)


def _kind_text(kind, path):
    """The library's name of a kind; of a pair such as IMC2/BKC2 the one whose extension path has."""
    known = _qmv3.file_kind_name(kind)
    if known is None or "/" not in known[0]:
        return None if known is None else known[0]
    names, extensions = known[0].split("/"), known[1].split()
    lower = _os.fsdecode(path).lower()
    for one, extension in zip(names, extensions):
        if lower.endswith(extension):
            return one
    return names[0]


def _access_mode(mode):
    """The access-mode bits of None (TIMER), a number or a keyword text such as "TIMER|STREAM"."""
    if mode is None:
        return _qmv3.CM_TIMER
    if isinstance(mode, str):
        bits, reason = _qmv3.decode_mode(mode)
        if bits < 0:
            raise ValueError(f"{mode!r} is not an access mode (error {bits}): {reason}")
        return bits
    return int(mode)


def grab(
    n=10,
    address="/SIM/CAMSERVER/CAM0",
    prop="Frame",
    rate_ms=None,
    mode=None,
    timeout_ms=None,
    decompress=False,
    progress=None,
):
    """Grabs n consecutive frames of an image property by subscription (the multi-frame grab).

    rate_ms: access rate of the subscription (default 300). mode: access mode as bits or text such as
    "TIMER" or "TIMER|STREAM" (default TIMER). timeout_ms: time limit for the whole grab (default none;
    the library itself gives up after 5 seconds without a frame). decompress: decompress JPEG frames.
    progress: called on the calling thread with the fraction received. Raises GrabError (with the
    frames received so far in its ``sequence``); Ctrl-C stops the grab and raises GrabInterrupted, a
    KeyboardInterrupt whose ``sequence`` holds the frames received. A rate outside the recommended 300
    to 4000 ms gives a UserWarning.
    """
    n = int(n)
    if not 1 <= n <= _UINT32_MAX:
        raise ValueError("n must be at least 1")
    rate = 300 if rate_ms is None else int(rate_ms)
    limit = -1 if timeout_ms is None else int(timeout_ms)
    try:
        bunch = _qmv3.grab(
            n, address, prop, rate, _access_mode(mode), limit, bool(decompress), _check_progress(progress)
        )
    except (GrabError, GrabInterrupted) as error:
        if error.sequence is not None and not isinstance(error.sequence, Sequence):
            error.sequence = Sequence(error.sequence)
        raise
    return Sequence(bunch)


def grab_one(address="/SIM/CAMSERVER/CAM0", prop="Frame", timeout_ms=None):
    """Grabs one frame synchronously (the single grab), retrying until timeout_ms (default 1000).

    Returns the Image; raises GrabError. Ctrl-C takes effect when the library returns, at the latest
    after timeout_ms.
    """
    timeout = 1000 if timeout_ms is None else int(timeout_ms)
    return Sequence(_qmv3.grab_one(address, prop, timeout))[0]


def device_properties(address="/SIM/CAMSERVER/CAM0"):
    """The names of the device's properties as the control system tells them, in the device's order.

    Returns None when the control system cannot tell (an unknown device, or one that does not answer
    such a query). The address is checked and corrected as for a grab; a malformed one gives None too.
    """
    return _qmv3.device_properties(str(address))


class SystemList:
    """The servers and image sources of an XML system list.

    ``context`` is the control-system context, ``servers`` the names of the frame-grabber servers in file
    order, ``image_sources`` a dict of source name to id. Raises Error with the library's validation
    message for a list it cannot load.
    """

    def __init__(self, path):
        """Reads the system list at path."""
        self.path = _os.fsdecode(path)
        result, context, servers, errors = _qmv3.server_names(_path(path))
        if result != 1:
            raise Error(_list_message(self.path, result, errors))
        result, sources, errors = _qmv3.image_sources(_path(path))
        if result != 1:
            raise Error(_list_message(self.path, result, errors))
        self.context = context
        self.servers = servers
        self.image_sources = dict(sources)

    def __repr__(self):
        """The path and the numbers of names."""
        return f"<qmv3.SystemList {self.path!r}: {len(self.servers)} servers, {len(self.image_sources)} sources>"


def _list_message(path, result, errors):
    """The exception text for a system list that failed: what the library wrote, else the result."""
    # The library stamps every line it writes to standard error; the message is the text after it.
    text = "\n".join(_re.sub(r"^\[[^\]]* LTM\] ", "", line) for line in errors.strip().splitlines())
    what = "could not be loaded" if result == -1 else "could not be queried"
    return text if text else f'system list "{path}" {what} (result {result})'


def library_info():
    """The library's information text (build banner and control-system version)."""
    return _qmv3.library_info()[0]


def set_verbose(level, log_file=None):
    """Sets where the library logs: 0 nowhere, 1 standard error, 2 standard output, 3 a log file.

    For level 3, log_file names the file (default: the library's automatic name). ValueError when the
    library rejects the level.
    """
    if not _qmv3.set_verbose(int(level), None if log_file is None else _os.fsdecode(log_file)):
        raise ValueError(f"verbosity level {level!r} rejected (0 to 3)")


from ._stream import Stream, StreamImage, stream  # noqa: E402  (needs Image and Sequence above)
from ._record import record  # noqa: E402
from ._recover import recover  # noqa: E402  (needs the package's names above)
