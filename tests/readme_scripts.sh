#!/usr/bin/env bash
# Every script the README or a page in docs/ names exists and is run by CI:
# its name appears, outside comments, in .ci/run or in a file that .ci/run
# runs (the scripts and the test list below), or in the README's commands
# that the fresh-root run runs (tools/fresh-root.sh --print). A line that
# nobody runs goes stale without anyone noticing; this catches the README or
# a docs page naming a script that CI does not run.
# Usage: tests/readme_scripts.sh SOURCE_DIR
set -euo pipefail
cd "${1:?usage: tests/readme_scripts.sh SOURCE_DIR}"
runners=(.ci/run tools/test.sh tools/fresh-root.sh tests/CMakeLists.txt)
pages=(README.md docs/*.md)
named=$(grep -hoE '(^|[^A-Za-z0-9_./-])(tools|bench|tests|packaging|editors|cmake)/[A-Za-z0-9_.-]+\.sh' "${pages[@]}" |
    sed -E 's|^[^a-z]*||' | sort -u)
[ -n "$named" ] || { echo "README.md and docs/*.md name no script: is this the source tree?" >&2; exit 1; }
ran=$(grep -hv '^[[:space:]]*#' "${runners[@]}"; bash tools/fresh-root.sh --print)
failed=0 passed=0
for script in $named; do
    if [ ! -f "$script" ]; then
        echo "README.md or docs/*.md names $script, which does not exist"
        failed=$((failed + 1))
    elif ! grep -qF "$(basename "$script")" <<<"$ran"; then
        echo "README.md or docs/*.md names $script, and nothing CI runs runs it (${runners[*]})"
        failed=$((failed + 1))
    else
        passed=$((passed + 1))
    fi
done
echo "readme scripts: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
