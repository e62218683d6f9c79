#!/usr/bin/env bash
# Fails when the library exports a symbol other than the KestrelAds operations,
# the C interface's kestrel_* functions and TestDeviceInfo.
set -euo pipefail
lib=$1
symbols=$(nm -DC --defined-only "$lib" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }')
echo "$symbols"
grep -q '^kestrel::KestrelAds::InitializeAsync' <<<"$symbols" || { echo "KestrelAds is not exported"; exit 1; }
grep -qx 'kestrel_version' <<<"$symbols" || { echo "The C interface is not exported"; exit 1; }
unexpected=$(grep -v -E '^(kestrel::KestrelAds::|kestrel_[a-z_]+$|TestDeviceInfo$|KESTREL|$)' <<<"$symbols" || true)
if [[ -n "$unexpected" ]]; then
  echo "Unexpected exported symbols:"
  echo "$unexpected"
  exit 1
fi
