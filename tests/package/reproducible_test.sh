#!/usr/bin/env bash
# dist/ is what the commit builds, to the byte: the commit is cloned into
# another folder and packed again there (./scripts/package.sh, builds of its
# own) under another umask, time zone and locale, and every file of the two
# dist/ folders must be the same. On a difference, diffoscope says where (its
# first lines).
#
#   reproducible_test.sh SOURCE WORK
#
# SOURCE is the checkout whose dist/ is checked; WORK a scratch folder, emptied
# first, removed when the files agree. The clone is of SOURCE's HEAD, so dist/
# must be of the committed sources: the test fails when tracked files differ
# from HEAD. SOURCE_DATE_EPOCH is left to package.sh (the commit's time).
set -u
source_dir=${1:?usage: $0 SOURCE WORK}
work=${2:?usage: $0 SOURCE WORK}
dist=$source_dir/dist
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -d $dist ]] && compgen -G "$dist/*" >/dev/null ||
    fail "$dist is empty: ./scripts/package.sh makes it (./scripts/test.sh runs it before these checks)"
commit=$(git -C "$source_dir" rev-parse HEAD) || fail "$source_dir is not a git checkout"
if ! git -C "$source_dir" diff --quiet HEAD --; then
    git -C "$source_dir" status --short --untracked-files=no >&2
    fail "the checkout differs from its commit $commit: dist/ cannot be compared with a clone (commit, then ./scripts/package.sh)"
fi
for tool in git cmp diffoscope localedef; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (./scripts/test.sh installs it)"
done
zone=Pacific/Kiritimati  # UTC+14: the date differs from UTC's most of the day
[[ -f /usr/share/zoneinfo/$zone ]] || fail "no time zone $zone (package tzdata)"

rm -rf "$work"
mkdir -p "$work/locale" || exit 1
# An Italian locale of the test's own (LOCPATH): none need be installed system-wide.
localedef -i it_IT -f UTF-8 "$work/locale/it_IT.UTF-8" 2>"$work/localedef.log" ||
    { cat "$work/localedef.log" >&2; fail "cannot make the it_IT.UTF-8 locale (package locales)"; }

# Another folder, deeper, with another umask for the checkout itself.
clone=$work/elsewhere/a/longer/path/belmora
(umask 077 && git clone --quiet --no-hardlinks "$source_dir" "$clone" &&
    git -C "$clone" checkout --quiet --detach "$commit") || fail "cannot clone $source_dir at $commit"

echo "packing $commit again in $clone (umask 077, TZ=$zone, it_IT.UTF-8)"
start=$(date +%s)
(
    cd "$clone" || exit 1
    umask 077
    unset SOURCE_DATE_EPOCH
    export TZ=$zone LOCPATH=$work/locale LANG=it_IT.UTF-8 LC_ALL=it_IT.UTF-8
    ./scripts/package.sh
) >"$work/package.log" 2>&1 || { tail -n 40 "$work/package.log" >&2; fail "./scripts/package.sh failed in the clone (log: $work/package.log)"; }
echo "packed in $(($(date +%s) - start)) s"

mapfile -t names < <( (cd "$dist" && ls -A) ; (cd "$clone/dist" && ls -A) )
mapfile -t names < <(printf '%s\n' "${names[@]}" | sort -u)
status=0
for name in "${names[@]}"; do
    a=$dist/$name b=$clone/dist/$name
    if [[ ! -f $a || ! -f $b ]]; then
        echo "FAIL: $name is in one dist/ only" >&2
        status=1
    elif cmp -s "$a" "$b"; then
        echo "same: $name $(sha256sum <"$a" | cut -d' ' -f1)"
    else
        echo "FAIL: $name differs (is dist/ older than the last commit? ./scripts/package.sh makes it again); diffoscope (first 60 lines):" >&2
        diffoscope --no-progress --text - "$a" "$b" 2>&1 | head -n 60 >&2
        status=1
    fi
done
if ((status == 0)); then
    rm -rf "$work"
    echo "PASS: the ${#names[@]} files of dist/ are what $commit builds in another clone"
fi
exit $status
