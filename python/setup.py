"""Builds the mivo extension from the library's sources: `pip install --no-build-isolation ./python`
works offline with Debian's python3-pybind11 and python3-setuptools. Each CPU's kernel is
compiled with the flags for its instructions; the library picks one at run time."""

import os
import platform
import re

from pybind11.setup_helpers import Pybind11Extension, build_ext
from setuptools import setup

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
LIB = os.path.join(ROOT, "lib")


def version():
    with open(os.path.join(LIB, "include", "mivo", "config.hpp"), encoding="utf-8") as header:
        text = header.read()
    parts = [re.search(rf"#define MIVO_VERSION_{p} (\d+)", text).group(1)
             for p in ("MAJOR", "MINOR", "PATCH")]
    return ".".join(parts)


MACHINE = platform.machine().lower()
PORTABLE = [os.path.join(LIB, f) for f in sorted(os.listdir(LIB)) if f.endswith(".cpp")]
PORTABLE += [os.path.join(LIB, "kernels", f) for f in ("scalar.cpp", "cpu.cpp", "dispatch.cpp")]
# The kernels and the instructions each needs, as the CMake build has them.
if MACHINE in ("x86_64", "amd64"):
    KERNELS = {"ssse3.cpp": ["-mssse3"], "avx2.cpp": ["-mavx2"],
               "avx512.cpp": ["-mavx512f", "-mavx512bw", "-mavx512vbmi"]}
    DEFINES = [("MIVO_X86_KERNELS", None)]
elif MACHINE in ("aarch64", "arm64"):
    KERNELS = {"neon.cpp": []}
    DEFINES = [("MIVO_NEON_KERNEL", None)]
else:
    KERNELS, DEFINES = {}, []
DEFINES += [("MIVO_STATIC", None), ("MIVO_BUILDING", None)]
FLAGS = ["-std=c++20", "-fvisibility=hidden", "-O2"]


class build_with_kernels(build_ext):
    """Compiles each kernel with its own flags, then links it into the extension."""

    def build_extension(self, ext):
        objects = []
        for name, flags in KERNELS.items():
            objects += self.compiler.compile(
                [os.path.join(LIB, "kernels", name)], output_dir=self.build_temp,
                macros=DEFINES, include_dirs=[os.path.join(LIB, "include"), LIB],
                extra_postargs=FLAGS + flags)
        ext.extra_objects = objects
        super().build_extension(ext)


setup(
    name="mivo",
    version=version(),
    description="Bytes to and from hexadecimal text, and hex dumps, at the speed of memory",
    packages=["mivo"],
    package_data={"mivo": ["__init__.pyi", "py.typed"]},
    ext_modules=[Pybind11Extension(
        "mivo._mivo", [os.path.join(HERE, "src", "module.cpp")] + PORTABLE,
        include_dirs=[os.path.join(LIB, "include"), LIB], define_macros=DEFINES,
        extra_compile_args=FLAGS)],
    cmdclass={"build_ext": build_with_kernels},
    python_requires=">=3.9",
)
