#!/usr/bin/env python3
"""Turns the benchmark's JSON output into the README's speed table and bench/speed.svg.

Usage: bench/chart.py build/bench/bench.json [bench/speed.svg]
Each figure is the best of the repetitions (the machine is shared, so the best run is the one
least disturbed), in GB/s of raw bytes. The chart is drawn by gnuplot (Debian's gnuplot-nox).
"""
import collections
import json
import subprocess
import sys
import tempfile

COLUMNS = [32, 1 << 10, 64 << 10, 1 << 20, 16 << 20]
CHART = [  # (benchmark, label)
    ("BM_op/of_string", "of_string"),
    ("BM_op/of_string_skip_lines", "of_string, skip list"),
    ("BM_op/to_string", "to_string"),
    ("BM_op/hexdump_s", "hexdump_s"),
    ("BM_encode_into", "encode_into"),
    ("BM_decode_into", "decode_into"),
    ("BM_memcpy_encoded_size", "memcpy of 2n bytes"),
    ("BM_absl_BytesToHexString", "abseil BytesToHexString"),
    ("BM_absl_HexStringToBytes", "abseil HexStringToBytes"),
    ("BM_sodium_bin2hex", "libsodium bin2hex"),
    ("BM_sodium_hex2bin", "libsodium hex2bin"),
]


def size_label(n):
    return f"{n >> 20} MiB" if n >= 1 << 20 else f"{n >> 10} KiB" if n >= 1 << 10 else f"{n} B"


def best_runs(path):
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    best = {}
    for run in runs:
        if run.get("run_type") != "iteration" or "bytes_per_second" not in run:
            continue
        name = run["run_name"].removesuffix("/iterations:1")
        best[name] = max(best.get(name, 0.0), run["bytes_per_second"] / 1e9)
    series = collections.defaultdict(dict)
    for name, gbps in best.items():
        base, _, arg = name.rpartition("/")
        if arg.isdigit():
            series[base][int(arg)] = gbps
        else:
            series[name][0] = gbps
    return series


def table(series):
    head = "| operation | " + " | ".join(size_label(n) for n in COLUMNS) + " |"
    lines = [head, "| --- |" + " ---: |" * len(COLUMNS)]
    single = []
    for base in sorted(series):
        points = series[base]
        if any(n in points for n in COLUMNS) and len(points) > 1:
            cells = [f"{points[n]:.2f}" if n in points else "" for n in COLUMNS]
            lines.append(f"| `{base}` | " + " | ".join(cells) + " |")
        else:
            for n, gbps in sorted(points.items()):
                single.append(f"| `{base}` | {size_label(n) if n else ''} | {gbps:.2f} |")
    lines += ["", "| single-size run | size | GB/s |", "| --- | --- | ---: |"] + single
    return "\n".join(lines)


def chart(series, svg):
    with tempfile.TemporaryDirectory() as work:
        plots = []
        for index, (base, label) in enumerate(CHART):
            points = series.get(base)
            if not points:
                continue
            data = f"{work}/{index}.dat"
            with open(data, "w") as f:
                for n, gbps in sorted(points.items()):
                    f.write(f"{n} {gbps}\n")
            plots.append(f"'{data}' using 1:2 with linespoints title '{label}'")
        script = f"""
set terminal svg size 900,560 dynamic font 'sans,11' background '#ffffff'
set output '{svg}'
set title 'Mivo beside its peers: best of 5 interleaved runs, AVX2 kernel'
set xlabel 'input size (bytes)'
set ylabel 'GB/s of raw bytes'
set termoption noenhanced
set logscale xy
set xtics ('32 B' 32, '1 KiB' 1024, '32 KiB' 32768, '1 MiB' 1048576, '16 MiB' 16777216)
set ytics (0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50)
set key outside right top
set grid
plot {', '.join(plots)}
"""
        subprocess.run(["gnuplot"], input=script, text=True, check=True)


def main():
    series = best_runs(sys.argv[1])
    print(table(series))
    chart(series, sys.argv[2] if len(sys.argv) > 2 else "bench/speed.svg")


if __name__ == "__main__":
    main()
