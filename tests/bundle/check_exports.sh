#!/usr/bin/env bash
# The bundle's module exports its three entry points and C functions named
# kelvo… only: no kernel, SDK or C++ runtime symbol is visible to a host.
set -euo pipefail
bundle=$1
name=$(basename "$bundle" .vst3)
module="$bundle/Contents/x86_64-linux/$name.so"
exports=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
for entry in GetPluginFactory ModuleEntry ModuleExit; do
  if ! grep -qx "$entry" <<<"$exports"; then
    echo "missing export: $entry"
    exit 1
  fi
done
stray=$(grep -vxE 'GetPluginFactory|ModuleEntry|ModuleExit|kelvo[A-Za-z0-9_]*' <<<"$exports" || true)
if [ -n "$stray" ]; then
  echo "unexpected exports:"
  echo "$stray"
  exit 1
fi
echo "exports: $(tr '\n' ' ' <<<"$exports")"
