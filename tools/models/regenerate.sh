#!/usr/bin/env bash
# Regenerates every bundled model in models/ from this folder's scripts and the project's own code:
#   ModelB.node/.ele  heart.geo meshed by gmsh, converted by msh2tetgen.py
#   ModelB.vm         authored by `velmora-cli make-model heart`
#   Tube.node/.ele/.vm  `velmora-cli make-model tube`
# Deterministic: the same sources give the same files. Needs a built velmora-cli (default
# build/bin/velmora-cli; override with VELMORA_CLI).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
cli=${VELMORA_CLI:-$top/build/bin/velmora-cli}
out=$top/models
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[ -x "$cli" ] || { echo "regenerate: $cli not found; build first (scripts/test or cmake --build build)" >&2; exit 1; }
mkdir -p "$out"

# One mesher thread keeps the mesh identical from run to run.
gmsh "$here/heart.geo" -3 -format msh2 -nt 1 -o "$work/heart.msh" > "$work/gmsh.log" 2>&1 ||
  { cat "$work/gmsh.log" >&2; exit 1; }
/usr/bin/python3 "$here/msh2tetgen.py" "$work/heart.msh" "$work/heart"

OMP_WAIT_POLICY=passive "$cli" make-model heart "$out/ModelB" --mesh "$work/heart" --quiet
"$cli" make-model tube "$out/Tube" --quiet
echo "regenerate: wrote $out/ModelB.{node,ele,vm} and $out/Tube.{node,ele,vm}"
