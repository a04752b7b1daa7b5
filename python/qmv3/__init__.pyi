"""Type information of the qmv3 package."""
import datetime
import os
from typing import Any, Callable, Dict, FrozenSet, Iterator, List, Optional, Sequence as _Seq, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str

_Path = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
_Progress = Optional[Callable[[float], object]]
_Frame = Union["Image", npt.NDArray[np.uint8], npt.NDArray[np.uint16]]
_Background = Union[None, float, _Frame]
_Channel = Union[None, str, int]

class Error(Exception): ...

class FileError(Error):
    code: int
    message: str
    closest: Optional[str]
    reason: Optional[str]
    def __init__(self, code: int, message: str) -> None: ...

class GrabError(Error):
    code: int
    zant_code: int
    message: str
    sequence: Optional["Sequence"]
    def __init__(self, code: int, zant_code: int, message: str, sequence: Optional["Sequence"] = ...) -> None: ...

class GrabInterrupted(KeyboardInterrupt):
    message: str
    sequence: Optional["Sequence"]
    def __init__(self, message: str, sequence: Optional["Sequence"] = ...) -> None: ...

class MetadataLossWarning(UserWarning): ...

class Image:
    def header(self) -> Dict[str, Union[int, float, str, bytes]]: ...
    @property
    def pixels(self) -> npt.NDArray[Union[np.uint8, np.uint16]]: ...
    @property
    def frame_number(self) -> int: ...
    @property
    def event_number(self) -> int: ...
    @property
    def timestamp(self) -> datetime.datetime: ...
    @property
    def width(self) -> int: ...
    @property
    def height(self) -> int: ...
    @property
    def bytes_per_pixel(self) -> int: ...
    @property
    def effective_bits(self) -> int: ...
    @property
    def format(self) -> str: ...
    @property
    def camera_port_name(self) -> str: ...
    @property
    def camera_port_id(self) -> int: ...
    @property
    def x_scale(self) -> float: ...
    @property
    def y_scale(self) -> float: ...
    @property
    def flags(self) -> FrozenSet[str]: ...
    @property
    def is_valid(self) -> bool: ...
    @property
    def validity_message(self) -> str: ...

class Sequence:
    def __init__(self) -> None: ...
    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, key: int) -> Image: ...
    @overload
    def __getitem__(self, key: slice) -> "Sequence": ...
    def __iter__(self) -> Iterator[Image]: ...
    @property
    def frames(self) -> npt.NDArray[Union[np.uint8, np.uint16]]: ...
    @property
    def frame_numbers(self) -> npt.NDArray[np.uint32]: ...
    @property
    def timestamps(self) -> npt.NDArray[np.float64]: ...
    @property
    def is_complete(self) -> bool: ...
    def decompress(self) -> int: ...
    def save(
        self, path: _Path, progress: _Progress = ..., *, overwrite: bool = ..., compress: Optional[str] = ...
    ) -> None: ...
    def export(
        self,
        path: _Path,
        compress: bool = ...,
        frames: Union[None, slice, str] = ...,
        *,
        overwrite: bool = ...,
        progress: _Progress = ...,
    ) -> None: ...
    def statistics(
        self,
        roi: Optional[Tuple[int, int, int, int]] = ...,
        background: _Background = ...,
        border: Optional[int] = ...,
        threshold: float = ...,
        channel: _Channel = ...,
    ) -> Dict[str, npt.NDArray[Any]]: ...
    @classmethod
    def from_numpy(
        cls,
        array: npt.ArrayLike,
        effective_bits: Optional[int] = ...,
        frame_numbers: Optional[_Seq[int]] = ...,
        timestamps: Optional[_Seq[Union[datetime.datetime, float]]] = ...,
        camera_port_name: str = ...,
        camera_port_id: int = ...,
        x_scale: float = ...,
        y_scale: float = ...,
    ) -> "Sequence": ...

class SystemList:
    path: str
    context: str
    servers: List[str]
    image_sources: Dict[str, int]
    def __init__(self, path: _Path) -> None: ...

def load(
    path: _Path, frames: Union[None, slice, str] = ..., progress: _Progress = ..., headers_only: bool = ...
) -> Sequence: ...
def save(
    sequence: Sequence,
    path: _Path,
    progress: _Progress = ...,
    *,
    overwrite: bool = ...,
    compress: Optional[str] = ...,
) -> None: ...
def convert(
    src: _Path, dst: _Path, *, overwrite: bool = ..., compress: Optional[str] = ..., progress: _Progress = ...
) -> None: ...
def check_file(path: _Path) -> str: ...
def recover(src: _Path, dst: _Path, progress: _Progress = ...) -> Dict[str, Union[int, List[Tuple[int, str]]]]: ...
def grab(
    n: int = ...,
    address: str = ...,
    prop: str = ...,
    rate_ms: Optional[int] = ...,
    mode: Union[None, int, str] = ...,
    timeout_ms: Optional[int] = ...,
    decompress: bool = ...,
    progress: _Progress = ...,
) -> Sequence: ...
def record(
    path: _Path,
    n: Optional[int] = ...,
    duration_s: Optional[float] = ...,
    address: str = ...,
    prop: str = ...,
    rate_ms: Optional[int] = ...,
    compress: str = ...,
    split: int = ...,
    progress: _Progress = ...,
    force: bool = ...,
) -> Dict[str, Union[int, float, bool]]: ...
def grab_one(address: str = ..., prop: str = ..., timeout_ms: Optional[int] = ...) -> Image: ...
def device_properties(address: str = ...) -> Optional[List[str]]: ...
def library_info() -> str: ...
def set_verbose(level: int, log_file: Optional[_Path] = ...) -> None: ...

class StreamImage(Image):
    def release(self) -> None: ...
    def copy(self) -> Image: ...

class Stream:
    def __enter__(self) -> "Stream": ...
    def __exit__(self, *exc: object) -> bool: ...
    def __iter__(self) -> Iterator[StreamImage]: ...
    def next(self, timeout_ms: Optional[int] = ...) -> StreamImage: ...
    @property
    def stats(self) -> Dict[str, Union[int, bool]]: ...
    def close(self) -> None: ...

def stream(
    address: str = ...,
    prop: str = ...,
    rate_ms: Optional[int] = ...,
    mode: Union[None, int, str] = ...,
    queue: int = ...,
    keep: str = ...,
    decompress: bool = ...,
) -> Stream: ...
def statistics(
    image: _Frame,
    roi: Optional[Tuple[int, int, int, int]] = ...,
    background: _Background = ...,
    border: Optional[int] = ...,
    threshold: float = ...,
    channel: _Channel = ...,
) -> Dict[str, Union[int, float]]: ...
def profiles(
    image: _Frame,
    roi: Optional[Tuple[int, int, int, int]] = ...,
    background: _Background = ...,
    border: Optional[int] = ...,
    threshold: float = ...,
    channel: _Channel = ...,
) -> Tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...
