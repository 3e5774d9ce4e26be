# Emulated lines for scripts/bench-lines: three network namespaces, client,
# line and server, joined by two veth pairs (client c0 - l0 line l1 - s0
# server). The line namespace holds the line: scripts/lib/line_delay.c
# carries every frame across after half the round trip (this kernel may
# have no netem), an nftables rule on each way out drops a share of them at
# random, and tbf holds each way to the line's rate. The client is
# 10.228.0.1, the server 10.228.0.2; nothing else is addressed.
# Needs root. kavi_lines_down removes everything kavi_lines_up made.

# The tools of the lines and the reference downloader, installed when
# missing (like nginx for the benchmarks).
kavi_lines_need_tools() {
  local missing=() tool package
  for tool in aria2c:aria2 nft:nftables tc:iproute2 ping:iputils-ping; do
    package=${tool#*:}
    command -v "${tool%%:*}" >/dev/null || missing+=("$package")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "bench: installing ${missing[*]}" >&2
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
}

KAVI_LINES_CLIENT_IP=10.228.0.1
KAVI_LINES_SERVER_IP=10.228.0.2

# kavi_lines_up TAG: makes the namespaces kavi-TAG-client, -line and
# -server, sets KAVI_LINES_CLIENT/_LINE/_SERVER to their names. The server
# sends with cubic, as most mirrors do; the host may not allow it to
# namespaces, so it is allowed while the lines are up.
kavi_lines_up() {
  local tag=$1
  KAVI_LINES_CLIENT=kavi-$tag-client KAVI_LINES_LINE=kavi-$tag-line KAVI_LINES_SERVER=kavi-$tag-server
  local ns
  for ns in "$KAVI_LINES_CLIENT" "$KAVI_LINES_LINE" "$KAVI_LINES_SERVER"; do ip netns add "$ns"; done
  ip link add c0 netns "$KAVI_LINES_CLIENT" type veth peer name l0 netns "$KAVI_LINES_LINE"
  ip link add s0 netns "$KAVI_LINES_SERVER" type veth peer name l1 netns "$KAVI_LINES_LINE"
  ip -n "$KAVI_LINES_CLIENT" addr add "$KAVI_LINES_CLIENT_IP/24" dev c0
  ip -n "$KAVI_LINES_SERVER" addr add "$KAVI_LINES_SERVER_IP/24" dev s0
  # One TCP segment per frame, so a drop loses one segment as on a real
  # line, not a burst the size of a 64 KiB send.
  local end
  for end in "$KAVI_LINES_CLIENT c0" "$KAVI_LINES_LINE l0" "$KAVI_LINES_LINE l1" \
             "$KAVI_LINES_SERVER s0"; do
    set -- $end
    ip -n "$1" link set "$2" gso_max_segs 1
    ip -n "$1" link set "$2" up
    ip -n "$1" link set lo up
  done
  KAVI_LINES_ALLOWED_CC=$(sysctl -n net.ipv4.tcp_allowed_congestion_control)
  case " $KAVI_LINES_ALLOWED_CC " in
    *" cubic "*) ;;
    *) sysctl -q -w net.ipv4.tcp_allowed_congestion_control="$KAVI_LINES_ALLOWED_CC cubic" ;;
  esac
  ip netns exec "$KAVI_LINES_SERVER" sysctl -q -w net.ipv4.tcp_congestion_control=cubic
}

kavi_lines_down() {
  kavi_lines_stop_delay
  local ns pids
  for ns in "${KAVI_LINES_CLIENT:-}" "${KAVI_LINES_LINE:-}" "${KAVI_LINES_SERVER:-}"; do
    [ -n "$ns" ] || continue
    # A run cut short leaves its downloader and server behind in the
    # namespace: they end with it.
    pids=$(ip netns pids "$ns" 2>/dev/null || true)
    [ -z "$pids" ] || kill $pids 2>/dev/null || true
    ip netns del "$ns" 2>/dev/null || true
  done
  if [ -n "${KAVI_LINES_ALLOWED_CC:-}" ]; then
    sysctl -q -w net.ipv4.tcp_allowed_congestion_control="$KAVI_LINES_ALLOWED_CC" || true
  fi
}

kavi_lines_stop_delay() {
  if [ -n "${KAVI_LINES_DELAY_PID:-}" ]; then
    kill "$KAVI_LINES_DELAY_PID" 2>/dev/null || true
    wait "$KAVI_LINES_DELAY_PID" 2>/dev/null || true
    KAVI_LINES_DELAY_PID=
  fi
}

# kavi_lines_set DELAY_PROGRAM RTT_MS LOSS_PERCENT RATE_MBIT: gives the line
# these properties, replacing earlier ones, and zeroes its drop counters.
kavi_lines_set() {
  local program=$1 rtt_ms=$2 loss=$3 rate=$4 ns=$KAVI_LINES_LINE dev
  kavi_lines_stop_delay
  # The share to drop, in ten-thousandths.
  local drop
  drop=$(python3 -c "print(round($loss * 100))")
  ip netns exec "$ns" nft flush ruleset
  ip netns exec "$ns" nft -f - <<NFT
table netdev line {
  chain to_client { type filter hook egress device "l0" priority 0; counter; numgen random mod 10000 < $drop counter drop; }
  chain to_server { type filter hook egress device "l1" priority 0; counter; numgen random mod 10000 < $drop counter drop; }
}
NFT
  # A router's queue of about 50 ms at the line's rate.
  for dev in l0 l1; do
    ip netns exec "$ns" tc qdisc replace dev "$dev" root tbf rate "${rate}mbit" burst 64kb latency 50ms
  done
  ip netns exec "$ns" "$program" l0 l1 $((rtt_ms * 500)) 2>>"$KAVI_LINES_LOG" &
  KAVI_LINES_DELAY_PID=$!
}

# kavi_lines_dropped: prints "DROPPED SEEN" frames of both ways since the
# last kavi_lines_set.
kavi_lines_dropped() {
  ip netns exec "$KAVI_LINES_LINE" nft list table netdev line | python3 -c '
import re, sys
seen = dropped = 0
for line in sys.stdin:
    m = re.search(r"counter packets (\d+)", line)
    if not m:
        continue
    if "drop" in line:
        dropped += int(m.group(1))
    else:
        seen += int(m.group(1))
print(dropped, seen)'
}

# kavi_lines_ping: prints the average round trip in ms of 20 pings.
kavi_lines_ping() {
  ip netns exec "$KAVI_LINES_CLIENT" ping -n -q -c 20 -i 0.05 -W 2 "$KAVI_LINES_SERVER_IP" |
    sed -n 's|.*= [0-9.]*/\([0-9.]*\)/.*|\1|p'
}
