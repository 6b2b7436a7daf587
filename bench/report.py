"""Prints the benchmark's figures against their floors, from the RESULT and
PROFILE lines bench_driver and the profiles wrote, with the machine and date.

usage: report.py RESULTS RELEASE_EXE PASS_ROWS RUNS RUNS_LARGE PASS_RUNS
"""
import datetime
import os
import subprocess
import sys

import pefile


def read(path):
    results, profile = {}, {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 3 and parts[0] == "RESULT":
                results[parts[1]] = float(parts[2])
            elif len(parts) == 3 and parts[0] == "PROFILE":
                profile[parts[1]] = float(parts[2])
    return results, profile


def machine():
    cpu = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem_kb = int(f.readline().split()[1])
    load = os.getloadavg()
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return [
        f"date:    {datetime.datetime.now().astimezone().strftime('%Y-%m-%d %H:%M %Z')}",
        f"machine: {os.cpu_count()} CPUs ({cpu}), {mem_kb / 1048576:.1f} GiB memory, "
        f"load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}",
        f"wine:    {wine}",
    ]


def row(name, value, floor, unit, target=None, floor_name=""):
    ratio = value / floor if floor else float("nan")
    verdict = ""
    if target is not None:
        verdict = f"target <= {target:.2f}x  {'met' if ratio <= target else 'NOT MET'}"
    return (f"{name:<40} {value:>10.1f} {unit:<3} {floor:>10.1f} {unit:<3} {ratio:>6.2f}x  "
            f"{verdict:<22} {floor_name}")


def main():
    results, profile = read(sys.argv[1])
    exe, pass_rows = sys.argv[2], int(sys.argv[3])
    runs, runs_large, pass_runs = sys.argv[4], sys.argv[5], sys.argv[6]
    r = results.get
    out = machine()
    out.append(f"medians of {runs} runs (10,000 products: {runs_large}; pass: {pass_runs})")
    out.append("")
    out.append(f"{'figure':<40} {'value':>14} {'floor':>14} {'ratio':>7}")

    for n in (10, 1000, 10000):
        if f"start.app.{n}" not in results:
            continue
        app, bare = r(f"start.app.{n}"), r(f"start.bare.{n}")
        if n == 10:
            out.append(row("start to window shown, 10 products", app, bare, "ms", 1.25, "bare window"))
        elif n == 1000:
            out.append(row("start to window shown, 1,000 products", app, bare, "ms", None, "bare window"))
        else:
            loop = r("regloop.10000", 0.0)
            out.append(row("start to window shown, 10,000 products", app, bare + loop, "ms", 1.5,
                           "bare window + raw registry loop"))
            if "start.app.10" in results:
                load = app - r("start.app.10")
                out.append(row("loading 10,000 products", load, loop, "ms", None,
                               "raw RegEnumValueW+RegQueryValueExW loop (start-up 10,000 - 10)"))

    n = pass_rows
    if f"pass.{n}" in results and "pass.1" in results:
        # Click to exit with one row, less one raw start-and-wait: the pass's
        # fixed part (finishing actions and the process's exit).
        fixed = r("pass.1") - r("raw_spawn.1")
        out.append(row(f"uninstall pass, {n} ticked rows", r(f"pass.{n}") - fixed, r(f"raw_spawn.{n}"), "ms", 1.1,
                       "raw CreateProcessW+WaitForSingleObject loop"))
        out.append(row(f"  click to exit, {n} rows (as measured)", r(f"pass.{n}"), r(f"raw_spawn.{n}"), "ms", None,
                       "same raw loop"))
        out.append(f"  fixed part subtracted: {fixed:.1f} ms (click to exit with 1 row {r('pass.1'):.1f} ms, "
                   f"less one raw start {r('raw_spawn.1'):.1f} ms)")

    if "exit.app.10" in results:
        out.append(row("close to process ended, 10 products", r("exit.app.10"), r("exit.bare.10"), "ms", None,
                       "bare window"))
        out.append(row("peak working set, 10 products", r("peak_ws_kb.app.10") / 1024,
                       r("peak_ws_kb.bare.10") / 1024, "MiB", None, "bare window"))
        out.append(row("peak pagefile usage, 10 products", r("peak_pagefile_kb.app.10") / 1024,
                       r("peak_pagefile_kb.bare.10") / 1024, "MiB", None, "bare window"))
    if "exit.app.10000" in results:
        out.append(row("peak working set, 10,000 products", r("peak_ws_kb.app.10000") / 1024,
                       r("peak_ws_kb.bare.10000") / 1024, "MiB", None, "bare window"))

    size = os.path.getsize(exe)
    out.append(row("release exe size (i686)", size / 1024, 200, "KiB", 1.0, "200 KiB budget"))
    pe = pefile.PE(exe, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    imports = [f"{e.dll.decode()} ({len(e.imports)})" for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    out.append(f"release exe imports: {', '.join(imports)}")

    if profile:
        out.append("")
        out.append("where the product's start-up goes (one run each, in-process, ms):")
        for key in sorted(profile):
            out.append(f"  {key:<48} {profile[key]:>10.1f}")
    print("\n".join(out))


if __name__ == "__main__":
    main()
