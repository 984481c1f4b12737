#!/usr/bin/env bash
# Fails when the program defines a symbol of a module the settings program must not link.
set -euo pipefail
forbidden='(^| )(D3D::|vfs::|vfs_|unpack_|shader_|renderer_|rq_|ResrcMgr::|resrc_|model_|tex_|dds_)'
found=$(nm -C --defined-only "$1" | cut -d' ' -f3- | grep -E "$forbidden" || true)
if [ -n "$found" ]; then
  echo "linked what the settings program must not need:"
  echo "$found" | head -20
  exit 1
fi
