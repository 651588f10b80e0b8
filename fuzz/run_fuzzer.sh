#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over a scratch copy of its seed
# corpus, so the seeds in the repository never change during a test run.
set -euo pipefail
fuzzer=$1
seeds=$2
seconds=${3:-30}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/corpus" "$scratch/artifacts"
if [ -d "$seeds" ]; then cp -r "$seeds"/. "$scratch/corpus/"; fi
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$scratch/artifacts/" "$scratch/corpus"
