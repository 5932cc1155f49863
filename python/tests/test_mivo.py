"""mivo for Python: agreement with bytes.hex, bytes.fromhex and binascii, errors with their
position, dumps read back in every layout, every kind of buffer, and threads."""

import array
import binascii
import io
import mmap
import os
import random
import threading

import pytest

import mivo

try:
    from hypothesis import given, settings
    from hypothesis import strategies as st
except ImportError:  # pragma: no cover - Debian ships it, pip installs may not
    given = None


def random_bytes(n, seed=1):
    return random.Random(seed).randbytes(n)


SIZES = [0, 1, 2, 3, 15, 16, 17, 1000, 4097, 70000]


@pytest.mark.parametrize("n", SIZES)
@pytest.mark.parametrize("sep", [None, ":", "-", b" "])
@pytest.mark.parametrize("per", [1, 2, 3, -3, 0, 7, -7])
def test_encode_is_bytes_hex(n, sep, per):
    data = random_bytes(n, n)
    want = data.hex() if sep is None else data.hex(sep, per)
    assert mivo.encode(data, sep, per if sep is not None else 1) == want
    assert mivo.encode_bytes(data, sep, per if sep is not None else 1) == want.encode()
    if sep is not None:
        assert mivo.encode_bytes(data, sep, per) == binascii.hexlify(data, sep, per)


def test_encode_options():
    assert mivo.encode(b"\xde\xad", upper=True) == "DEAD"
    assert mivo.encode(b"\xde\xad\xbe", ", ", prefix="0x") == "0xde, 0xad, 0xbe"
    assert mivo.encode(b"\xde\xad", prefix=b"\\x") == "\\xde\\xad"
    assert mivo.encode(b"\x01\x02\x03", "::", 2) == "01::0203"


@pytest.mark.parametrize("n", SIZES)
def test_decode_is_bytes_fromhex(n):
    data = random_bytes(n, n + 1)
    spaced = " ".join(f"{b:02x}" for b in data) + "\n\t"
    assert mivo.decode(spaced) == bytes.fromhex(spaced) == data
    assert mivo.decode(spaced.encode()) == data
    assert mivo.decode(data.hex().upper(), strict=True) == data


def test_decode_forms():
    assert mivo.decode("de:ad:be:ef", ignore=":") == b"\xde\xad\xbe\xef"
    assert mivo.decode("0xde, 0xad", ignore=", ", prefix="0x") == b"\xde\xad"
    assert mivo.decode("\\xde\\xad", prefix="\\x") == b"\xde\xad"
    assert mivo.decode(b"0xdead 0xbeef", prefix=b"0x") == b"\xde\xad\xbe\xef"


@pytest.mark.parametrize(
    "text, kwargs, position",
    [
        ("dez0", {}, 2),
        ("de f", {"strict": True}, 2),
        ("abc", {}, 2),  # a lone last digit
        ("0x0x12", {"prefix": "0x"}, 3),
        ("de:ag", {"ignore": ":"}, 4),
        ("déad", {}, 1),  # positions count characters, as Python does
        ("ab\u20acd", {}, 2),
    ],
)
def test_errors_name_their_position(text, kwargs, position):
    with pytest.raises(mivo.DecodeError) as caught:
        mivo.decode(text, **kwargs)
    assert isinstance(caught.value, ValueError)
    assert caught.value.position == position
    assert str(caught.value).startswith(("Mivo.to_char:", "Hex conversion:"))


def test_bad_arguments():
    with pytest.raises(TypeError):
        mivo.encode("text is not bytes")
    with pytest.raises(TypeError):
        mivo.encode(b"ab", 5)
    with pytest.raises(TypeError):
        mivo.decode(12)
    with pytest.raises(ValueError):
        mivo.encode(b"ab", "\u20ac")
    with pytest.raises(ValueError):
        mivo.encode_into(bytearray(3), b"ab")
    with pytest.raises(ValueError):
        mivo.decode_into(bytearray(1), "abcd")
    with pytest.raises((TypeError, BufferError)):
        mivo.encode_into(b"read only", b"ab")


@pytest.mark.parametrize(
    "make",
    [
        bytes,
        bytearray,
        memoryview,
        lambda b: array.array("B", b),
        lambda b: memoryview(b)[::1],
    ],
)
def test_every_buffer_type(make):
    data = random_bytes(300)
    assert mivo.encode(make(data)) == data.hex()
    assert mivo.decode(make(data.hex().encode())) == data
    assert mivo.undump(mivo.dump(make(data))) == data


def test_mmap_and_numpy():
    data = random_bytes(5000)
    with mmap.mmap(-1, len(data)) as m:
        m.write(data)
        assert mivo.encode(m) == data.hex()
    numpy = pytest.importorskip("numpy")
    assert mivo.encode(numpy.frombuffer(data, dtype=numpy.uint8)) == data.hex()
    assert mivo.encode(numpy.frombuffer(data, dtype=numpy.uint32)) == data.hex()


def test_into_buffers_allocate_nothing_and_say_how_much():
    data = random_bytes(100)
    out = bytearray(300)
    assert mivo.encode_into(out, data, ":") == 299
    assert out[:299].decode() == data.hex(":")
    back = bytearray(100)
    assert mivo.decode_into(back, out[:299], ignore=":") == 100
    assert back == data


LAYOUTS = [
    {},
    {"offsets": True},
    {"offsets": True, "first_offset": 0x1000},
    {"row_numbers": False},
    {"chars": False},
    {"upper": True},
    {"squeeze": True},
    {"color": True},
    {"offsets": True, "squeeze": True, "upper": True, "color": True},
]


@pytest.mark.parametrize("layout", LAYOUTS)
@pytest.mark.parametrize("n", [0, 1, 16, 17, 1000])
def test_dumps_read_back_in_every_layout(layout, n):
    data = random_bytes(n, n) + bytes(64) + random_bytes(n, n)
    text = mivo.dump(data, **layout)
    labels = {k: v for k, v in layout.items() if k in ("offsets", "row_numbers", "first_offset")}
    back = mivo.undump(text, **labels)
    if layout.get("offsets") and layout.get("first_offset"):
        back = back[layout["first_offset"]:]
    assert back == data


def test_dump_is_the_tools_layout():
    assert mivo.dump(b"hello") == "00000000: 6865 6c6c 6f                             hello\n"
    assert mivo.dump(b"") == ""
    with pytest.raises(ValueError):
        mivo.dump(b"x", squeeze=True, row_numbers=False)


def test_undump_errors_name_line_and_column():
    with pytest.raises(mivo.DecodeError) as caught:
        mivo.undump("00000000: 6865\n00000001: 6g65\n")
    assert (caught.value.line, caught.value.column) == (2, 12)


def test_streaming_writers_match_the_one_shot_forms():
    data = random_bytes(10000)
    text = io.StringIO()
    with mivo.DumpWriter(text, offsets=True) as writer:
        for at in range(0, len(data), 777):
            writer.write(data[at:at + 777])
    assert text.getvalue() == mivo.dump(data, offsets=True)

    hex_text = data.hex(":")
    out = io.BytesIO()
    with mivo.Decoder(out, ignore=":") as decoder:
        for at in range(0, len(hex_text), 101):
            decoder.write(hex_text[at:at + 101])
    assert out.getvalue() == data

    with pytest.raises(mivo.DecodeError) as caught:
        with mivo.Decoder(io.BytesIO()) as decoder:
            decoder.write("6162")
            decoder.write("6z")
    assert caught.value.position == 5


def test_threads_run_in_parallel_and_agree():
    data = random_bytes(4 << 20)
    want = data.hex()
    results = []

    def work():
        results.append(mivo.encode(data) == want and mivo.decode(want) == data)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [True] * 4


def test_a_bytearray_resized_during_a_call_is_safe():
    data = bytearray(random_bytes(8 << 20))
    original = bytes(data)
    done = threading.Event()
    outcome = []

    def encode():
        try:
            outcome.append(mivo.encode(data))
        finally:
            done.set()

    worker = threading.Thread(target=encode)
    worker.start()
    refused = 0
    while not done.is_set():
        try:
            data.extend(b"x")  # refused while mivo holds the buffer
        except BufferError:
            refused += 1
    worker.join()
    # The call saw the bytes as they stood when it took the buffer, and none changed under it.
    assert len(outcome) == 1
    seen = bytes.fromhex(outcome[0])
    assert seen[: len(original)] == original and set(seen[len(original):]) <= {ord("x")}


if given is not None:

    @settings(max_examples=200, deadline=None)
    @given(st.binary(max_size=300), st.sampled_from([":", " ", "-"]), st.integers(-9, 9))
    def test_encode_agrees_with_bytes_hex_anywhere(data, sep, per):
        assert mivo.encode(data, sep, per) == data.hex(sep, per)
        assert mivo.decode(mivo.encode(data, sep, per), ignore=sep) == data

    @settings(max_examples=200, deadline=None)
    @given(st.text(alphabet="0123456789abcdefABCDEF \tg", max_size=40))
    def test_decode_accepts_what_fromhex_accepts(text):
        try:
            want = bytes.fromhex(text)
        except ValueError:
            return
        assert mivo.decode(text) == want


def test_help_explains_with_an_example():
    assert ">>> mivo.encode(" in mivo.encode.__doc__
    assert ">>> mivo.decode(" in mivo.decode.__doc__
