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
#       and, with the keys below: SHA256SUMS.asc, the Windows programs and
#       installer signed, the public key, and apt/, a signed Debian
#       repository that any static web host can serve.
#   tools/release.sh compare DIR1 DIR2
#       the files of two releases compared byte for byte (the signatures
#       and the apt repository left out: they carry the signing time);
#       diffoscope, where installed, explains a difference.
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

assemble_windows() {  # assemble_windows OUT
    local dir=build-dist/windows out=$1
    [ -d "$dir" ] || die "$dir is not built (tools/release.sh build windows)"
    local stage=$dir/release-stage
    rm -rf "$stage" "$dir/release-packages"
    cmake --install "$dir" --component velmoro --prefix "$stage" --strip >/dev/null
    if [ -n "${VELMORO_AUTHENTICODE_CERT:-}" ]; then
        local program
        for program in "$stage"/*.exe; do
            authenticode_sign "$program"
        done
    fi
    python3 tools/reproducible_zip.py "$stage" "$name-$version-win64" "$out/$name-$version-win64.zip"
    # The installer packs the folder as it is, signed programs included.
    (cd "$dir" && cpack -G NSIS -B "$PWD/release-packages" \
        -D CPACK_INSTALL_CMAKE_PROJECTS= -D "CPACK_INSTALLED_DIRECTORIES=$PWD/release-stage;." \
        -D CPACK_STRIP_FILES=OFF >/dev/null)
    cp "$dir/release-packages/$name-$version-win64.exe" "$out/$name-$version-win64-setup.exe"
    [ -z "${VELMORO_AUTHENTICODE_CERT:-}" ] || authenticode_sign "$out/$name-$version-win64-setup.exe"
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

release_notes() {  # release_notes OUT FILE...
    local out=$1 commit tag
    shift
    commit=$(git rev-parse HEAD)
    python3 tools/changelog.py notes CHANGELOG.md "$version" "$out/RELEASE-NOTES.md"
    {
        echo
        echo "## Files"
        echo
        file_table "$@"
        echo
        echo "How to check and install them: https://velmoro-downloader.example/#download-and-install"
        echo
        echo "## Where it comes from"
        echo
        if tag=$(git describe --exact-match --tags HEAD 2>/dev/null); then
            echo "Built from commit $commit, tag $tag."
        else
            echo "Built from commit $commit, which no tag names: a snapshot, not a release."
        fi
        echo "An unsigned build of that commit gives every file again, bit for bit"
        echo "(CONTRIBUTING.md, \"Rebuilding a release\"). Signing adds only signatures: the Debian"
        echo "packages, the browser page and the source are the same signed or not, and the Windows"
        echo "programs differ only by their Authenticode signatures."
        echo
        echo "## Signatures"
        echo
        if [ -n "${VELMORO_GPG_KEY:-}" ]; then
            echo "SHA256SUMS is signed (SHA256SUMS.asc) with the OpenPGP key"
            echo "$(gpg --batch --with-colons --fingerprint "$VELMORO_GPG_KEY" | awk -F: '/^fpr/ {print $10; exit}')."
        else
            echo "This release is unsigned: SHA256SUMS has no signature and the apt repository is not made."
        fi
        if [ -n "${VELMORO_AUTHENTICODE_CERT:-}" ]; then
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
apt_repository() {  # apt_repository OUT
    local out=$1 repo=$1/apt arch
    rm -rf "$repo"
    mkdir -p "$repo/pool/main/v/$name"
    cp "$out"/*.deb "$repo/pool/main/v/$name/"
    for arch in amd64 arm64 armhf; do
        mkdir -p "$repo/dists/stable/main/binary-$arch"
        (cd "$repo" && apt-ftparchive --arch "$arch" packages pool) \
            >"$repo/dists/stable/main/binary-$arch/Packages"
        gzip -9nk "$repo/dists/stable/main/binary-$arch/Packages"
    done
    (cd "$repo/dists/stable" && apt-ftparchive \
        -o APT::FTPArchive::Release::Origin="Velmoro Downloader" \
        -o APT::FTPArchive::Release::Label="Velmoro Downloader" \
        -o APT::FTPArchive::Release::Suite=stable -o APT::FTPArchive::Release::Codename=stable \
        -o APT::FTPArchive::Release::Architectures="amd64 arm64 armhf" \
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
    local files
    mapfile -t files < <(cd "$out" && ls)
    release_notes "$out" "${files[@]}"
    (cd "$out" && sha256sum -- * >SHA256SUMS)
    if [ -n "${VELMORO_GPG_KEY:-}" ]; then
        gpg --batch --yes --local-user "$VELMORO_GPG_KEY" --armor --detach-sign \
            --output "$out/SHA256SUMS.asc" "$out/SHA256SUMS"
        gpg --batch --armor --export "$VELMORO_GPG_KEY" >"$out/$name-release-key.asc"
        if compgen -G "$out/*.deb" >/dev/null; then
            apt_repository "$out"
        fi
    fi
    echo "== release $version in $out:"
    (cd "$out" && ls -l)
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
    *)
        sed -n '2,/^set -euo/p' "$0" | sed '$d' >&2
        exit 2
        ;;
esac
