#!/usr/bin/env bash
# Checks the rules the build does not: every C++ file is formatted with the project's
# .clang-format, and includes follow the layers (docs/architecture.md):
#   - Qt only in ui/qt/ and main.cpp;
#   - system headers (<unistd.h>, <sys/...> ...) only in platform/linux/; elsewhere the program
#     includes the C++ standard library, Qt where allowed, and <nlohmann/json.hpp>;
#   - no header from a target above: runtime/ includes only runtime/; platform/ only runtime/ and
#     platform/; log/ only those and log/; wipe/ only those and wipe/ (the wipe engine knows no
#     window and no Qt); nothing below the view includes ui/qt/;
#   - no two folders include each other.
# With --format it formats the files instead of checking anything.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
# Files not committed yet count too: a new file must be formatted before it is committed.
mapfile -t -O "${#sources[@]}" sources < <(git ls-files --others --exclude-standard '*.cpp' '*.h')

if [ "${1:-}" = "--format" ]; then
    clang-format -i "${sources[@]}"
    exit 0
fi

failed=0
folderEdges=()
fail() {
    echo "check-rules: $*" >&2
    failed=1
}

if ! clang-format --dry-run -Werror "${sources[@]}"; then
    fail "files above are not formatted; run: bash scripts/check-rules.sh --format"
fi

# The program's own code (tests and benchmarks may use what they need).
for file in "${sources[@]}"; do
    case "$file" in
        tests/* | bench/* | packaging/*) continue ;;
    esac
    while IFS= read -r line; do
        header=$(sed -E 's/^#include[[:space:]]*([<"])([^>"]*)[>"].*/\1\2/' <<<"$line")
        kind=${header:0:1}
        name=${header:1}
        if [ "$kind" = "<" ]; then
            if [[ "$name" =~ ^Q ]]; then
                case "$file" in
                    ui/qt/* | main.cpp) ;;
                    *) fail "$file: Qt header <$name> outside ui/qt" ;;
                esac
            elif [[ "$name" == */* || "$name" == *.* ]] && [[ "$name" != nlohmann/* ]]; then
                case "$file" in
                    platform/linux/*) ;;
                    *) fail "$file: system header <$name> outside platform/linux" ;;
                esac
            fi
            continue
        fi
        top=${name%%/*}
        case "$file" in
            runtime/*) allowed="runtime" ;;
            platform/*) allowed="runtime platform" ;;
            log/*) allowed="runtime platform log" ;;
            wipe/*) allowed="runtime platform log wipe" ;;
            ui/qt/* | main.cpp) allowed="*" ;;
            *) allowed="runtime platform log wipe engine run startup ui resources" ;;
        esac
        if [ "$allowed" != "*" ] && [[ " $allowed " != *" $top "* ]]; then
            fail "$file: includes \"$name\" from a layer above its own"
        fi
        if [ "$allowed" != "*" ] && [[ "$name" == ui/qt/* ]]; then
            fail "$file: includes the view's \"$name\""
        fi
        # The folder of the file and the folder of the header, for the check below.
        from=$(dirname "$file") to=$(dirname "$name")
        [ "$from" != "$to" ] && folderEdges+=("$from $to")
    done < <(grep -E '^#include[[:space:]]*[<"]' "$file" || true)
done

# Two folders that include each other are one subsystem in two places, or a layer upside down.
declare -A edge=()
for e in "${folderEdges[@]}"; do edge[$e]=1; done
for e in "${!edge[@]}"; do
    read -r from to <<<"$e"
    if [ -n "${edge[$to $from]:-}" ] && [[ "$from" < "$to" ]]; then
        fail "folders $from/ and $to/ include each other"
    fi
done

exit "$failed"
