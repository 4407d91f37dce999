#!/usr/bin/env bash
# Formats every C++ file of the tree with clang-format 14 and the repository's .clang-format.
#   bash scripts/format.sh           rewrite the files that need it
#   bash scripts/format.sh --check   change nothing; list the files that need it, exit 1 if any
# Files git knows of or would add (tracked, or untracked and not ignored); nothing under build/.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

# Another clang-format version lays some lines out differently: pin the one CI installs.
formatter=${CLANG_FORMAT:-clang-format-14}
command -v "$formatter" >/dev/null || { echo "format: $formatter not found (scripts/install-deps.sh installs it)" >&2; exit 2; }

mapfile -d '' files < <(git ls-files -z --cached --others --exclude-standard -- '*.cpp' '*.h')

if [ "$check" = 0 ]; then
  printf '%s\0' "${files[@]}" | xargs -0 -r "$formatter" -i --style=file
  exit 0
fi

unformatted=()
for file in "${files[@]}"; do
  [ -f "$file" ] || continue  # deleted in the working tree
  "$formatter" --style=file "$file" | cmp -s - "$file" || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  printf 'format: not formatted: %s\n' "${unformatted[@]}" >&2
  echo "format: ${#unformatted[@]} file(s) differ from .clang-format; run: bash scripts/format.sh" >&2
  exit 1
fi
echo "format: ${#files[@]} files formatted"
