#!/usr/bin/env python3
"""Sums the GoogleTest XML reports of each side and prints the counts.

Usage: count_results.py [--failed-runs N] LABEL=DIR...   N test programs
that failed without leaving a report count as failures too. Exit status 1
when a test failed or a side has no report at all.
"""
import glob
import sys
import xml.etree.ElementTree as ET


def count(directory):
    tests = failures = skipped = files = 0
    for path in sorted(glob.glob(f"{directory}/*.xml")):
        files += 1
        try:
            root = ET.parse(path).getroot()
        except ET.ParseError:
            failures += 1
            continue
        tests += int(root.get("tests", 0))
        failures += int(root.get("failures", 0)) + int(root.get("errors", 0))
        skipped += int(root.get("disabled", 0)) + int(root.get("skipped", 0))
    return files, tests, failures, skipped


def main():
    total_passed = total_failed = total_skipped = 0
    ok = True
    args = sys.argv[1:]
    if args[:1] == ["--failed-runs"]:
        total_failed += int(args[1])
        args = args[2:]
    for arg in args:
        label, directory = arg.split("=", 1)
        files, tests, failures, skipped = count(directory)
        passed = tests - failures - skipped
        print(f"{label}: {tests} tests in {files} executables, {passed} passed, "
              f"{failures} failed, {skipped} skipped")
        if files == 0:
            ok = False
        total_passed += passed
        total_failed += failures
        total_skipped += skipped
    print(f"{total_passed} passed, {total_failed} failed, {total_skipped} skipped")
    return 0 if ok and total_failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
