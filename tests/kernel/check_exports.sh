#!/usr/bin/env bash
# The kernel's shared library must export exactly its eleven interface functions.
set -euo pipefail
library=$1
expected="abi_version collect create destroy input_view output_view process push_event reset runtime_init set_panic_sink"
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
wanted=$(for op in $expected; do echo "scpr_music_kelvo_drum_synth_c1cf50803a37_$op"; done | sort)
if [ "$actual" != "$wanted" ]; then
  echo "exported symbols differ from the interface:"
  diff <(echo "$wanted") <(echo "$actual") || true
  exit 1
fi
echo "exactly the eleven interface symbols are exported"
