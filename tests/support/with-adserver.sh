#!/usr/bin/env bash
# Runs a command against a local ad server of its own, which records every
# request in a file, with a scratch XDG_DATA_HOME for the SDK's files.
#   with-adserver.sh ADSERVER COMMAND...
# COMMAND gets two more arguments: the server's URL and the record file.
set -euo pipefail
server=$1
shift
work=$(mktemp -d)
pid=""
cleanup() {
  if [[ -n "$pid" ]]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The creative reports its view at once and closes itself a second later.
: >"$work/server.log"  # there before the server's shell has opened it, for the wait below
"$server" --port 0 --record "$work/requests.jsonl" --countdown 0 --auto-close 1 >"$work/server.log" 2>&1 &
pid=$!
url=""
for _ in $(seq 1 300); do
  url=$(sed -n 's/^kestrel-adserver listening on //p' "$work/server.log" | head -n 1)
  [[ -n "$url" ]] && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/server.log" >&2; exit 1; }
  sleep 0.1
done
[[ -n "$url" ]] || { echo "with-adserver: the ad server did not start" >&2; exit 1; }

mkdir -p "$work/data"
touch "$work/requests.jsonl"
XDG_DATA_HOME="$work/data" "$@" "$url" "$work/requests.jsonl"
