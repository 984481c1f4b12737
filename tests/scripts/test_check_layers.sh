#!/usr/bin/env bash
# The layer check on a small tree: each case is one file with one include; the check must report
# exactly the files marked "breaks".
set -euo pipefail
check="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check_layers"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

cases=(
  # file                          include                           verdict
  "src/core/up.cpp               \"scenegraph/renderer.h\"          breaks"
  "src/scenegraph/up.cpp         \"game/g_tick.h\"                  breaks"
  "src/game/up.cpp               \"app/app_loop.h\"                 breaks"
  "src/object/up.cpp             \"app/app_loop.h\"                 breaks"
  "src/object/actor/up.cpp       \"app/app_entry.h\"                breaks"
  "src/app/impl.cpp              \"platform/impl/d3d8_state.h\"     breaks"
  "src/config/renderer.cpp       \"scenegraph/renderer.h\"          breaks"
  "src/object/boss/wnd.cpp       \"object/wnd/o_wnd.h\"             breaks"
  "src/object/enemy/boss.cpp     \"object/boss/o_boss.h\"           breaks"
  "src/core/sdl.cpp              <SDL.h>                           breaks"
  "src/scenegraph/gl.cpp         <GL/gl.h>                         breaks"
  "tools/lib/seam.cpp            \"platform/impl/d3d8_seams.h\"     breaks"
  "src/core/down.cpp             \"platform/win_file.h\"            keeps"
  "src/lowlv/input/side.cpp      \"lowlv/d3d/d3d_settings.h\"       keeps"
  "src/scenegraph/down.cpp       \"lowlv/d3d/d3d_core.h\"           keeps"
  "src/game/side.cpp             \"gfx/g_gfx.h\"                    keeps"
  "src/gfx/side.cpp              \"object/o_base.h\"                keeps"
  "src/object/boss/down.cpp      \"object/actor/o_actor.h\"         keeps"
  "src/object/side.cpp           \"game/g_tick.h\"                  keeps"
  "src/config/down.cpp           \"lowlv/d3d/d3d_adapter.h\"        keeps"
  "src/app/down.cpp              \"game/g_tick.h\"                  keeps"
  "src/platform/impl.cpp         \"platform/impl/d3d8_state.h\"     keeps"
  "src/platform/sdl.cpp          <SDL.h>                           keeps"
  "src/core/same.cpp             \"text.h\"                         keeps"
)

expected=()
for row in "${cases[@]}"; do
  read -r file include verdict <<<"$row"
  mkdir -p "$tree/$(dirname "$file")"
  echo "#include $include" >"$tree/$file"
  [ "$verdict" = breaks ] && expected+=("$file")
done

set +e
output=$("$check" "$tree")
status=$?
set -e
reported=$(grep -oE '^(src|tools)/[^:]+' <<<"$output" | sort -u)
wanted=$(printf '%s\n' "${expected[@]}" | sort -u)
if [ "$status" -eq 0 ] || [ "$reported" != "$wanted" ]; then
  echo "exit status $status; reported:"
  echo "$output"
  echo "expected exactly:"
  echo "$wanted"
  exit 1
fi
