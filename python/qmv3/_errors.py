"""The exceptions of the qmv3 package (raised by the extension and by the package itself)."""


class Error(Exception):
    """Base class of every error the qmv3 package raises for a failure of the library."""


class FileError(Error):
    """A file could not be loaded, saved or recognised.

    ``code`` is the library's result code (for example -4: the file could not be opened, -14: it
    exists already), ``message`` the library's own message text. For a file :func:`qmv3.check_file` finds
    of no kind, ``closest`` names the kind it came closest to and ``reason`` why that kind refused it
    (both None otherwise).
    """

    closest = None
    reason = None

    def __init__(self, code, message):
        super().__init__(message)
        self.code = code
        self.message = message

    def __str__(self):
        return f"{self.message} (code {self.code})"


class GrabError(Error):
    """A grab failed.

    ``code`` is the library's error value (multi-frame grab: -1 refused, -2 timeout, -3 out of
    memory, -6 subscription failed; single grab: 0 refused, -1 no frame in time, -2 invalid frame,
    -3 property query failed, -4 bad address), ``zant_code`` the control system's completion code
    (0 when there is none); the message carries the completion code's text. ``sequence`` holds the
    frames a multi-frame grab received before it failed, or None.
    """

    def __init__(self, code, zant_code, message, sequence=None):
        super().__init__(message)
        self.code = code
        self.zant_code = zant_code
        self.message = message
        self.sequence = sequence


class GrabInterrupted(KeyboardInterrupt):
    """Ctrl-C stopped a multi-frame grab.

    A KeyboardInterrupt, so code that stops on Ctrl-C still does; ``sequence`` holds the frames
    received before it (a Sequence), or None when none had arrived.
    """

    def __init__(self, message, sequence=None):
        super().__init__(message)
        self.message = message
        self.sequence = sequence


class MetadataLossWarning(UserWarning):
    """A conversion into an older kind (IMM, BKG, IMC, BKC) drops metadata the sequence holds.

    The text is the library's sentence, the warning ``qmv3 convert`` prints: what the file keeps no
    place for and what loading it gives instead.
    """
