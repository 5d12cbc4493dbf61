#!/usr/bin/env bash
# Builds Velto.exe twice with the windows preset and the same release
# settings, each time from its own copy of the source tree as it stands
# (tracked files with their changes, and new files that git does not
# ignore), in folders of different names and depths, under different
# clocks, time zones, locales, umasks and SOURCE_DATE_EPOCH values. The two
# files must be the same to the byte.
#
#   reproducible_build.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd)
work=$2
url=https://releases.example.com/downloads/velto/update/latest.json
pin=3C5F0E1A9B7D2468ACE013579BDF2468ACE013579BDF0E1A9B7D24683C5F0E1A

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

copy_tree() {
  mkdir -p "$1"
  if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' file; do [[ -f $file ]] && printf '%s\0' "$file"; done |
      tar -c --null -T -) | tar -x -C "$1"
  else
    cp -r "$source_dir"/{src,res,cmake,CMakeLists.txt,CMakePresets.json} "$1"
  fi
}

build() {  # TREE ENVIRONMENT...: configures and builds only the Velto target
  local tree=$1
  shift
  (cd "$tree" &&
    env "$@" cmake --preset windows -DVELTO_BUILD_TESTS=OFF "-DVELTO_MANIFEST_URL=$url" \
      "-DVELTO_PINNED_THUMBPRINT=$pin" >"$tree.log" 2>&1 &&
    env "$@" cmake --build --preset windows --target Velto >>"$tree.log" 2>&1) || {
    cat "$tree.log" >&2
    echo "reproducible_build: the build in $tree failed" >&2
    exit 1
  }
}

carries_settings() {  # the URL and the pin are built in as UTF-16 text
  python3 - "$1" "$url" "$pin" <<'PY'
import sys
image = open(sys.argv[1], "rb").read()
sys.exit(0 if all(text.encode("utf-16-le") in image for text in sys.argv[2:]) else 1)
PY
}

started=$SECONDS
first=$work/a
second=$work/second/copy-with-a-longer-name
copy_tree "$first"
copy_tree "$second"
(umask 022 && build "$first" -u SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C)
(umask 077 && build "$second" SOURCE_DATE_EPOCH=1 TZ=Pacific/Kiritimati LC_ALL=C.UTF-8)

first_exe=$first/build/windows/Velto.exe
second_exe=$second/build/windows/Velto.exe
sha256sum "$first_exe" "$second_exe"
echo "two builds in $((SECONDS - started)) s"
for exe in "$first_exe" "$second_exe"; do
  carries_settings "$exe" || { echo "reproducible_build: $exe lacks the release settings" >&2; exit 1; }
done
if ! cmp -s "$first_exe" "$second_exe"; then
  echo "reproducible_build: the two builds of Velto.exe differ; the first differing bytes (offset, octal" \
    "values) and texts:" >&2
  { cmp -l "$first_exe" "$second_exe" | head -20; } >&2 || true
  { diff <(strings -a "$first_exe") <(strings -a "$second_exe") | head -20; } >&2 || true
  exit 1
fi
echo "Velto.exe is the same to the byte"
