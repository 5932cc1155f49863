"""Bytes to and from hexadecimal text, and hex dumps, at the speed of memory.

>>> import mivo
>>> mivo.encode(b"\\xde\\xad\\xbe\\xef", ":")
'de:ad:be:ef'
>>> mivo.decode("de:ad:be:ef", ignore=":")
b'\\xde\\xad\\xbe\\xef'
>>> print(mivo.dump(b"hello"), end="")
00000000: 6865 6c6c 6f                             hello
"""

from ._mivo import (
    DecodeError,
    Decoder,
    DumpWriter,
    __version__,
    decode,
    decode_into,
    dump,
    encode,
    encode_bytes,
    encode_into,
    undump,
)

__all__ = [
    "DecodeError",
    "Decoder",
    "DumpWriter",
    "__version__",
    "decode",
    "decode_into",
    "dump",
    "encode",
    "encode_bytes",
    "encode_into",
    "undump",
]
