#!/usr/bin/env bash
# The layers of src/ point one way: each folder includes only folders below
# it, nothing above the platform includes SDL, GTK or the image libraries,
# and the build gives the core no include path of theirs.
#   layers.sh SOURCE_DIR BINARY_DIR
set -u
src=$1/src
build=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

# Bottom up; a folder may include its own headers and those of lower ranks.
declare -A rank=([platform]=0 [world]=1 [network]=2 [sim]=3 [mapfile]=4 [render]=4 [editor]=5 [app]=6)
for folder in "${!rank[@]}"; do
  for file in $(find "$src/$folder" -maxdepth 1 -name '*.h' -o -maxdepth 1 -name '*.cpp'); do
    while IFS= read -r included; do
      top=${included%%/*}
      [ -n "${rank[$top]+x}" ] || continue
      if [ "$top" != "$folder" ] && [ "${rank[$top]}" -ge "${rank[$folder]}" ]; then
        fail "${file#$1/} includes $included, which is not below $folder"
      fi
      # The platform's implementations are for the programs' entry points only.
      case "$included" in
        platform/draw/* | platform/headless/* | platform/sdl/*)
          [ "$folder" = platform ] || [ "${file#$src/}" = app/main.cpp ] ||
            fail "${file#$1/} includes the platform implementation $included";;
      esac
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
    if grep -qE '^#include <(SDL|gtk/|gdk/|glib|png|jpeglib|fontconfig)' "$file"; then
      fail "${file#$1/} includes a library header that only the platform implementations may use"
    fi
  done
done

# The build proves it: no core translation unit gets SDL's or GTK's include paths.
commands=$build/compile_commands.json
if [ ! -f "$commands" ]; then
  fail "no $commands"
else
  python3 - "$commands" "$src" <<'PY' || status=1
import json, sys
commands, src = sys.argv[1], sys.argv[2]
core = [f"{src}/{d}/" for d in ("world", "network", "sim", "mapfile", "render", "editor", "app")]
seen = bad = 0
for entry in json.load(open(commands)):
    f = entry["file"]
    roles = f.startswith(f"{src}/platform/") and f.count("/") == src.count("/") + 2
    if not (roles or any(f.startswith(c) for c in core)):
        continue
    seen += 1
    cmd = entry.get("command") or " ".join(entry.get("arguments", []))
    if any(p in cmd for p in ("SDL2", "gtk-3.0", "glib-2.0", "libpng", "fontconfig")):
        print(f"FAIL: {f} compiles with a library's include path")
        bad += 1
if seen == 0:
    print("FAIL: no core sources in the compile commands")
    bad += 1
sys.exit(1 if bad else 0)
PY
fi
[ $status -eq 0 ] && echo "layers: every include points down; the core compiles without SDL and GTK"
exit $status
