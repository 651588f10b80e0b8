#!/bin/sh
# The editor page in headless Chromium against the real plug-in:
#   run_browser_tests.sh <tests/ui source dir> <work dir> <tambro-ui-harness> <bundle> <artifact dir>
# Installs the pinned playwright-core into the work dir when it is missing
# or its lock file changed, starts the harness, runs the tests, stops it.
# Exits 77 (skipped) when node, npm or Debian's chromium is missing.
set -eu
source_dir=$1 work=$2 harness=$3 bundle=$4 artifacts=$5
chromium=/usr/bin/chromium

for tool in node npm; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
[ -x "$chromium" ] || { echo "skipped: $chromium is not installed"; exit 77; }

mkdir -p "$work" "$artifacts"
# The tests sit beside node_modules: modules are found from their own place.
cp "$source_dir/package.json" "$source_dir/package-lock.json" "$source_dir"/*.test.mjs "$work/"
if ! cmp -s "$work/package-lock.json" "$work/node_modules/.installed-lock.json"; then
  # Never a downloaded browser: the tests use Debian's chromium.
  (cd "$work" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund)
  cp "$work/package-lock.json" "$work/node_modules/.installed-lock.json"
fi

# The harness reads its standard input from this fifo: it ends, and the
# harness exits, whenever this script does, however it ends.
fifo="$work/harness.stdin"
rm -f "$fifo"
mkfifo "$fifo"
"$harness" --bundle "$bundle" --port 0 <"$fifo" >"$work/harness.out" 2>"$work/harness.err" &
harness_pid=$!
exec 3>"$fifo"
rm -f "$fifo"
stop_harness() {
  exec 3>&-
  wait "$harness_pid" 2>/dev/null || true
}
trap stop_harness EXIT

url=""
for _ in $(seq 100); do
  url=$(head -n 1 "$work/harness.out")
  [ -n "$url" ] && break
  kill -0 "$harness_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$url" ]; then
  echo "the harness did not start:"
  cat "$work/harness.err"
  exit 1
fi

cd "$work"
status=0
HARNESS_URL=$url CHROMIUM=$chromium ARTIFACTS=$artifacts \
  node --test "$work/editor_page.test.mjs" || status=$?
if [ "$status" -ne 0 ]; then
  echo "--- harness stderr"
  cat "$work/harness.err"
fi
exit "$status"
