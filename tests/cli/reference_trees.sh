#!/usr/bin/env bash
# Builds every scenario of tests/golden/reference-scenarios.txt with
# escape-build and compares the trees with tests/golden/reference-trees.txt:
# for each scenario the exit status, the SHA-256 of its startup script and of
# its floor, and one SHA-256 over every file of the tree (name and bytes).
#   reference_trees.sh ESCAPE_BUILD SOURCE_DIR            compare
#   reference_trees.sh ESCAPE_BUILD SOURCE_DIR --write    rewrite the reference
# (rewrite only with a build whose output is known to be right).
set -euo pipefail
PROGRAM=$1
SOURCE=$2
MODE=${3:-}
SCENARIOS=$SOURCE/tests/golden/reference-scenarios.txt
REFERENCE=$SOURCE/tests/golden/reference-trees.txt
WORK=$(mktemp -d "${TMPDIR:-/tmp}/escape-reference-trees.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

digest() { sha256sum | cut -c1-64; }
while read -r name rest; do
  case "$name" in ''|'#'*) continue ;; esac
  dir=$WORK/$name
  mkdir -p "$dir"
  cp -r "$SOURCE/unchanged" "$dir/"
  cp "$SOURCE/tests/fixtures/square-floor.kvx" \
     "$SOURCE/tests/fixtures/floor-without-mesh.kvx" "$dir/"
  read -r -a args <<< "${rest//@SOURCE@/$SOURCE}"
  status=0
  (cd / && "$PROGRAM" --dir "$dir" "${args[@]}" > "$WORK/$name.out" 2>&1) || status=$?
  tree=$(cd "$dir/bProj" && find . -type f | LC_ALL=C sort | xargs sha256sum | digest)
  echo "$name status $status" \
       "startup $(digest < "$dir/bProj/Vellico/startup.pc")" \
       "floor $(digest < "$dir/bProj/Content/Actors/Floor/Floor.kvx")" \
       "tree $tree"
  rm -rf "$dir"
done < "$SCENARIOS" > "$WORK/trees.txt"

if [ "$MODE" = --write ]; then
  cp "$WORK/trees.txt" "$REFERENCE"
  echo "reference_trees: wrote $(wc -l < "$REFERENCE") trees to $REFERENCE"
  exit 0
fi
if ! diff "$REFERENCE" "$WORK/trees.txt"; then
  echo "reference_trees: the trees above differ from the reference (< reference, > now)" >&2
  exit 1
fi
echo "reference_trees: $(wc -l < "$REFERENCE") trees identical to the reference"
