#!/usr/bin/env python3
"""The mivo tool on descriptors a careless parent may hand it: a pipe whose reader leaves, with
SIGPIPE at its default or ignored, and nonblocking standard input or output.
Usage: cli_descriptors.py MIVO CASE"""
import fcntl
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

mivo, case = sys.argv[1], sys.argv[2]


def fail(message):
    print(f"FAIL [{case}]: {message}")
    sys.exit(1)


def nonblocking(fd):
    fcntl.fcntl(fd, fcntl.F_SETFL, fcntl.fcntl(fd, fcntl.F_GETFL) | os.O_NONBLOCK)


def big_inputs(directory):
    """A file over 64 KiB for each command: the bytes to dump and encode, digits to decode."""
    data = os.urandom(3_000_000)
    paths = {"dump": os.path.join(directory, "data"), "encode": os.path.join(directory, "data"),
             "decode": os.path.join(directory, "data.hex")}
    with open(paths["dump"], "wb") as f:
        f.write(data)
    with open(paths["decode"], "w") as f:
        f.write(data.hex())
    return paths


def case_closed_pipe_exit_status():
    # Exit 0 and no message when the reader goes away, whatever SIGPIPE the parent left.
    with tempfile.TemporaryDirectory() as directory:
        for command, path in big_inputs(directory).items():
            for disposition in (signal.SIG_DFL, signal.SIG_IGN):
                child = subprocess.Popen(
                    [mivo, command, path], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    preexec_fn=lambda d=disposition: signal.signal(signal.SIGPIPE, d))
                child.stdout.read(100)
                child.stdout.close()  # as `| head -c 100` does
                err = child.stderr.read()
                if child.wait() != 0 or err:
                    fail(f"{command}, SIGPIPE {disposition.name}: exit {child.returncode}, {err!r}")


def case_nonblocking_stdin():
    # Data that arrives late on a nonblocking pipe is waited for, not an error.
    read_end, write_end = os.pipe()
    nonblocking(read_end)
    child = subprocess.Popen([mivo, "decode"], stdin=read_end, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE)
    os.close(read_end)
    for piece in (b"68", b"6", b"9\n"):
        time.sleep(0.2)
        os.write(write_end, piece)
    os.close(write_end)
    out, err = child.communicate(timeout=30)
    if child.returncode != 0 or out != b"hi" or err:
        fail(f"exit {child.returncode}, out {out!r}, err {err!r}")


def case_nonblocking_stdout():
    # A slow reader of a nonblocking pipe gets every byte.
    size = 10_000_000
    with tempfile.NamedTemporaryFile() as data:
        data.write(os.urandom(size))
        data.flush()
        read_end, write_end = os.pipe()
        nonblocking(write_end)
        child = subprocess.Popen([mivo, "encode", data.name], stdout=write_end,
                                 stderr=subprocess.PIPE)
        os.close(write_end)
        errors = []
        reader = threading.Thread(target=lambda: errors.append(child.stderr.read()))
        reader.start()
        time.sleep(0.3)  # let the pipe fill: the tool must wait, not fail
        received = 0
        while chunk := os.read(read_end, 1 << 16):
            received += len(chunk)
        os.close(read_end)
        reader.join()
        if child.wait() != 0 or received != 2 * size + 1 or errors != [b""]:
            fail(f"exit {child.returncode}, {received} of {2 * size + 1} bytes, {errors!r}")


globals()["case_" + case]()
print(f"ok [{case}]")
