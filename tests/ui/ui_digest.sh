#!/bin/sh
# The editor page's content digest, as ui/manifest.json reports it: the
# SHA-256 of the sha256sum listing of every file in the folder except the
# manifest, sorted by path.
#   ui_digest.sh <ui dir>            prints it
#   ui_digest.sh <ui dir> --check    fails when the manifest holds another one
#   ui_digest.sh <ui dir> --update   writes it into the manifest
set -eu
ui=$1
digest=$(cd "$ui" && find . -type f ! -path ./manifest.json | LC_ALL=C sort |
  xargs -d '\n' sha256sum | sha256sum | cut -d' ' -f1)
case "${2:-}" in
  "") echo "$digest" ;;
  --check)
    if ! grep -q "\"sha256\": \"$digest\"" "$ui/manifest.json"; then
      echo "ui/manifest.json does not hold the page's digest $digest;"
      echo "run: tests/ui/ui_digest.sh ui --update"
      exit 1
    fi ;;
  --update)
    sed -i "s/\"sha256\": \"[0-9a-f]*\"/\"sha256\": \"$digest\"/" "$ui/manifest.json" ;;
  *) echo "usage: $0 <ui dir> [--check|--update]" >&2; exit 2 ;;
esac
