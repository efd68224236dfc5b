#!/usr/bin/env bash
# The README's commands as a newcomer meets them: in a fresh Debian 12 root
# (debootstrap's minbase, made once and kept in a cache folder), with this
# tree's files copied in (tracked and new ones, not what is ignored), as
# root, no terminal, an environment of PATH and HOME alone, and nothing of
# this machine's installed packages. Inside it, in order:
#   - the quick start's commands exactly as the README gives them, except
#     that the test command stops after installing and configuring
#     (--configure-only; --full runs it whole);
#   - the demo's outputs decoded by ffmpeg, which must print nothing;
#   - the command-line program's block of examples, as the README gives it.
# Any of them failing fails the run. Needs root (debootstrap, chroot).
#
# Usage: tools/fresh-root.sh [--full | --print]
#   --print: print the commands it would run in the root, and stop
#   VELMOR_ROOT_CACHE  the cache folder (default /var/cache/velmor-fresh-root);
#                      its base root is made again when 30 days old
#   VELMOR_MIRROR      the Debian mirror (default http://deb.debian.org/debian)
set -euo pipefail
cd "$(dirname "$0")/.."
exec </dev/null
full=false print=false
case "${1:-}" in
    "") ;;
    --full) full=true ;;
    --print) print=true ;;
    *) echo "usage: tools/fresh-root.sh [--full | --print]" >&2; exit 2 ;;
esac

# The README's blocks: the first ```sh block after a heading, comments cut.
readme_block() { # heading
    awk -v heading="$1" '
        $0 == heading { inside = 1; next }
        inside && /^```sh$/ { block = 1; next }
        block && /^```$/ { exit }
        block { print }' README.md | sed -E 's/(^|[[:space:]]+)#.*$//' | grep -v '^[[:space:]]*$' || true
}
quick=$(readme_block "## Quick start")
examples=$(readme_block "## The command-line program")
[ -n "$quick" ] && [ -n "$examples" ] || { echo "fresh root: no quick start or examples block in README.md" >&2; exit 1; }
$full || quick=$(sed 's|^bash tools/test.sh$|bash tools/test.sh --configure-only|' <<<"$quick")
grep -q -- '--configure-only\|^bash tools/test.sh$' <<<"$quick" ||
    { echo "fresh root: the quick start has no 'bash tools/test.sh' line" >&2; exit 1; }
if $print; then printf '%s\n' "$quick" "$examples"; exit 0; fi

[ "$(id -u)" -eq 0 ] || { echo "fresh root: needs root (debootstrap and chroot)" >&2; exit 1; }
cache=${VELMOR_ROOT_CACHE:-/var/cache/velmor-fresh-root}
mirror=${VELMOR_MIRROR:-http://deb.debian.org/debian}
started=$(date +%s)
bash tools/install-packages.sh fresh-root

# The base root, made once (under a lock: runs may overlap) and kept.
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9
base="$cache/bookworm-minbase"
if [ ! -f "$base/.made" ] || [ -n "$(find "$base/.made" -mtime +30)" ]; then
    echo "== fresh root: making the base (debootstrap minbase, bookworm)"
    rm -rf --one-file-system "$base" "$base.new"
    debootstrap --variant=minbase bookworm "$base.new" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
        { tail -20 "$cache/debootstrap.log" >&2; exit 1; }
    printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb http://deb.debian.org/debian-security bookworm-security main\n' \
        "$mirror" "$mirror" >"$base.new/etc/apt/sources.list"
    chroot "$base.new" apt-get clean
    touch "$base.new/.made"
    mv "$base.new" "$base"
fi

work=$(mktemp -d /var/tmp/velmor-fresh-root.XXXXXX)
# The root's mounts live in a private namespace, so removing it never
# reaches this machine's /dev or /proc.
trap 'rm -rf --one-file-system "$work"' EXIT
root="$work/root"
cp -a "$base" "$root"
flock -u 9
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir "$root/root/velmor"
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf - | tar -xf - -C "$root/root/velmor"

cat >"$root/root/newcomer.sh" <<EOF
set -euo pipefail
cd /root/velmor
echo "== fresh root: the quick start"
set -x
$quick
set +x
echo "== fresh root: the demo's outputs decode cleanly"
for f in velmor-demo/washed-out.mp4 velmor-demo/corrected.mp4 velmor-demo/before-after.png; do
    out=\$(ffmpeg -nostdin -v error -i "\$f" -f null - 2>&1)
    [ -z "\$out" ] || { echo "\$f: \$out" >&2; exit 1; }
done
echo "== fresh root: the command-line program's examples"
set -x
$examples
EOF

echo "== fresh root: running the README's commands (as root, no terminal)"
status=0
timeout 40m unshare --mount --propagation private -- bash -c '
    mount -t proc proc "$1/proc" && mount --rbind /dev "$1/dev" &&
    exec chroot "$1" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        setsid bash /root/newcomer.sh' _ "$root" </dev/null || status=$?
echo "== fresh root: $([ $status -eq 0 ] && echo passed || echo "FAILED ($status)") in $(($(date +%s) - started)) s"
exit $status
