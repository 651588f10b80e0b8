#!/usr/bin/env bash
# Runs a program on a private Xvfb display it starts and stops itself.
# Exit 77 (skipped) when Xvfb or ImageMagick is missing.
set -uo pipefail
for tool in Xvfb import identify; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool missing"; exit 77; }
done
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1920x1280x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -f "$fifo"' EXIT
if ! read -r -t 10 display <"$fifo"; then
  echo "Xvfb did not start"
  exit 1
fi
DISPLAY=":$display" "$@"
