#!/usr/bin/env bash
# Runs a command with a display of its own: a private Xvfb server (24-bit colour, no network,
# no authority file needed) on the first free display number, ended when the command ends.
#
#   with_display.sh COMMAND [ARGS...]
#
# Exits with the command's status (77 from it still means skipped). Without Xvfb the check
# fails: scripts/setup installs it, and only missing 32-bit wine may skip a wine check.
set -euo pipefail

if ! command -v Xvfb >/dev/null; then
  echo "FAILED: Xvfb is not installed (package xvfb), so no window can be drawn" >&2
  exit 1
fi
number=$(mktemp)
log=$(mktemp)
server=""
cleanup() {
  if [[ -n $server ]]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -f "$number" "$log"
}
trap cleanup EXIT
# Xvfb writes the display number it took to the descriptor once it accepts clients.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number" 2>"$log" </dev/null &
server=$!
for _ in $(seq 100); do
  [[ -s $number ]] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
if [[ ! -s $number ]]; then
  echo "FAILED: Xvfb did not start: $(tail -n 3 "$log")" >&2
  exit 1
fi
export DISPLAY=:$(tr -d '\n' <"$number")
code=0
"$@" || code=$?
exit "$code"
