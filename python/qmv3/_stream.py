"""Streams: frames of a camera one by one, as they arrive, in a fixed pool of reused buffers."""

from . import _qmv3
from . import Image, Sequence, _access_mode
from ._errors import GrabError

_STREAM_OK = _qmv3.STREAM_OK
_STREAM_CLOSED = _qmv3.STREAM_CLOSED


class StreamImage(Image):
    """An :class:`Image` lent by a :class:`Stream`: its pixels are the stream's pooled buffer.

    The buffer goes back to the pool when the image is released with :meth:`release` or garbage
    collected, and when the last pixel view taken from it is gone. :meth:`copy` gives an independent
    Image that may be kept for as long as wanted.
    """

    __slots__ = ()

    def release(self):
        """Gives the frame back to the stream's pool (once pixel views of it are gone too)."""
        self._bunch = None

    def copy(self):
        """An independent :class:`Image` with a copy of the header and pixels."""
        if self._bunch is None:
            raise ValueError("the image has been released")
        return Sequence(_qmv3.copy_frame(self._bunch))[0]

    def header(self):
        """Every field of the image record; ValueError once the image is released."""
        if self._bunch is None:
            raise ValueError("the image has been released")
        return super().header()

    @property
    def pixels(self):
        """A numpy view of the pooled buffer, without a copy; ValueError once the image is released."""
        if self._bunch is None:
            raise ValueError("the image has been released")
        return _qmv3.pixels(self._bunch, 0)


class Stream:
    """A subscription to an image property that hands frames over one by one (see :func:`stream`).

    Iterating yields :class:`StreamImage` objects until the stream is closed; a context manager closes
    it. Lost links are resubscribed by the library and counted in :attr:`stats`.
    """

    def __init__(self, _engine):
        """Made by :func:`stream`; not meant to be called directly."""
        self._engine = _engine

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __iter__(self):
        """Yields frames as they arrive until the stream is closed; Ctrl-C raises KeyboardInterrupt."""
        while True:
            result, bunch = self._engine.next(-1)
            if result != _STREAM_OK:
                return
            yield StreamImage(bunch, 0)

    def next(self, timeout_ms=None):
        """The next frame in arrival order, waiting up to timeout_ms (default: for ever).

        Raises TimeoutError when none arrives in time (also while a lost link is being resubscribed),
        GrabError on a closed stream, KeyboardInterrupt on Ctrl-C.
        """
        limit = -1 if timeout_ms is None else max(0, int(timeout_ms))
        result, bunch = self._engine.next(limit)
        if result == _STREAM_OK:
            return StreamImage(bunch, 0)
        if result == _STREAM_CLOSED:
            raise GrabError(result, 0, "the stream is closed", None)
        if result < 0:
            raise GrabError(result, 0, "the stream refused the request", None)
        stats = self._engine.stats()
        lost = "" if stats["link_up"] else "; the link is lost and being resubscribed"
        raise TimeoutError(f"no frame within {limit} ms{lost}")

    @property
    def stats(self):
        """The stream's counts: delivered, handed_out, dropped_queue_full, gaps, repeats,
        queue_high_water, link_losses, and resubscriptions, queued, queue_length, last_frame_number,
        last_zant_code, link_up. GrabError on a closed stream."""
        return self._engine.stats()

    def close(self):
        """Ends the subscription; images still held stay valid until released. Closing twice is harmless."""
        self._engine.close()


def stream(
    address="/SIM/CAMSERVER/CAM0",
    prop="Frame",
    rate_ms=None,
    mode=None,
    queue=16,
    keep="newest",
    decompress=True,
):
    """Opens a stream of an image property: frames one by one, as they arrive, in reused buffers.

    rate_ms: access rate of the subscription (default 300). mode: access mode as bits or text such as
    "TIMER" (default TIMER). queue: frames the stream queues for the caller (1 to 4096). keep: "newest"
    drops the oldest queued frame when the queue is full (a viewer), "oldest" the arriving one (a
    recorder). decompress: JPEG frames are decompressed. Raises GrabError when the stream cannot be
    opened. Use it as a context manager::

        with qmv3.stream(prop="Frame16") as frames:
            for image in frames:
                print(image.frame_number, image.pixels.mean())
    """
    if keep not in ("newest", "oldest"):
        raise ValueError('keep must be "newest" or "oldest"')
    queue = int(queue)
    if not 1 <= queue <= 4096:
        raise ValueError("queue must be from 1 to 4096")
    rate = 300 if rate_ms is None else int(rate_ms)
    if rate < 1:
        raise ValueError("rate_ms must be at least 1")
    engine = _qmv3.StreamEngine(
        str(address), str(prop), rate, _access_mode(mode), queue, keep == "oldest", bool(decompress)
    )
    return Stream(engine)
