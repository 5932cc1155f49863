from typing import IO, Optional, Union

# Any object with the buffer protocol (bytes, bytearray, memoryview, array, mmap, numpy).

_Bytes = Union[bytes, bytearray, memoryview]
_Text = Union[str, bytes, bytearray, memoryview]
_Chars = Union[str, bytes]

__version__: str

class DecodeError(ValueError):
    position: int
    line: int  # undump only
    column: int  # undump only

def encode(
    data: _Bytes,
    sep: Optional[_Chars] = None,
    bytes_per_sep: int = 1,
    *,
    upper: bool = False,
    prefix: Optional[_Chars] = None,
) -> str: ...
def encode_bytes(
    data: _Bytes,
    sep: Optional[_Chars] = None,
    bytes_per_sep: int = 1,
    *,
    upper: bool = False,
    prefix: Optional[_Chars] = None,
) -> bytes: ...
def encode_into(
    buffer: _Bytes,
    data: _Bytes,
    sep: Optional[_Chars] = None,
    bytes_per_sep: int = 1,
    *,
    upper: bool = False,
    prefix: Optional[_Chars] = None,
) -> int: ...
def decode(
    text: _Text,
    *,
    ignore: Optional[_Chars] = None,
    prefix: Optional[_Chars] = None,
    strict: bool = False,
) -> bytes: ...
def decode_into(
    buffer: _Bytes,
    text: _Text,
    *,
    ignore: Optional[_Chars] = None,
    prefix: Optional[_Chars] = None,
    strict: bool = False,
) -> int: ...
def dump(
    data: _Bytes,
    *,
    offsets: bool = False,
    row_numbers: bool = True,
    chars: bool = True,
    upper: bool = False,
    squeeze: bool = False,
    color: bool = False,
    first_offset: int = 0,
) -> str: ...
def undump(
    text: _Text, *, offsets: bool = False, row_numbers: bool = True, first_offset: int = 0
) -> bytes: ...

class DumpWriter:
    def __init__(
        self,
        file: IO[str],
        *,
        offsets: bool = False,
        row_numbers: bool = True,
        chars: bool = True,
        upper: bool = False,
        squeeze: bool = False,
        color: bool = False,
        first_offset: int = 0,
    ) -> None: ...
    def write(self, data: _Bytes) -> None: ...
    def close(self) -> None: ...
    def __enter__(self) -> "DumpWriter": ...
    def __exit__(self, *args: object) -> None: ...

class Decoder:
    def __init__(
        self,
        file: IO[bytes],
        *,
        ignore: Optional[_Chars] = None,
        prefix: Optional[_Chars] = None,
        strict: bool = False,
    ) -> None: ...
    def write(self, text: _Text) -> None: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Decoder": ...
    def __exit__(self, *args: object) -> None: ...
