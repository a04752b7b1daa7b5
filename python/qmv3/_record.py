"""Recording a camera's frames straight to files, for runs of any length in bounded memory."""

import os as _os

from . import _qmv3

_MAX_SPLIT = _qmv3.RECORDER_MAX_SPLIT


def record(
    path,
    n=None,
    duration_s=None,
    address="/SIM/CAMSERVER/CAM0",
    prop="Frame",
    rate_ms=None,
    compress="fast",
    split=_MAX_SPLIT,
    progress=None,
    force=False,
):
    """Records the frames of an image property to path as they arrive, until n frames or duration_s.

    A path ending in .h5 or .hdf5 gives one HDF5 file of any length in the layout of the HDF5 export
    (``split`` does not apply), which h5py may open while it grows (``h5py.File(path, "r", swmr=True)``;
    it is flushed twice a second). Other names give IMC2/BKC2 files of at most ``split`` images: path,
    then STEM-0002.EXT, STEM-0003.EXT, ... compress: "fast"
    (default), "default" (zlib's default level) or "none". force: replace existing files, each once its
    replacement is complete. progress: called on the calling thread with the fraction done. Ctrl-C ends
    the recording as the tool's SIGINT does: the frames received are written and the summary returned.

    Returns a dict with the keys ``received``, ``written``, ``dropped`` (frames the disk or the compressor
    could not take), ``gaps`` (frame numbers the camera skipped), ``files``, ``bytes``, ``seconds`` and
    ``interrupted``. Raises FileError when a file cannot be created or written (a full disk), GrabError
    when the camera cannot be subscribed.
    """
    if (n is None) == (duration_s is None):
        raise ValueError("give either n or duration_s")
    frames = 0 if n is None else int(n)
    if n is not None and frames < 1:
        raise ValueError("n must be at least 1")
    milliseconds = 0 if duration_s is None else int(round(float(duration_s) * 1000))
    if duration_s is not None and milliseconds < 1:
        raise ValueError("duration_s must be positive")
    if not isinstance(compress, str) or _qmv3.compression_of_name(compress) is None:
        raise ValueError(f"compress must be one of fast, default, none, not {compress!r}")
    split = int(split)
    if not 1 <= split <= _MAX_SPLIT:
        raise ValueError(f"split must be from 1 to {_MAX_SPLIT}")
    if progress is not None and not callable(progress):
        raise TypeError("progress must be None or a callable taking one float")
    rate = 0 if rate_ms is None else int(rate_ms)
    return _qmv3.record(
        _os.fsencode(path), frames, milliseconds, address, prop, rate, compress, split, bool(force), progress
    )
