#!/usr/bin/env bash
# gtest_run.sh REPORT CMD ARGS...: runs a test executable and fails when it
# left no report, so a run cut short (a Wine process ended from outside) is
# never counted as passed. The stale report of an earlier run goes first.
#
# The program's output goes through a file: processes a Wine program starts
# (wineserver, services.exe, explorer.exe) outlive it holding its output, and
# CTest would wait for a pipe they hold until its timeout. A run that never
# ends is stopped before CTest's own limit, naming the test it was in.
report=$1
shift
rm -f "$report"
output=$(mktemp)
trap 'rm -f "$output"' EXIT
timeout -k 10 "${KAVI_TEST_LIMIT:-540}" "$@" >"$output" 2>&1
status=$?
cat "$output"
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
  echo "gtest_run: $1 did not end within ${KAVI_TEST_LIMIT:-540} s; it was in:" \
    "$(grep -a '^\[ RUN' "$output" | tail -1)" >&2
elif [ "$status" -eq 0 ] && [ ! -s "$report" ]; then
  echo "gtest_run: $1 ended without its report $report" >&2
  exit 1
fi
exit "$status"
