#!/usr/bin/env python3
"""bench_table.py RESULTS: prints the rows the benchmark scripts recorded
(tab-separated: name, ours, reference, unit, better) as one Markdown table
with the ratio ours / reference. "better" says which way is better for
that row: "lower" (times, memory) or "higher"."""
import sys


def number(text):
    try:
        return float(text)
    except ValueError:
        return None


def shown(value):
    if value is None:
        return "-"
    if value >= 100:
        return f"{value:.0f}"
    if value >= 10:
        return f"{value:.1f}"
    if value >= 0.1:
        return f"{value:.2f}"
    return f"{value:.2g}"


def main():
    rows = []
    with open(sys.argv[1], encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if len(fields) == 5:
                rows.append(fields)
    print("| benchmark | ours | reference | ours / reference | better |")
    print("|---|---:|---:|---:|---|")
    for name, ours_text, reference_text, unit, better in rows:
        ours, reference = number(ours_text), number(reference_text)
        ratio = ours / reference if ours is not None and reference else None
        direction = {"lower": "lower is better", "higher": "higher is better"}.get(better, better)
        print(f"| {name} ({unit}) | {shown(ours)} | {shown(reference)} | {shown(ratio)} | "
              f"{direction} |")


if __name__ == "__main__":
    main()
