#!/usr/bin/env python3
"""gbench_row.py JSON NAME UNIT OURS [REFERENCE]: one row for the benchmark
table (tab-separated, see bench_table.py) from a Google Benchmark JSON
report: the real time per iteration of the benchmark OURS against that of
REFERENCE, in UNIT (ns, us or ms). Without REFERENCE the row has none."""
import json
import sys

SCALE = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def nanoseconds(report, name):
    for run in report["benchmarks"]:
        # Options a benchmark was registered with follow its name: "BM_X/min_time:2.000".
        base = run["name"].split("/")[0]
        if base == name and run.get("run_type", "iteration") == "iteration":
            return run["real_time"] * SCALE[run["time_unit"]]
    sys.exit(f"gbench_row: no benchmark {name} in the report")


def main():
    path, name, unit, ours = sys.argv[1:5]
    reference = sys.argv[5] if len(sys.argv) > 5 else None
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    ours_value = nanoseconds(report, ours) / SCALE[unit]
    reference_value = f"{nanoseconds(report, reference) / SCALE[unit]:.3f}" if reference else "-"
    print(f"{name}\t{ours_value:.3f}\t{reference_value}\t{unit}\tlower")


if __name__ == "__main__":
    main()
