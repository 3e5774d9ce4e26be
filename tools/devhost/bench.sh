#!/usr/bin/env bash
# tools/devhost/bench.sh: loopback download speed of the development service
# host, measured with curl against curl reading the same file from the page
# cache (file://) in the same run. Prints both and their ratio. Uses the demo
# images in build/devhost (generated on first use).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
state="$root/build/devhost"
ready=$(mktemp)
rm -f "$ready"
python3 "$root/tools/devhost/devhost.py" serve --demo --port 0 --state "$state" \
  --ready-file "$ready" >/dev/null &
host=$!
trap 'kill $host 2>/dev/null; wait $host 2>/dev/null; rm -f "$ready"' EXIT
for _ in $(seq 1500); do [ -s "$ready" ] && break; sleep 0.2; done
url=$(cat "$ready")

best() {  # best of three, in MB/s
  local top=0 speed
  for _ in 1 2 3; do
    speed=$(curl -s -o /dev/null -w '%{speed_download}' "$1")
    speed=${speed%.*}
    [ "$speed" -gt "$top" ] && top=$speed
  done
  echo $((top / 1000000))
}

for image in WIN7_32.GHO WIN10_64.GHO; do
  http=$(best "$url/images/$image")
  file=$(best "file://$state/files/images/$image")
  echo "$image: devhost ${http} MB/s, file:// ${file} MB/s, ratio $(awk "BEGIN{printf \"%.2f\", $http/$file}")"
done
# Four downloads at once, one connection each.
start=$(date +%s.%N)
for _ in 1 2 3 4; do curl -s -o /dev/null "$url/images/WIN7_64.GHO" & done
wait $(jobs -p | grep -v "^$host$") 2>/dev/null || true
end=$(date +%s.%N)
size=$(stat -c %s "$state/files/images/WIN7_64.GHO")
echo "4 parallel: $(awk "BEGIN{printf \"%.0f\", 4*$size/($end-$start)/1e6}") MB/s in total"
