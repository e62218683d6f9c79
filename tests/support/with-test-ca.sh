#!/usr/bin/env bash
# Runs a command with a test certificate authority trusted by it alone.
#   with-test-ca.sh COMMAND...
# Makes the authority (ca.pem, ca.key) in a scratch folder, and runs COMMAND in
# a private mount namespace where the system bundle that libcurl and Wine's
# certificate store read, /etc/ssl/certs/ca-certificates.crt, is replaced by a
# copy with the authority added. COMMAND finds the folder in
# KESTREL_TEST_CA_DIR; the ad server's --tls-dir takes it. Without root (or
# where no namespace can be made) COMMAND runs as it is, and the HTTPS tests
# skip, saying why.
set -euo pipefail
bundle=/etc/ssl/certs/ca-certificates.crt

if [[ $(id -u) -ne 0 ]] || ! unshare -m true 2>/dev/null || ! command -v openssl >/dev/null; then
  echo "with-test-ca: cannot make a private mount namespace (needs root, unshare and openssl)" >&2
  exec "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Kestrel Test Authority" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
{ cat "$bundle"; echo; cat "$work/ca.pem"; } >"$work/bundle.crt"

set +e
KESTREL_TEST_CA_DIR="$work" unshare -m --propagation private \
  sh -c 'mount --bind "$0" "$1" && shift && exec "$@"' "$work/bundle.crt" "$bundle" "$@"
rc=$?
set -e
exit $rc
