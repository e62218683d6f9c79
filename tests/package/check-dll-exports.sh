#!/usr/bin/env bash
# Fails when the Windows DLL exports a symbol other than the KestrelAds operations,
# the C interface's kestrel_* functions and TestDeviceInfo, or needs a MinGW runtime DLL beside it; reads its export
# and import tables with the cross objdump.
set -euo pipefail
dll=$1
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}
cxxfilt=${CXXFILT:-x86_64-w64-mingw32-c++filt}
table=$("$objdump" -p "$dll")
grep -q "There is an export table" <<<"$table" || { echo "$dll has no export table"; exit 1; }
runtime=$(grep -o -i -E 'DLL Name: (libwinpthread|libstdc\+\+|libgcc)[^ ]*' <<<"$table" || true)
if [[ -n "$runtime" ]]; then
  echo "$dll needs MinGW runtime DLLs: $runtime"
  exit 1
fi
# The name pointer table lists one "[ n] name" line per exported name.
symbols=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$table" | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] //p' |
  "$cxxfilt")
echo "$symbols"
grep -q '^kestrel::KestrelAds::InitializeAsync' <<<"$symbols" || { echo "KestrelAds is not exported"; exit 1; }
grep -qx 'TestDeviceInfo' <<<"$symbols" || { echo "TestDeviceInfo is not exported"; exit 1; }
grep -qx 'kestrel_version' <<<"$symbols" || { echo "The C interface is not exported"; exit 1; }
unexpected=$(grep -v -E '^(kestrel::KestrelAds::|kestrel_[a-z_]+$|TestDeviceInfo$|$)' <<<"$symbols" || true)
if [[ -n "$unexpected" ]]; then
  echo "Unexpected exported symbols:"
  echo "$unexpected"
  exit 1
fi
