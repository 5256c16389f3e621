#!/usr/bin/env bash
# A release (tools/release.sh assemble) opened as its users open it:
#   - SHA256SUMS checks, and names every file;
#   - each Debian package is of the version and architecture its name says,
#     passes lintian, and installs the layout of tests/install_test.sh, its
#     programs run (under qemu for arm64 and armhf);
#   - the browser page's zip holds the site the page tests ran on;
#   - the source tarball configures on its own and knows its commit;
#   - signed as a release is signed (tools/release.sh sign, in a clone of the
#     commit given the version's tag) with a throwaway OpenPGP key and a
#     self-signed code-signing certificate made here: the files that carry
#     no signature are the very files checked above; the signature of
#     SHA256SUMS, the Authenticode signatures of the installer and of the
#     zip's programs verify; the apt repository, used through an apt
#     configuration of its own (sources, lists, keyring), installs the
#     package into a scratch root, and is refused once its InRelease has
#     been tampered with. A release made from changes not committed is never
#     signed: then these checks are left out, and the run says so.
# The Windows files under Wine: tests/wine/suite.sh with the release.
#   tests/release_test.sh RELEASE_DIR
set -euo pipefail
release=$(realpath "${1:?usage: tests/release_test.sh RELEASE_DIR}")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
cd "$source_dir"
version=$(python3 tools/changelog.py version CHANGELOG.md)
scratch=$(mktemp -d /tmp/velmoro-release-test.XXXXXX)
trap 'gpgconf --homedir "$scratch/gnupg" --kill all 2>/dev/null || true; rm -rf "$scratch"' EXIT

source "$source_dir/tests/checks.sh"

listed_files() {  # the files a SHA256SUMS names, sorted
    sed 's/^[0-9a-f]\{64\}  //' "$1/SHA256SUMS" | sort
}
release_files() {  # the files of a release, but the sums, signatures and apt/
    (cd "$1" && ls -p | grep -v / | grep -vx -e SHA256SUMS -e 'SHA256SUMS.asc' \
        -e 'velmoro-downloader-release-key.asc' | sort)
}

echo "== checksums"
check "sha256sum -c SHA256SUMS" bash -c "cd '$release' && sha256sum --quiet --strict -c SHA256SUMS"
check "SHA256SUMS names every file" test "$(listed_files "$release")" = "$(release_files "$release")"
check "the notes say that the release is unsigned" grep -q "This release is unsigned" "$release/RELEASE-NOTES.md"

echo "== the Debian packages"
for deb in "$release"/velmoro-downloader_*.deb; do
    arch=$(basename "$deb" .deb)
    arch=${arch##*_}
    check "$(basename "$deb"): version $version, architecture $arch" \
        test "$(dpkg-deb -f "$deb" Version Architecture | tr '\n' ' ')" = "Version: $version Architecture: $arch "
    emulator=()
    [ "$arch" = amd64 ] || emulator=("qemu-$(dpkg-architecture -a "$arch" -qDEB_HOST_GNU_CPU 2>/dev/null)-static")
    check "$(basename "$deb"): lintian" lintian --fail-on error,warning "$deb"
    check "$(basename "$deb"): the installed layout" tests/install_test.sh "$deb" "${emulator[@]}"
done

echo "== the Windows programs' file properties"
unzip -q "$release/velmoro-downloader-$version-win64.zip" -d "$scratch/unsigned"
for program in "$scratch/unsigned/velmoro-downloader-$version-win64"/*.exe; do
    check "$(basename "$program"): version $version, product name and copyright" bash -c "
        strings -el '$program' | tr '\n' '|' |
            grep -q 'ProductName|Velmoro Downloader|ProductVersion|$version|' &&
        strings -el '$program' | grep -q 'Copyright (c) 2026 the Velmoro Downloader developers'"
done

echo "== the browser page and the source"
unzip -q "$release/velmoro-downloader-$version-web.zip" -d "$scratch/web"
check "the page's zip holds the tested site" diff -r "$scratch/web/velmoro-downloader-$version-web" build-dist/web/site
commit=$(git rev-parse HEAD)
tar -xzf "$release/velmoro-downloader-$version.tar.gz" -C "$scratch"
check "the source configures and knows its commit" bash -c "
    cmake -S '$scratch/velmoro-downloader-$version' -B '$scratch/source-build' -G Ninja \
        -DVELMORO_BUILD_TESTS=OFF -DVELMORO_BUILD_BENCH=OFF >'$scratch/configure.log' 2>&1 &&
    grep -q 'kCommit\[\] = \"$commit\"' '$scratch/source-build/generated/velmoro_version.h'"

if grep -q "^A snapshot, not a release: built from a tree with changes" "$release/RELEASE-NOTES.md"; then
    echo "== left out: signing and the apt repository: the release was made from changes that are"
    echo "   not committed, which are never signed (commit them to have these checked)"
    [ "$failures" -eq 0 ] || { echo "release: $failures check(s) failed"; exit 1; }
    echo "release: all checks that ran passed"
    exit 0
fi

echo "== signed with throwaway keys, as a release is signed"
export GNUPGHOME=$scratch/gnupg
mkdir -m 700 "$GNUPGHOME"
gpg --batch --quiet --passphrase '' --quick-gen-key "Velmoro Downloader test <test@invalid>" ed25519 sign 1d \
    2>/dev/null
key=$(gpg --batch --with-colons --list-keys 2>/dev/null | awk -F: '/^fpr/ {print $10; exit}')
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$scratch/code.key" -out "$scratch/code.pem" \
    -days 2 -subj "/CN=Velmoro Downloader test" -addext extendedKeyUsage=codeSigning \
    -addext keyUsage=digitalSignature 2>/dev/null
# The commit tagged in a clone of its own: this repository keeps no tag
# the test made.
git clone -q --no-hardlinks --no-checkout "$source_dir" "$scratch/tagged"
git -C "$scratch/tagged" checkout -q "$commit"
git -C "$scratch/tagged" tag "v$version"
signed=$scratch/signed
cp -a "$release" "$signed"
if ! VELMORO_GPG_KEY=$key VELMORO_AUTHENTICODE_CERT=$scratch/code.pem \
    VELMORO_AUTHENTICODE_KEY=$scratch/code.key \
    "$scratch/tagged/tools/release.sh" sign "$signed" --windows-tree "$source_dir/build-dist/windows" \
    >"$scratch/sign.log" 2>&1; then
    cat "$scratch/sign.log"
    echo "release: the release could not be signed"
    exit 1
fi
shipped_as_checked() {
    local file
    for file in "$release"/*.deb "$release"/*-web.zip "$release"/*.tar.gz; do
        [ -e "$file" ] || continue
        cmp "$file" "$signed/$(basename "$file")" || return 1
    done
}
check "the signed release ships the checked packages, page and source" shipped_as_checked
check "the signed notes name the tag" grep -q "tag v$version\.\$" "$signed/RELEASE-NOTES.md"
check "gpg --verify SHA256SUMS.asc SHA256SUMS" \
    gpg --batch --quiet --verify "$signed/SHA256SUMS.asc" "$signed/SHA256SUMS" 2>/dev/null
check "the signed release's sums check" bash -c "cd '$signed' && sha256sum --quiet --strict -c SHA256SUMS"
check "the notes name the key" grep -q "$key" "$signed/RELEASE-NOTES.md"
authenticode_ok() {
    osslsigncode verify -CAfile "$scratch/code.pem" -in "$1" 2>&1 | grep -q "Signature verification: ok"
}
check "the installer's Authenticode signature verifies" \
    authenticode_ok "$signed/velmoro-downloader-$version-win64-setup.exe"
unzip -q "$signed/velmoro-downloader-$version-win64.zip" -d "$scratch/win64"
for program in "$scratch/win64/velmoro-downloader-$version-win64"/*.exe; do
    check "$(basename "$program") in the zip: its signature verifies" authenticode_ok "$program"
done
check "an unsigned program does not verify" bash -c "! osslsigncode verify -CAfile '$scratch/code.pem' \
    -in '$release/velmoro-downloader-$version-win64-setup.exe' 2>&1 | grep -q 'Signature verification: ok'"

echo "== the apt repository, through an apt of its own"
apt_root=$scratch/apt
mkdir -p "$apt_root"/{lists/partial,cache/archives/partial,etc/apt.conf.d,etc/preferences.d}
# The scratch root is where dpkg installs; it starts with the machine's list
# of installed packages, so that the package's dependencies are there.
root=$scratch/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
touch "$root/var/lib/dpkg/available"
echo "deb [signed-by=$signed/apt/velmoro-downloader-archive-keyring.gpg] file:$signed/apt stable main" \
    >"$apt_root/etc/sources.list"
apt_options=(-o Dir::Etc::SourceList="$apt_root/etc/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o Dir::Etc::Parts="$apt_root/etc/apt.conf.d" -o Dir::Etc::PreferencesParts="$apt_root/etc/preferences.d"
    -o Dir::State::Lists="$apt_root/lists" -o Dir::Cache="$apt_root/cache"
    -o Dir::State::status="$root/var/lib/dpkg/status" -o Debug::NoLocking=1
    -o APT::Sandbox::User=root -o DPkg::Options::=--root="$root"
    -o DPkg::Options::=--log=/dev/null -o Dpkg::Use-Pty=0)
check "apt update takes the signed repository" \
    apt-get "${apt_options[@]}" -qq update
# dpkg warns of every package of the copied list: its files are not listed.
apt_install() {
    apt-get "${apt_options[@]}" -q -y --no-install-recommends install velmoro-downloader \
        >"$scratch/install.log" 2>&1 || { grep -v "files list file" "$scratch/install.log"; return 1; }
}
check "apt installs the package from it" apt_install
check "its command line runs, version $version" bash -c \
    "'$root/usr/bin/velmoro-downloader-cli' --version | grep -q '^velmoro-downloader-cli $version '"
# One hash in the signed text changed: apt must refuse the whole repository.
sed -i '0,/^ [0-9a-f]\{64\} /s/^ \([0-9a-f]\)/ x/' "$signed/apt/dists/stable/InRelease"
rm -rf "$apt_root/lists"/*
mkdir -p "$apt_root/lists/partial"
tampered_refused() {
    local output status=0
    output=$(apt-get "${apt_options[@]}" -q update 2>&1) || status=$?
    # No index of a repository it cannot trust, and a word why.
    ! ls "$apt_root/lists" | grep -q Packages &&
        { [ "$status" -ne 0 ] || grep -qiE "signature|not signed" <<<"$output"; }
}
check "apt refuses it when InRelease has been tampered with" tampered_refused

if [ "$failures" -gt 0 ]; then
    echo "release: $failures check(s) failed"
    exit 1
fi
echo "release: all checks passed"
