"""Spot and region statistics: the library's figures of an image, a numpy frame or a whole sequence.

Every figure is computed by the library in one pass; the header qmv3.h states each definition. Pixel
(i, j) is column i and row j of the frame, its centre at (i, j). RGB values are
(299 R + 587 G + 114 B) / 1000 unless a channel is chosen.
"""

import numbers as _numbers

import numpy as _np

from . import _qmv3

_BACKGROUND_NONE = _qmv3.BACKGROUND_NONE
_BACKGROUND_CONSTANT = _qmv3.BACKGROUND_CONSTANT
_BACKGROUND_BORDER = _qmv3.BACKGROUND_BORDER
_BACKGROUND_FRAME = _qmv3.BACKGROUND_FRAME
_CHANNELS = {
    None: _qmv3.CHANNEL_LUMINANCE,
    "luminance": _qmv3.CHANNEL_LUMINANCE,
    "red": _qmv3.CHANNEL_RED,
    "green": _qmv3.CHANNEL_GREEN,
    "blue": _qmv3.CHANNEL_BLUE,
    0: _qmv3.CHANNEL_RED,
    1: _qmv3.CHANNEL_GREEN,
    2: _qmv3.CHANNEL_BLUE,
}


def _target(image, name):
    """What the extension measures: (bunch, index) of an Image, or a C-contiguous native array."""
    if hasattr(image, "_bunch") and hasattr(image, "_index"):
        return (image._bunch, image._index)
    if not isinstance(image, _np.ndarray):
        raise TypeError(f"{name} must be a qmv3.Image or a numpy array")
    if image.dtype not in (_np.uint8, _np.uint16):
        raise TypeError(f"{name} must hold uint8 or uint16 values, not {image.dtype}")
    rgb = image.ndim == 3 and image.shape[2] == 3 and image.dtype == _np.uint8
    if image.ndim != 2 and not rgb:
        raise ValueError(f"{name} must have the shape (H, W), or (H, W, 3) of uint8 for RGB")
    return _np.ascontiguousarray(image, dtype=image.dtype.newbyteorder("="))


def _options(roi, background, border, threshold, channel):
    """The positional options of the extension's calls."""
    if roi is not None:
        roi = tuple(int(value) for value in roi)
        if len(roi) != 4:
            raise ValueError("roi must be (x, y, width, height)")
    if background is not None and border is not None:
        raise ValueError("background and border exclude each other")
    kind, value, frame, width = _BACKGROUND_NONE, 0.0, None, 0
    if border is not None:
        kind, width = _BACKGROUND_BORDER, int(border)
        if width < 1:
            raise ValueError("border must be at least 1")
    elif isinstance(background, _numbers.Real):
        kind, value = _BACKGROUND_CONSTANT, float(background)
    elif background is not None:
        kind, frame = _BACKGROUND_FRAME, _target(background, "background")
    if channel not in _CHANNELS:
        raise ValueError("channel must be None, 'red', 'green', 'blue' or 0, 1, 2")
    return roi, kind, value, frame, width, float(threshold), _CHANNELS[channel]


def statistics(image, roi=None, background=None, border=None, threshold=0.0, channel=None):
    """The figures of a region of one image as a dict.

    image: a :class:`qmv3.Image` or a numpy array of uint8/uint16 (H, W) or uint8 (H, W, 3) RGB (an
    array counts as saturated at 255 or 65535 and has no scale). roi: (x, y, width, height), default the
    whole frame. background: a number (a constant), an Image or an array of the same size and layout
    (pixel by pixel); border: the median of the region's outer ring, border pixels wide, instead.
    Pixels count with weight value - background where that exceeds threshold. channel: None (luminance),
    "red", "green", "blue" or 0, 1, 2 for RGB frames.

    Keys: min, max, min_x, min_y, max_x, max_y, mean, sigma, total, net, saturated, centroid_x,
    centroid_y, sigma_x, sigma_y, sigma_xy, orientation_deg, eccentricity, centroid_x_mm,
    centroid_y_mm, sigma_x_mm, sigma_y_mm (NaN without a scale), background (the b used) and pixels.
    Spot figures are NaN when no pixel counts. ValueError names a region outside the frame, a
    background of another size, or a compressed image.
    """
    return _qmv3.image_statistics(_target(image, "image"), *_options(roi, background, border, threshold, channel))


def profiles(image, roi=None, background=None, border=None, threshold=0.0, channel=None):
    """(columns, rows): the column sums and the row sums of the weights over the region.

    The arguments are those of :func:`statistics`; both are float64 arrays, left to right and top
    to bottom.
    """
    return _qmv3.image_profiles(_target(image, "image"), *_options(roi, background, border, threshold, channel))


def sequence_statistics(sequence, roi=None, background=None, border=None, threshold=0.0, channel=None):
    """The figures of every image as a dict of numpy arrays, one value per image, computed in C.

    The arguments and keys are those of :func:`qmv3.statistics`; positions are int32, saturated and
    pixels uint64, the rest float64. ValueError names the first image that cannot be measured.
    """
    options = _options(roi, background, border, threshold, channel)
    if sequence._bunch is None:
        return {key: value[:0] for key, value in _EMPTY.items()}
    return _qmv3.sequence_statistics(sequence._bunch, list(sequence._indices), *options)


_EMPTY = {
    key: _np.zeros(0, dtype=_np.int32 if key in ("min_x", "min_y", "max_x", "max_y")
                   else _np.uint64 if key in ("saturated", "pixels") else _np.float64)
    for key in ("min", "max", "min_x", "min_y", "max_x", "max_y", "mean", "sigma", "total", "net", "saturated",
                "centroid_x", "centroid_y", "sigma_x", "sigma_y", "sigma_xy", "orientation_deg", "eccentricity",
                "centroid_x_mm", "centroid_y_mm", "sigma_x_mm", "sigma_y_mm", "background", "pixels")
}
