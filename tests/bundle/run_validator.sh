#!/usr/bin/env bash
# Steinberg's VST 3 validator on the built bundle, in its extensive mode with
# one shared instance and with a fresh instance per test. The binary is found
# through KELVO_VST3_VALIDATOR; without it the test is skipped (exit 77).
# KELVO_VALIDATOR_PRELOAD lists sanitizer runtimes the validator must load
# before an instrumented bundle.
set -uo pipefail
bundle=$1
validator=${KELVO_VST3_VALIDATOR:-}
if [ -z "$validator" ] || [ ! -f "$validator" ]; then
  echo "skipped: KELVO_VST3_VALIDATOR does not name the validator binary"
  exit 77
fi
status=0
for mode in "-e" "-e -l"; do
  # shellcheck disable=SC2086
  output=$(LD_PRELOAD="${KELVO_VALIDATOR_PRELOAD:-}" "$validator" $mode "$bundle" 2>&1)
  code=$?
  result=$(grep -E '^Result: [0-9]+ tests passed, [0-9]+ tests failed' <<<"$output" | tail -n 1)
  echo "validator $mode: ${result:-no result line} (exit $code)"
  if [ $code -ne 0 ] || ! grep -qE ', 0 tests failed' <<<"$result"; then
    grep -B3 -A3 -E '\[(Failed|XXXXXXX Failed)' <<<"$output" || tail -n 40 <<<"$output"
    status=1
  fi
done
exit $status
