"""The Python package beside the standard library, 1 MiB of random bytes, best of several runs,
in one run: encode beside bytes.hex and binascii.hexlify, decode beside bytes.fromhex and
binascii.unhexlify, and dump beside the pure-Python way of writing one (binascii.hexlify per
row). Prints a Markdown table.

Usage: PYTHONPATH=build/default/python/package /usr/bin/python3 bench/python_bench.py"""

import binascii
import os
import timeit

import mivo

DATA = os.urandom(1 << 20)
TEXT = DATA.hex()
SPACED = DATA.hex(" ")


def python_dump(data):
    """A dump as mivo.dump writes it, row by row in Python."""
    rows = []
    for at in range(0, len(data), 16):
        row = data[at:at + 16]
        digits = binascii.hexlify(row, " ", -2).decode()
        chars = "".join(chr(b) if 32 <= b < 127 else "." for b in row)
        rows.append(f"{at // 16:08x}: {digits:<39}  {chars}\n")
    return "".join(rows)


assert python_dump(DATA[:100]) == mivo.dump(DATA[:100])


def best(statement, runs=7):
    return min(timeit.repeat(statement, number=1, repeat=runs))


JOBS = [
    ("encode", lambda: mivo.encode(DATA), [("bytes.hex", lambda: DATA.hex()),
                                            ("binascii.hexlify", lambda: binascii.hexlify(DATA))]),
    ("encode, sep=' '", lambda: mivo.encode(DATA, " "), [("bytes.hex(' ')", lambda: DATA.hex(" "))]),
    ("decode", lambda: mivo.decode(TEXT), [("bytes.fromhex", lambda: bytes.fromhex(TEXT)),
                                            ("binascii.unhexlify", lambda: binascii.unhexlify(TEXT))]),
    ("decode, spaced pairs", lambda: mivo.decode(SPACED),
     [("bytes.fromhex", lambda: bytes.fromhex(SPACED))]),
    ("dump", lambda: mivo.dump(DATA), [("Python, hexlify per row", lambda: python_dump(DATA))]),
]

print("| job (1 MiB) | mivo | peer | peer time | mivo faster by |")
print("| --- | ---: | --- | ---: | ---: |")
for job, mine, peers in JOBS:
    mine_s = best(mine)
    for name, theirs in peers:
        theirs_s = best(theirs, 3 if "Python" in name else 7)
        print(f"| {job} | {mine_s * 1e3:.3f} ms | {name} | {theirs_s * 1e3:.3f} ms | "
              f"{theirs_s / mine_s:.1f}x |")
