# Shared by the scripts: the development service host (tools/devhost) with
# the demo catalogue, on the port the program is built to use (18080 unless
# KAVI_DEVHOST_PORT says otherwise). Its state, the demo images included,
# stays in build/devhost between runs.

# Starts the host and waits until it answers; it is stopped when the calling
# script exits. Call it after kavi_ensure_display, whose exit trap it keeps.
kavi_start_devhost() {
  local state="$KAVI_ROOT/build/devhost"
  local ready="$state/ready.url"
  local port="${KAVI_DEVHOST_PORT:-18080}"
  mkdir -p "$state"
  rm -f "$ready"
  python3 "$KAVI_ROOT/tools/devhost/devhost.py" serve --demo --port "$port" \
    --state "$state" --ready-file "$ready" &
  KAVI_DEVHOST_PID=$!
  local previous
  previous=$(trap -p EXIT)
  previous=${previous#"trap -- '"}
  previous=${previous%"' EXIT"}
  trap "kavi_stop_devhost; ${previous:-:}" EXIT
  # The first start generates the demo images (a few seconds).
  for _ in $(seq 1500); do
    [ -f "$ready" ] && return 0
    if ! kill -0 "$KAVI_DEVHOST_PID" 2>/dev/null; then
      echo "devhost: could not start on 127.0.0.1:$port (port in use?)" >&2
      KAVI_DEVHOST_PID=
      return 1
    fi
    sleep 0.2
  done
  echo "devhost: no answer after 5 minutes" >&2
  return 1
}

kavi_stop_devhost() {
  [ -n "${KAVI_DEVHOST_PID:-}" ] || return 0
  kill "$KAVI_DEVHOST_PID" 2>/dev/null || true
  wait "$KAVI_DEVHOST_PID" 2>/dev/null || true
  KAVI_DEVHOST_PID=
}
