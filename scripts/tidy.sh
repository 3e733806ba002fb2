#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the sources in the build's compile database.
#   scripts/tidy.sh              the .cpp files changed against main (committed or not)
#   scripts/tidy.sh --all        every .cpp file of src/, sim/, tests/, tools/, bench/, fuzz/
# A changed header brings the .cpp file of the same name. On main itself, or
# where main is not known (a CI clone), "changed" means by the last commit.
# Needs a configured build (BUILD, default build/default). Exit 1 on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/default}
jobs=${JOBS:-$(nproc)}
[[ -f $build/compile_commands.json ]] || { echo "no $build/compile_commands.json: configure first" >&2; exit 2; }

# Changed since this branch left main, not what main changed since.
base=$(git merge-base "${SKYH_BASE:-main}" HEAD 2>/dev/null || true)
if [[ -z $base || $base == "$(git rev-parse HEAD)" ]]; then
  base=$(git rev-parse -q --verify 'HEAD~1^{commit}' || true)
fi

if [[ ${1:-} == --all ]]; then
  mapfile -t files < <(git ls-files -- '*.cpp' | grep -E '^(src|sim|tests|tools|bench|fuzz)/')
else
  [[ -n $base ]] || echo "tidy: no earlier commit to compare with; only files not committed"
  mapfile -t files < <({ [[ -z $base ]] || git diff --name-only "$base" -- '*.cpp' '*.h'
                         git ls-files --others --exclude-standard -- '*.cpp' '*.h'; } |
                       sed 's/\.h$/.cpp/' | grep -E '^(src|sim|tests|tools|bench|fuzz)/' | sort -u |
                       while read -r f; do [[ -f $f ]] && echo "$f"; done)
fi
[[ ${#files[@]} -eq 0 ]] && { echo "tidy: nothing to check"; exit 0; }

# Files not in the compile database (a front end not built here) are skipped.
mapfile -t files < <(python3 - "$build/compile_commands.json" "${files[@]}" <<'PY'
import json, os, sys
known = {os.path.realpath(e["file"]) for e in json.load(open(sys.argv[1]))}
for f in sys.argv[2:]:
    if os.path.realpath(f) in known: print(f)
PY
)
[[ ${#files[@]} -eq 0 ]] && { echo "tidy: nothing to check in this build"; exit 0; }
echo "tidy: ${#files[@]} files"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
printf '%s\n' "${files[@]}" |
  xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null >"$log" || status=$?
if grep -qE ': (warning|error):' "$log"; then
  cat "$log"
  # A header's finding shows once per file including it.
  echo "tidy: $(grep -E ': (warning|error):' "$log" | sort -u | wc -l) findings"
  exit 1
fi
if [[ $status -ne 0 ]]; then
  cat "$log"
  echo "tidy: clang-tidy failed (exit $status)" >&2
  exit 1
fi
echo "tidy: clean"
