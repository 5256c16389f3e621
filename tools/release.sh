#!/usr/bin/env bash
# The release: every file a user downloads, built so that anyone can build
# it again from the same commit and get the same bytes.
#
#   tools/release.sh build [--tests] [--web-site DIR] [TARGET...]
#       builds the release trees, build-dist/TARGET, in release mode:
#       web (the browser page, WebAssembly), amd64, arm64, armhf (the Debian
#       packages' programs) and windows (MinGW-w64); all five when none is
#       named. --tests builds each tree's tests too (CI runs them there, on
#       the very programs it ships); the programs are the same either way.
#       --web-site takes the browser page's site from DIR instead of building
#       it (the packages carry it).
#   tools/release.sh assemble OUT [TARGET...]
#       the files of the release from those trees into OUT (made afresh):
#         velmoro-downloader_VERSION_{amd64,arm64,armhf}.deb
#         velmoro-downloader-VERSION-win64.zip        (portable)
#         velmoro-downloader-VERSION-win64-setup.exe  (installer)
#         velmoro-downloader-VERSION-web.zip          (the browser page)
#         velmoro-downloader-VERSION.tar.gz           (the source, git archive)
#         RELEASE-NOTES.md, SHA256SUMS
#       unsigned, always: what compare checks is what sign signs. A release
#       of a commit that no tag vVERSION names, or of a tree with changes
#       not committed, is a snapshot, and its notes say so.
#   tools/release.sh compare DIR1 DIR2
#       the files of two releases compared byte for byte (the signatures
#       and the apt repository left out: they carry the signing time);
#       diffoscope, where installed, explains a difference.
#   tools/release.sh sign DIR [--windows-tree TREE]
#       signs the release in DIR, assembled from this commit and checked,
#       with the keys below: the Windows programs (in the zip, and the
#       installer packed again around them with TREE's installer, by default
#       build-dist/windows) and the installer, Authenticode; SHA256SUMS.asc,
#       the public key, and apt/, a signed Debian repository that any static
#       web host can serve; the notes say so. Everything else stays as it
#       was checked. Refused (with every reason) for a tree with changes not
#       committed, a commit without the tag vVERSION, or a folder not made
#       from this commit alone.
#   tools/release.sh may-sign
#       those refusals of the tree, before hours of building, and entries
#       under [Unreleased] in CHANGELOG.md, which a release moves under its
#       version heading.
#
# Keys, never in the repository (RELEASING.md):
#   VELMORO_GPG_KEY              an OpenPGP key (fingerprint) in gpg's keyring
#                                (GNUPGHOME): SHA256SUMS.asc and the apt repository
#   VELMORO_AUTHENTICODE_CERT    the code-signing certificate (PEM)
#   VELMORO_AUTHENTICODE_KEY     its private key (PEM)
#   VELMORO_AUTHENTICODE_TIMESTAMP_URL  optional: a time-stamping service
#
# Everything runs with SOURCE_DATE_EPOCH from the commit, TZ=UTC, LC_ALL=C
# and umask 022, whatever the caller's.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD

export SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export TZ=UTC LC_ALL=C
umask 022

version=$(python3 tools/changelog.py version CHANGELOG.md)
all_targets=(web amd64 arm64 armhf windows)
name=velmoro-downloader
tag=v$version

die() {
    echo "release: $*" >&2
    exit 1
}

# The multiarch triplet of a Debian architecture: aarch64-linux-gnu.
triplet() {
    dpkg-architecture -a "$1" -qDEB_HOST_MULTIARCH 2>/dev/null
}

# --- build --------------------------------------------------------------------

build_tree() {  # build_tree TARGET TESTS(ON|OFF) SITE
    local target=$1 tests=$2 site=$3 dir=build-dist/$1
    # -O2 as Debian builds its packages: GCC 12 at -O3 reports false
    # -Wrestrict warnings inside std::string (GCC bug 105329).
    local common=(-G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG"
                  -DVELMORO_BUILD_TESTS="$tests")
    local programs=(velmoro-downloader velmoro-downloader-cli)
    echo "== release: $target (tests $tests)"
    case $target in
        web)
            # emscripten's own JavaScript tools need Debian's acorn.
            export NODE_PATH=/usr/share/nodejs
            emcmake cmake -S . -B "$dir" "${common[@]}" \
                -DVELMORO_BUILD_BENCH=OFF >/dev/null
            programs=(velmoro_site)
            ;;
        amd64)
            cmake -S . -B "$dir" "${common[@]}" -DVELMORO_BUILD_BENCH="$tests" \
                -DVELMORO_WEB_SITE="$site" >/dev/null
            programs+=(velmoro-hc-sim velmoro-package-docs)
            ;;
        arm64 | armhf)
            cmake -S . -B "$dir" "${common[@]}" -DVELMORO_BUILD_BENCH=OFF \
                -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$(triplet "$target").cmake" \
                -DVELMORO_WEB_SITE="$site" >/dev/null
            programs+=(velmoro-hc-sim velmoro-package-docs)
            ;;
        windows)
            cmake -S . -B "$dir" "${common[@]}" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
                -DVELMORO_WEB_SITE="$site" >/dev/null
            ;;
        *) die "no target '$target' (one of ${all_targets[*]})" ;;
    esac
    if [ "$tests" = ON ]; then
        cmake --build "$dir" --parallel "$(nproc)"
    else
        cmake --build "$dir" --parallel "$(nproc)" --target "${programs[@]}"
    fi
}

command_build() {
    local tests=OFF site="" targets=()
    while [ $# -gt 0 ]; do
        case $1 in
            --tests) tests=ON ;;
            --web-site) site=$(realpath "$2"); shift ;;
            *) targets+=("$1") ;;
        esac
        shift
    done
    [ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
    if [ -z "$site" ]; then
        build_tree web "$tests" ""
        site=$source_dir/build-dist/web/site
    fi
    local target
    for target in "${targets[@]}"; do
        [ "$target" = web ] || build_tree "$target" "$tests" "$site"
    done
}

# --- assemble -----------------------------------------------------------------

# What the tree is a release of: "release" (no change that is not committed,
# and HEAD is the commit of the tag vVERSION), "untagged" or "dirty".
tree_state() {
    if [ -n "$(git status --porcelain)" ]; then
        echo dirty
    elif [ "$(git rev-parse -q --verify "refs/tags/$tag^{commit}" 2>/dev/null)" = "$(git rev-parse HEAD)" ]; then
        echo release
    else
        echo untagged
    fi
}

# Why this tree may not be signed, a reason a line; nothing when it may.
signing_refusals() {
    case $(tree_state) in
        dirty) echo "the tree has changes that are not committed: a release is made from a commit" ;;
        untagged) echo "no tag $tag names this commit ($(git rev-parse --short HEAD)): tag it first (RELEASING.md)" ;;
    esac
    [ -n "${VELMORO_GPG_KEY:-}" ] || echo "VELMORO_GPG_KEY is not set: no key to sign with"
}

authenticode_sign() {  # authenticode_sign FILE
    local file=$1 options=()
    [ -z "${VELMORO_AUTHENTICODE_TIMESTAMP_URL:-}" ] || options+=(-ts "$VELMORO_AUTHENTICODE_TIMESTAMP_URL")
    osslsigncode sign -certs "$VELMORO_AUTHENTICODE_CERT" -key "$VELMORO_AUTHENTICODE_KEY" \
        -n "Velmoro Downloader" -i "https://velmoro-downloader.example/" -h sha256 \
        "${options[@]}" -in "$file" -out "$file.signed" >/dev/null
    mv "$file.signed" "$file"
}

assemble_deb() {  # assemble_deb ARCH OUT
    local dir=build-dist/$1
    [ -d "$dir" ] || die "$dir is not built (tools/release.sh build $1)"
    rm -rf "$dir/packages"
    (cd "$dir" && cpack -G DEB -B "$PWD/packages" >/dev/null)
    cp "$dir"/packages/${name}_"$version"_"$1".deb "$2/"
}

# The installer of the folder STAGE as it is, made with TREE's installer
# settings, into FILE.
pack_installer() {  # pack_installer TREE STAGE FILE
    local tree stage packages
    tree=$(realpath "$1")
    stage=$(realpath "$2")
    packages=$tree/release-packages
    rm -rf "$packages"
    (cd "$tree" && cpack -G NSIS -B "$packages" \
        -D CPACK_INSTALL_CMAKE_PROJECTS= -D "CPACK_INSTALLED_DIRECTORIES=$stage;." \
        -D CPACK_STRIP_FILES=OFF >/dev/null)
    mv "$packages/$name-$version-win64.exe" "$3"
}

assemble_windows() {  # assemble_windows OUT
    local dir=build-dist/windows out=$1
    [ -d "$dir" ] || die "$dir is not built (tools/release.sh build windows)"
    local stage=$dir/release-stage
    rm -rf "$stage"
    cmake --install "$dir" --component velmoro --prefix "$stage" --strip >/dev/null
    python3 tools/reproducible_zip.py "$stage" "$name-$version-win64" "$out/$name-$version-win64.zip"
    pack_installer "$dir" "$stage" "$out/$name-$version-win64-setup.exe"
}

# Which file for which system, for the notes.
file_table() {
    local file
    echo "| File | For |"
    echo "|---|---|"
    for file in "$@"; do
        case $file in
            *-win64-setup.exe) echo "| $file | Windows 10 and 11, 64-bit: the installer |" ;;
            *-win64.zip) echo "| $file | Windows, 64-bit: unpack and run, no installation (a USB stick works) |" ;;
            *_amd64.deb) echo "| $file | Debian, Ubuntu and their kin on a PC (amd64) |" ;;
            *_arm64.deb) echo "| $file | Raspberry Pi OS 64-bit, other arm64 boards |" ;;
            *_armhf.deb) echo "| $file | Raspberry Pi OS 32-bit (armhf) |" ;;
            *-web.zip) echo "| $file | the browser page, for any computer whose browser has Web Serial (Chrome, Edge, the other Chromium browsers): unpack, open index.html |" ;;
            *.tar.gz) echo "| $file | the source |" ;;
        esac
    done
}

# What a target's file is for, in the notes of a release that has none.
target_purpose() {
    case $1 in
        web) echo "browser page" ;;
        amd64) echo "Debian package for a PC (amd64)" ;;
        arm64) echo "Debian package for Raspberry Pi OS 64-bit (arm64)" ;;
        armhf) echo "Debian package for Raspberry Pi OS 32-bit (armhf)" ;;
        windows) echo "Windows installer or zip" ;;
    esac
}

# The files of the release in OUT that the notes and SHA256SUMS name.
release_files() {  # release_files OUT
    local file
    for file in "$1"/*; do
        [ -f "$file" ] || continue
        case ${file##*/} in SHA256SUMS | RELEASE-NOTES.md | *.asc) ;; *) echo "${file##*/}" ;; esac
    done
}

# RELEASE-NOTES.md: the version's changes, the files, where they come from
# and what is signed (SIGNED: the fingerprint of the OpenPGP key, or empty).
release_notes() {  # release_notes OUT SIGNED
    local out=$1 signed=$2 commit target pattern files
    commit=$(git rev-parse HEAD)
    mapfile -t files < <(release_files "$out")
    python3 tools/changelog.py notes CHANGELOG.md "$version" "$out/RELEASE-NOTES.md"
    {
        echo
        echo "## Files"
        echo
        file_table "${files[@]}"
        for target in "${all_targets[@]}"; do
            case $target in
                web) pattern='-web\.zip$' ;;
                windows) pattern='-win64\.zip$' ;;
                *) pattern="_$target\\.deb\$" ;;
            esac
            printf '%s\n' "${files[@]}" | grep -q -- "$pattern" && continue
            echo
            echo "This release has no $(target_purpose "$target"): it was not built."
        done
        echo
        echo "How to check and install them: https://velmoro-downloader.example/#download-and-install"
        echo
        echo "## Where it comes from"
        echo
        case $(tree_state) in
            release)
                echo "Built from commit $commit, tag $tag."
                echo "An unsigned build of that tag gives every file again, bit for bit (CONTRIBUTING.md,"
                echo "\"Rebuilding a release\"). Signing adds only signatures: the Debian packages, the"
                echo "browser page and the source are the same signed or not, and the Windows programs"
                echo "differ only by their Authenticode signatures."
                ;;
            untagged)
                echo "A snapshot, not a release: built from commit $commit, which no tag $tag names."
                echo "An unsigned build of that commit gives every file again, bit for bit."
                ;;
            dirty)
                echo "A snapshot, not a release: built from a tree with changes that are not committed,"
                echo "on commit $commit. No commit gives these files again."
                ;;
        esac
        echo
        echo "## Signatures"
        echo
        if [ -n "$signed" ]; then
            echo "SHA256SUMS is signed (SHA256SUMS.asc) with the OpenPGP key"
            echo "$signed."
        else
            echo "This release is unsigned: SHA256SUMS has no signature and the apt repository is not made."
        fi
        if ! printf '%s\n' "${files[@]}" | grep -q -- '-win64'; then
            :
        elif [ -n "$signed" ] && [ -n "${VELMORO_AUTHENTICODE_CERT:-}" ]; then
            echo "The Windows programs and the installer carry an Authenticode signature."
        else
            echo "The Windows programs and the installer are not signed (Authenticode): Windows warns"
            echo "before it runs them."
        fi
    } >>"$out/RELEASE-NOTES.md"
}

# A Debian repository of the packages in OUT, in OUT/apt: pool/, the
# suite "stable" with the component "main" for each architecture, Release
# signed twice (InRelease and Release.gpg), and the public key.
#
# The Release file has no Valid-Until: it is signed once a release, by hand
# with an offline key, and stays the newest for months; a date after which
# apt refuses it would stop every user's "apt update" between releases
# unless the repository were signed again on a schedule, which needs the key
# online. Its Date lets apt's Acquire::Max-ValidTime bound it for those who
# want that.
apt_repository() {  # apt_repository OUT
    local out=$1 repo=$1/apt arch deb arches=()
    rm -rf "$repo"
    mkdir -p "$repo/pool/main/v/$name"
    cp "$out"/*.deb "$repo/pool/main/v/$name/"
    # The architectures of the packages there: a release that left one out
    # offers no empty index for it.
    for deb in "$out"/*.deb; do
        arch=${deb##*_}
        arches+=("${arch%.deb}")
    done
    for arch in "${arches[@]}"; do
        mkdir -p "$repo/dists/stable/main/binary-$arch"
        (cd "$repo" && apt-ftparchive --arch "$arch" packages pool) \
            >"$repo/dists/stable/main/binary-$arch/Packages"
        gzip -9nk "$repo/dists/stable/main/binary-$arch/Packages"
    done
    (cd "$repo/dists/stable" && apt-ftparchive \
        -o APT::FTPArchive::Release::Origin="Velmoro Downloader" \
        -o APT::FTPArchive::Release::Label="Velmoro Downloader" \
        -o APT::FTPArchive::Release::Suite=stable -o APT::FTPArchive::Release::Codename=stable \
        -o APT::FTPArchive::Release::Architectures="${arches[*]}" \
        -o APT::FTPArchive::Release::Components=main \
        -o APT::FTPArchive::Release::Description="Velmoro Downloader $version" \
        release . >Release.new && mv Release.new Release)
    gpg --batch --yes --local-user "$VELMORO_GPG_KEY" --clearsign \
        --output "$repo/dists/stable/InRelease" "$repo/dists/stable/Release"
    gpg --batch --yes --local-user "$VELMORO_GPG_KEY" --armor --detach-sign \
        --output "$repo/dists/stable/Release.gpg" "$repo/dists/stable/Release"
    gpg --batch --export "$VELMORO_GPG_KEY" >"$repo/$name-archive-keyring.gpg"
}

command_assemble() {
    local out=${1:?usage: tools/release.sh assemble OUT [TARGET...]}
    shift
    local targets=("$@")
    [ ${#targets[@]} -gt 0 ] || targets=("${all_targets[@]}")
    rm -rf "$out"
    mkdir -p "$out"
    out=$(realpath "$out")
    local target
    for target in "${targets[@]}"; do
        echo "== release: packing $target"
        case $target in
            amd64 | arm64 | armhf) assemble_deb "$target" "$out" ;;
            windows) assemble_windows "$out" ;;
            web)
                [ -d build-dist/web/site ] || die "build-dist/web is not built"
                python3 tools/reproducible_zip.py build-dist/web/site "$name-$version-web" \
                    "$out/$name-$version-web.zip"
                ;;
            *) die "no target '$target'" ;;
        esac
    done
    git archive --format=tar --prefix="$name-$version/" HEAD | gzip -9n >"$out/$name-$version.tar.gz"
    release_notes "$out" ""
    (cd "$out" && sha256sum -- * >SHA256SUMS)
    echo "== release $version in $out ($(tree_state), unsigned):"
    (cd "$out" && ls -l)
}

# --- sign ---------------------------------------------------------------------

# Before the builds, also what the maintainer has left undone: the notes of
# a release with entries under [Unreleased] would list them as changes that
# no release has yet (a signed release with them says so, rather than hide
# them, and the tests sign whatever the tree holds).
command_may_sign() {
    local refusals
    refusals=$(signing_refusals
        [ -z "$(python3 tools/changelog.py pending CHANGELOG.md)" ] ||
            echo "CHANGELOG.md has entries under [Unreleased]: give them a version heading first")
    if [ -n "$refusals" ]; then
        sed 's/^/release: cannot sign: /' <<<"$refusals" >&2
        return 1
    fi
}

# The Windows zip's programs signed, and the installer packed again around
# them and signed, in OUT. The zip is unpacked and packed again unsigned
# first, and the installer packed from that: both must give the checked
# files back, byte for byte, or nothing is signed.
sign_windows() {  # sign_windows OUT TREE
    local out=$1 tree=$2 zip=$1/$name-$version-win64.zip setup=$1/$name-$version-win64-setup.exe
    local scratch program
    scratch=$(mktemp -d)
    unzip -q "$zip" -d "$scratch"
    local stage=$scratch/$name-$version-win64
    python3 tools/reproducible_zip.py "$stage" "$name-$version-win64" "$scratch/again.zip"
    cmp -s "$zip" "$scratch/again.zip" || die "$zip does not unpack and pack again to itself"
    if [ -f "$setup" ]; then
        [ -d "$tree" ] || die "$tree is not there: the installer is packed again with its settings"
        pack_installer "$tree" "$stage" "$scratch/again.exe"
        cmp -s "$setup" "$scratch/again.exe" ||
            die "$tree packs another installer than $(basename "$setup") from the zip's programs"
    fi
    for program in "$stage"/*.exe; do
        authenticode_sign "$program"
    done
    python3 tools/reproducible_zip.py "$stage" "$name-$version-win64" "$zip"
    if [ -f "$setup" ]; then
        pack_installer "$tree" "$stage" "$setup"
        authenticode_sign "$setup"
    fi
    rm -rf "$scratch"
}

command_sign() {
    local dir="" tree=$source_dir/build-dist/windows
    while [ $# -gt 0 ]; do
        case $1 in
            --windows-tree) tree=$(realpath "${2:?--windows-tree TREE}"); shift ;;
            *) [ -z "$dir" ] || die "usage: tools/release.sh sign DIR [--windows-tree TREE]"; dir=$1 ;;
        esac
        shift
    done
    [ -n "$dir" ] || die "usage: tools/release.sh sign DIR [--windows-tree TREE]"
    local refusals
    refusals=$(signing_refusals)
    if [ -n "$refusals" ]; then
        sed 's/^/release: cannot sign: /' <<<"$refusals" >&2
        exit 1
    fi
    [ -f "$dir/SHA256SUMS" ] || die "$dir holds no release (no SHA256SUMS)"
    [ ! -e "$dir/SHA256SUMS.asc" ] || die "$dir is signed already"
    (cd "$dir" && sha256sum --quiet --strict -c SHA256SUMS) ||
        die "$dir is not as it was assembled: its files do not match its SHA256SUMS"
    # Assembled from this commit, perhaps before it was tagged, but not from
    # changes on top of it.
    grep -q "commit $(git rev-parse HEAD)[,.]" "$dir/RELEASE-NOTES.md" &&
        ! grep -q "^A snapshot, not a release: built from a tree with changes" "$dir/RELEASE-NOTES.md" ||
        die "$dir was not assembled from this commit ($(git rev-parse --short HEAD)) alone"
    dir=$(realpath "$dir")
    # Signed in a copy, which takes the folder's place once whole.
    local work=$dir.signing
    rm -rf "$work"
    cp -a "$dir" "$work"
    if [ -n "${VELMORO_AUTHENTICODE_CERT:-}" ] && [ -f "$work/$name-$version-win64.zip" ]; then
        echo "== release: signing the Windows programs and the installer"
        sign_windows "$work" "$tree"
    fi
    local fingerprint
    fingerprint=$(gpg --batch --with-colons --fingerprint "$VELMORO_GPG_KEY" | awk -F: '/^fpr/ {print $10; exit}')
    [ -n "$fingerprint" ] || die "gpg has no key $VELMORO_GPG_KEY"
    rm -f "$work/SHA256SUMS"
    release_notes "$work" "$fingerprint"
    (cd "$work" && sha256sum -- * >SHA256SUMS)
    gpg --batch --yes --local-user "$VELMORO_GPG_KEY" --armor --detach-sign \
        --output "$work/SHA256SUMS.asc" "$work/SHA256SUMS"
    gpg --batch --armor --export "$VELMORO_GPG_KEY" >"$work/$name-release-key.asc"
    if compgen -G "$work/*.deb" >/dev/null; then
        apt_repository "$work"
    fi
    rm -rf "$dir"
    mv "$work" "$dir"
    echo "== release $version in $dir, signed with $fingerprint:"
    (cd "$dir" && ls -l)
}

# --- compare ------------------------------------------------------------------

command_compare() {
    local first=${1:?usage: tools/release.sh compare DIR1 DIR2} second=${2:?usage: tools/release.sh compare DIR1 DIR2}
    local file differ=0 count=0
    for file in $(cd "$first" && ls); do
        case $file in *.asc | apt) continue ;; esac
        count=$((count + 1))
        if [ ! -f "$second/$file" ]; then
            echo "  missing  $file"
            differ=1
        elif cmp -s "$first/$file" "$second/$file"; then
            echo "  same     $(sha256sum "$first/$file" | cut -c1-16)  $file"
        else
            echo "  DIFFERS  $file"
            differ=1
            if command -v diffoscope >/dev/null; then
                diffoscope --text - "$first/$file" "$second/$file" | head -100 || true
            fi
        fi
    done
    if [ "$differ" -ne 0 ]; then
        echo "release: the two builds differ"
        return 1
    fi
    echo "release: all $count files are the same in both builds"
}

case "${1:-}" in
    build) shift; command_build "$@" ;;
    assemble) shift; command_assemble "$@" ;;
    compare) shift; command_compare "$@" ;;
    sign) shift; command_sign "$@" ;;
    may-sign) shift; command_may_sign ;;
    *)
        sed -n '2,/^set -euo/p' "$0" | sed '$d' >&2
        exit 2
        ;;
esac
