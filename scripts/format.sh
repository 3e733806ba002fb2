#!/usr/bin/env bash
# Formats C++ sources with .clang-format.
#   scripts/format.sh            the lines changed against main (committed or not)
#   scripts/format.sh --all      every source file
#   scripts/format.sh --check    changes nothing; shows what would change, exit 1 if anything
set -euo pipefail
cd "$(dirname "$0")/.."
# Changed since this branch left main, not what main changed since.
base=$(git merge-base "${SKYH_BASE:-main}" HEAD)
mode=changed
for arg in "$@"; do
  case "$arg" in
    --all) mode=all ;;
    --check) check=1 ;;
    *) echo "usage: $0 [--all] [--check]" >&2; exit 2 ;;
  esac
done

sources() {
  git ls-files -- '*.cpp' '*.h' | grep -E '^(src|sim|tests|tools|bench|fuzz)/' | grep -v '^tests/layering/'
}

if [[ $mode == all ]]; then
  mapfile -t files < <(sources)
  if [[ -n ${check:-} ]]; then
    clang-format --dry-run --Werror "${files[@]}"
  else
    clang-format -i "${files[@]}"
  fi
else
  # git clang-format touches only the changed lines, so old code keeps its shape.
  if [[ -n ${check:-} ]]; then
    out=$(git clang-format --diff "$base" -- src sim tests tools bench fuzz)
    if [[ -n $out && $out != *"no modified files"* && $out != *"did not modify"* ]]; then
      echo "$out"
      exit 1
    fi
  else
    git clang-format --force "$base" -- src sim tests tools bench fuzz
  fi
fi
