#!/usr/bin/env bash
# Measures the verification of a signed 256 MiB PE image: peak memory and
# wall time of the layer's WinVerifyTrust (through authenticode_verify_file)
# next to 'osslsigncode verify' on the same file. A measurement, not a test.
# Usage: measure_large_image.sh BUILD_DIR [MiB]   (BUILD_DIR holds the
# built authenticode_verify_file; default size 256 MiB)
set -euo pipefail
build=$1
mib=${2:-256}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
verifier=$build/tests/authenticode/authenticode_verify_file
python3 "$here/../shared/test_pki.py" signing "$work/pki" >/dev/null
python3 "$here/../shared/mkpe.py" pe32plus "$work/large.exe" --overlay $((mib * 1024 * 1024 - 1536))
osslsigncode sign -certs "$work/pki/chain_full.pem" -key "$work/pki/leaf.key" -h sha256 \
  -in "$work/large.exe" -out "$work/large_signed.exe" >/dev/null
rm "$work/large.exe"
ls -l "$work/large_signed.exe"
measure() { # label command...
  local label=$1
  shift
  /usr/bin/time -f "$label: %e s wall, %M KiB peak resident" "$@" >"$work/out.txt" 2>"$work/time.txt" || true
  tail -n 1 "$work/time.txt"
  grep -E "^0x|Succeeded|Failed" "$work/out.txt" | head -n 2 | sed "s/^/  $label says: /"
}
export SSL_CERT_FILE=$work/pki/root.crt SSL_CERT_DIR=$work/pki
cat "$work/large_signed.exe" >/dev/null  # both runs start from a warm page cache
measure "layer WinVerifyTrust" "$verifier" "$work/large_signed.exe"
measure "osslsigncode verify" osslsigncode verify -CAfile "$work/pki/root.crt" -in "$work/large_signed.exe"
