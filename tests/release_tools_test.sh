#!/usr/bin/env bash
# ./dev test and tools/release.sh as a contributor and the maintainer meet
# them, without building anything: each case runs the real script in a
# scratch folder, with stand-ins for what it calls (apt-get, dpkg, the builds,
# the test suites) that write down how they were called.
#   tests/release_tools_test.sh CASE
# CASE:
#   dev-test-without-an-architecture   apt-get update fails for one index and
#       armhf's packages cannot be had: every other stage runs, armhf's are
#       left out of the builds and the release, and the run ends with a block
#       that names armhf and why, and succeeds
#   dev-test-fails-on-other-failures   an install that apt said it could do
#       fails, or a package of the build machine cannot be had: the run fails
#   sign-refuses-snapshots   tools/release.sh sign refuses a commit without
#       its version's tag and a tree with changes, and leaves the folder as
#       it was; may-sign refuses entries under [Unreleased] too
#   notes-say-what-a-release-is   a snapshot's notes say so and never promise
#       a rebuild from a tag; entries under [Unreleased] are in the notes;
#       a target left out is named
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d /tmp/velmoro-release-tools-test.XXXXXX)
trap 'gpgconf --homedir "$scratch/gnupg" --kill all 2>/dev/null || true
      [ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT

source "$source_dir/tests/checks.sh"

# --- ./dev test -------------------------------------------------------------

# A copy of ./dev beside stand-ins of the scripts it runs, and stand-ins of
# the system's commands first on PATH. Every call goes into $scratch/calls.
stand_in_tree() {
    local tree=$scratch/tree bin=$scratch/bin
    mkdir -p "$tree/tools" "$tree/tests/wine" "$tree/tests/web/node_modules" "$tree/fuzz" "$bin"
    cp "$source_dir/dev" "$source_dir/CHANGELOG.md" "$tree/"
    cp "$source_dir/tools/changelog.py" "$tree/tools/"
    local script
    for script in tools/release.sh tools/static_checks.sh tests/release_test.sh tests/wine/suite.sh \
        fuzz/run.sh; do
        printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$script" "$scratch/calls" >"$tree/$script"
        chmod +x "$tree/$script"
    done
    printf 'import sys\nopen("%s", "a").write("page_test.py " + " ".join(sys.argv[1:]) + "\\n")\n' \
        "$scratch/calls" >"$tree/tests/web/page_test.py"
    # The page's modules are there already.
    touch "$tree/tests/web/package-lock.json"
    touch -d "+1 hour" "$tree/tests/web/node_modules/.package-lock.json"
    for script in ctest cmake npm lintian dpkg-deb; do
        printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$script" "$scratch/calls" >"$bin/$script"
    done
    # A tree with changes: the second build elsewhere is left out.
    printf '#!/bin/sh\n[ "$1" = status ] && echo " M dev"\nexit 0\n' >"$bin/git"
    printf '#!/bin/sh\nexec "$@"\n' >"$bin/sudo"
    # Installed: everything but what STANDIN_MISSING names (a pattern).
    cat >"$bin/dpkg-query" <<'EOF'
#!/bin/bash
package=${*: -1}
[[ $package =~ $STANDIN_MISSING ]] && exit 1
printf 'install ok installed'
EOF
    # dpkg's foreign architectures, in a file; nothing of them is installed.
    printf 'arm64\narmhf\n' >"$scratch/archs"
    cat >"$bin/dpkg" <<EOF
#!/bin/sh
echo "dpkg \$*" >>"$scratch/calls"
case \$1 in
    --print-foreign-architectures) cat "$scratch/archs" ;;
    --print-architecture) echo amd64 ;;
    --add-architecture) echo "\$2" >>"$scratch/archs" ;;
    --remove-architecture)
        grep -vx "\$2" "$scratch/archs" >"$scratch/archs.new"
        mv "$scratch/archs.new" "$scratch/archs" ;;
esac
exit 0
EOF
    # While dpkg lists STANDIN_BROKEN_INDEX's architecture (armhf or none),
    # update fails for its index as with a mirror in
    # the middle of its sync, and then, as apt keeps none of that source's
    # new lists, no foreign package fits what is installed; packages that
    # match STANDIN_BROKEN never do; an install of what matches
    # STANDIN_INSTALL_FAILS fails when it is done.
    cat >"$bin/apt-get" <<EOF
#!/bin/bash
echo "apt-get \$*" >>"$scratch/calls"
index_broken() { [ -n "\$STANDIN_BROKEN_INDEX" ] && grep -qx "\$STANDIN_BROKEN_INDEX" "$scratch/archs"; }
case " \$* " in
    *" update "*)
        index_broken || exit 0
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-\$STANDIN_BROKEN_INDEX/Packages.xz  File has unexpected size (71872 != 71912). Mirror sync in progress? [IP: 151.101.2.132 80]" >&2
        exit 100 ;;
    *" -s "*)
        if ! [[ " \$* " =~ \$STANDIN_BROKEN ]] && ! { index_broken && [[ " \$* " == *:arm* ]]; }; then
            exit 0
        fi
        echo "The following packages have unmet dependencies:"
        echo " libqt6core6:armhf : Depends: libc6:armhf (>= 2.36) but 2.36-9+deb12u4 is to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        exit 100 ;;
    *)
        [[ -n "\$STANDIN_INSTALL_FAILS" && " \$* " =~ \$STANDIN_INSTALL_FAILS ]] && exit 100
        exit 0 ;;
esac
EOF
    chmod +x "$bin"/*
}

run_dev_test() {  # run_dev_test: ./dev test, its output in $scratch/out
    local status=0
    rm -f "$scratch/calls"
    touch "$scratch/calls"
    PATH=$scratch/bin:$PATH "$scratch/tree/dev" test >"$scratch/out" 2>&1 || status=$?
    return "$status"
}

called() {  # called PATTERN: some call matches
    grep -qE -- "$1" "$scratch/calls"
}

case_dev_test_without_an_architecture() {
    stand_in_tree
    local status=0
    export STANDIN_MISSING='^(unzip|.*:arm64|.*:armhf)$' STANDIN_BROKEN=':armhf ' STANDIN_INSTALL_FAILS='' \
        STANDIN_BROKEN_INDEX=armhf
    run_dev_test || status=$?
    local version
    version=$(python3 "$source_dir/tools/changelog.py" version "$source_dir/CHANGELOG.md")
    check "the run succeeds (exit $status)" test "$status" -eq 0
    check "apt-get update is retried by apt" called '^apt-get update .*Acquire::Retries='
    check "the build machine's packages are installed after update failed" \
        called '^apt-get install -y .* unzip$'
    check "armhf, whose index failed, is dropped from dpkg's list" called '^dpkg --remove-architecture armhf$'
    check "arm64's packages are installed after a second update" bash -c "
        grep -E '^apt-get (update|install -y .*:arm64)' '$scratch/calls' | tail -n 2 | head -n 1 | grep -q '^apt-get update'"
    check "arm64's packages are installed" called '^apt-get install -y .*:arm64'
    check "no install of armhf's packages is tried" bash -c "! grep -E '^apt-get install -y .*:armhf' '$scratch/calls'"
    check "arm64 and Windows are built, armhf is not" bash -c "
        grep -qx 'tools/release.sh build --tests --web-site build-dist/web/site windows' '$scratch/calls' &&
        grep -qx 'tools/release.sh build --web-site build-dist/web/site arm64' '$scratch/calls' &&
        ! grep -q 'release.sh build.*armhf' '$scratch/calls'"
    check "armhf's tests do not run" bash -c "! grep -q 'ctest --test-dir build-dist/armhf' '$scratch/calls'"
    check "the release is assembled without armhf" \
        grep -qx "tools/release.sh assemble dist/$version web amd64 arm64 windows" "$scratch/calls"
    check "every other stage runs" bash -c "
        for stage in 'ctest --test-dir build-dist/amd64' 'ctest --test-dir build-dist/web' page_test.py \
            tests/release_test.sh tests/wine/suite.sh tools/static_checks.sh 'ctest --test-dir build-asan' \
            fuzz/run.sh; do grep -q \"^\$stage\" '$scratch/calls' || exit 1; done"
    # The last lines: the block, naming armhf, what was left out and apt's words.
    check "the output ends with a block that names armhf, what was left out and why" bash -c "
        tail -n 20 '$scratch/out' | grep -q 'NOT BUILT AND NOT TESTED: armhf' &&
        tail -n 20 '$scratch/out' | grep -q 'velmoro-downloader_${version}_armhf.deb' &&
        tail -n 20 '$scratch/out' | grep -q 'Unable to correct problems' &&
        tail -n 20 '$scratch/out' | grep -q 'binary-armhf/Packages.xz  File has unexpected size' &&
        tail -n 1 '$scratch/out' | grep -q '^!!!!'"
    check "it does not say that all checks passed" bash -c "! grep -q 'all checks passed' '$scratch/out'"
}

case_dev_test_fails_on_other_failures() {
    stand_in_tree
    local status=0
    export STANDIN_MISSING='^(.*:arm64)$' STANDIN_BROKEN='^$' STANDIN_INSTALL_FAILS=':arm64' STANDIN_BROKEN_INDEX=
    run_dev_test || status=$?
    check "an install that fails after apt said it could be done fails the run (exit $status)" \
        test "$status" -ne 0
    check "nothing is built after it" bash -c "! grep -q '^tools/release.sh' '$scratch/calls'"
    status=0
    export STANDIN_MISSING='^(unzip)$' STANDIN_INSTALL_FAILS='unzip'
    run_dev_test || status=$?
    check "a package of the build machine that cannot be had fails the run (exit $status)" \
        test "$status" -ne 0
}

# --- tools/release.sh -----------------------------------------------------------

# A repository of its own with the release scripts and a changelog whose
# version is 1.2.0, and a browser page's site standing in for its build.
stand_in_repository() {  # stand_in_repository UNRELEASED_ITEM|""
    local repo=$scratch/repo
    rm -rf "$repo"
    mkdir -p "$repo/tools" "$repo/build-dist/web/site"
    cp "$source_dir/tools/release.sh" "$source_dir/tools/changelog.py" \
        "$source_dir/tools/reproducible_zip.py" "$repo/tools/"
    {
        printf '# Changelog\n\n## [Unreleased]\n\n'
        [ -z "$1" ] || printf '### Fixed\n\n- %s\n\n' "$1"
        printf '## [1.2.0] - 2026-01-02\n\n### Added\n\n- Night mode.\n'
    } >"$repo/CHANGELOG.md"
    echo "<title>page</title>" >"$repo/build-dist/web/site/index.html"
    printf 'build-dist/\n' >"$repo/.gitignore"
    git -C "$repo" init -q
    git -C "$repo" add -A
    git -C "$repo" -c user.name=test -c user.email=test@invalid commit -q -m "Version 1.2.0"
}

# A throwaway key: the refusals must come from the tree, not from a missing key.
throwaway_key() {
    mkdir -m 700 "$GNUPGHOME"
    gpg --batch --quiet --passphrase '' --quick-gen-key "test <test@invalid>" ed25519 sign 1d 2>/dev/null
    gpg --batch --with-colons --list-keys 2>/dev/null | awk -F: '/^fpr/ {print $10; exit}'
}

# sign refused, its words matching PATTERN, and the folder left as it was.
sign_refused() {  # sign_refused KEY PATTERN
    local before output
    before=$(cd "$scratch/out-release" && sha256sum -- *)
    if output=$(VELMORO_GPG_KEY=$1 "$scratch/repo/tools/release.sh" sign "$scratch/out-release" 2>&1); then
        echo "$output"
        return 1
    fi
    grep -q -- "$2" <<<"$output" || { echo "$output"; return 1; }
    [ ! -e "$scratch/out-release/SHA256SUMS.asc" ] &&
        [ "$(cd "$scratch/out-release" && sha256sum -- *)" = "$before" ]
}

may_sign_refused() {  # may_sign_refused KEY PATTERN
    local output
    if output=$(VELMORO_GPG_KEY=$1 "$scratch/repo/tools/release.sh" may-sign 2>&1); then
        return 1
    fi
    grep -q -- "$2" <<<"$output"
}

case_sign_refuses_snapshots() {
    local key
    export GNUPGHOME=$scratch/gnupg
    key=$(throwaway_key)
    stand_in_repository ""
    local repo=$scratch/repo
    "$repo/tools/release.sh" assemble "$scratch/out-release" web >/dev/null
    check "sign refuses a commit without the tag v1.2.0" sign_refused "$key" "no tag v1.2.0"
    git -C "$repo" tag v1.1.0
    check "... and with another version's tag" sign_refused "$key" "no tag v1.2.0"
    git -C "$repo" tag v1.2.0
    echo "changed" >>"$repo/tools/changelog.py"
    check "sign refuses a tree with changes that are not committed" \
        sign_refused "$key" "changes that are not committed"
    git -C "$repo" checkout -q -- tools/changelog.py
    stand_in_repository "A fix after 1.2.0."
    git -C "$repo" tag v1.2.0
    check "may-sign, before a release's builds, refuses entries under [Unreleased]" \
        may_sign_refused "$key" "\[Unreleased\]"
}

case_notes_say_what_a_release_is() {
    stand_in_repository "A fix after 1.2.0."
    local repo=$scratch/repo notes=$scratch/out-release/RELEASE-NOTES.md
    "$repo/tools/release.sh" assemble "$scratch/out-release" web >/dev/null
    check "an untagged build's notes call it a snapshot" grep -q "snapshot, not a release" "$notes"
    check "... and promise no rebuild from a tag" bash -c "! grep -q 'build of that tag' '$notes'"
    check "the notes carry the entries under [Unreleased]" grep -qx -- "- A fix after 1.2.0." "$notes"
    check "the notes name the packages left out" grep -q "no Debian package for Raspberry Pi OS 32-bit (armhf)" "$notes"
    git -C "$repo" tag v1.2.0
    echo "changed" >>"$repo/tools/changelog.py"
    "$repo/tools/release.sh" assemble "$scratch/out-release" web >/dev/null
    check "a build of changes not committed is a snapshot" grep -q "snapshot, not a release" "$notes"
    check "... which no commit gives again" bash -c "
        grep -q 'No commit gives these files again' '$notes' && ! grep -qi 'bit for bit' '$notes'"
}

case ${1:-} in
    dev-test-without-an-architecture) case_dev_test_without_an_architecture ;;
    dev-test-fails-on-other-failures) case_dev_test_fails_on_other_failures ;;
    sign-refuses-snapshots) case_sign_refuses_snapshots ;;
    notes-say-what-a-release-is) case_notes_say_what_a_release_is ;;
    *) sed -n '2,/^set -euo/p' "$0" | sed '$d' >&2; exit 2 ;;
esac
if [ "$failures" -gt 0 ]; then
    echo "== $failures check(s) failed; the run's output:"
    [ ! -f "$scratch/out" ] || cat "$scratch/out"
    exit 1
fi
