#!/usr/bin/env bash
# The tree's two standing rules, checked without building anything:
# - no include runs from a lower folder to a higher one (or sideways between the subsystems
#   that sit side by side), so each layer builds and tests on its own;
# - every C++ file is formatted as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --lint

# Lower numbers sit below higher ones; equal numbers in different folders must not meet.
declare -A rank=([platform]=0 [core]=1 [net]=2 [playback]=2 [playlist]=2 [transfer]=3 [app]=4)
status=0
for dir in "${!rank[@]}"; do
    while IFS=: read -r file line text; do
        target=$(sed -E 's/.*#include "([a-z]+)\/.*/\1/' <<<"$text")
        [[ -n "${rank[$target]:-}" ]] || continue
        if ((rank[$target] > rank[$dir])) || { ((rank[$target] == rank[$dir])) && [[ $target != "$dir" ]]; }; then
            echo "$file:$line: $dir/ must not include $target/: $text" >&2
            status=1
        fi
    done < <(grep -rHn --include='*.h' --include='*.cpp' '#include "[a-z]*/' "$dir" || true)
done

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}" 2>/dev/null; then
    echo "Some files are not formatted; run: git ls-files '*.cpp' '*.h' | xargs clang-format -i" >&2
    status=1
fi
exit $status
