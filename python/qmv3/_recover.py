"""Salvage of damaged sequence files: keep every intact image, say which were dropped and why."""

from . import _qmv3


def recover(src, dst, progress=None):
    """Saves every intact image of the damaged or cut file src to dst and reports what was dropped.

    src may be an IMC2/BKC2 file cut at any byte or with damaged bytes (an image whose header, metadata
    or compressed pixels are damaged is dropped; the images after it are found again by the file's
    structure), or an IMM, IMC or BKC file cut short. dst is written as :func:`save` writes it (an
    existing IMC2 file is never overwritten). Returns a dict: ``kept`` and ``dropped`` (numbers of
    images) and ``reasons``, a list of ``(image, reason)`` in file order, where image counts from 1 in
    the file and 0 marks damage that belongs to no image. Raises FileError when no image could be
    kept; Ctrl-C stops the salvage with KeyboardInterrupt.
    """
    from . import Sequence, _check_progress, _path

    source = _path(src)
    if not source or b"\0" in source:
        raise ValueError("src must be a non-empty path without NUL bytes")
    bunch, kept, dropped, _announced, findings = _qmv3.recover(source, _check_progress(progress))
    sequence = Sequence(bunch)
    # Only IMC2/BKC2 files (every name no other kind claims) hold JPEG frames.
    if _qmv3.kind_of_name(_path(dst)) not in (_qmv3.FILE_IMC2_BKC2, _qmv3.FILE_UNKNOWN):
        sequence.decompress()
    sequence.save(dst)
    return {
        "kept": kept,
        "dropped": dropped,
        "reasons": [(image, reason) for image, _offset, _code, reason in findings],
    }
