#!/usr/bin/env bash
# gtest_run.sh REPORT CMD ARGS...: runs a test executable and fails when it
# left no report, so a run cut short (a Wine process ended from outside) is
# never counted as passed. The stale report of an earlier run goes first.
report=$1
shift
rm -f "$report"
"$@"
status=$?
if [ "$status" -eq 0 ] && [ ! -s "$report" ]; then
  echo "gtest_run: $1 ended without its report $report" >&2
  exit 1
fi
exit "$status"
