#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch prefix and checks the installed tree with
# the desktop's own validators, then makes the Debian package and checks its
# contents and dependencies. Nothing is installed on the machine.
# Usage: tests/install/check_install.sh BUILD_DIR APP_ID
# Exit status: 0 passed, 1 failed, 77 skipped (a checking tool is missing).
set -euo pipefail

build="$1"
id="$2"
for tool in desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps cpack lintian; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (Debian packages desktop-file-utils, appstream, dpkg-dev, lintian)"
        exit 77
    fi
done

scratch="$(mktemp -d "${TMPDIR:-/tmp}/duolink-install.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

# --- cmake --install ---------------------------------------------------------
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || {
    cat "$scratch/install.log" >&2
    fail "cmake --install"
    exit 1
}
files=(
    bin/duolink
    bin/duolink-batch
    "share/applications/$id.desktop"
    "share/icons/hicolor/scalable/apps/$id.svg"
    "share/metainfo/$id.metainfo.xml"
    share/man/man1/duolink.1.gz
    share/man/man1/duolink-batch.1.gz
    share/doc/duolink/copyright
    share/doc/duolink/changelog.gz
    share/doc/duolink/manual.html
    share/doc/duolink/window.png
    share/doc/duolink/examples/patterns.csv
    share/doc/duolink/examples/veld200gSetup.dat
    share/doc/duolink/examples/demo/adata200.dat
    share/doc/duolink/examples/demo/bdata200.dat
    share/doc/duolink/examples/demo/veld200gSetup.dat
)
for f in "${files[@]}"; do
    [ -s "$prefix/$f" ] || fail "not installed: $f"
done
for f in bin/duolink bin/duolink-batch; do
    [ -x "$prefix/$f" ] || fail "not executable: $f"
done
# Every local link and picture of the installed manual names a file that is there.
doc="$prefix/share/doc/duolink"
grep -oE '(href|src)="[^"#:]+' "$doc/manual.html" | sed -E 's/^(href|src)="//' | sort -u |
    while read -r target; do
        [ -e "$doc/$target" ] || echo "$target"
    done >"$scratch/dead-links"
[ ! -s "$scratch/dead-links" ] || fail "the installed manual links to missing files: $(tr '\n' ' ' <"$scratch/dead-links")"
version="$("$prefix/bin/duolink" --version)" || fail "duolink --version failed"
[[ "$(head -n 1 <<<"$version")" =~ ^duolink\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "duolink --version printed '$version'"
grep -q '^License GPLv3+' <<<"$version" || fail "duolink --version names no licence"
grep -q '^License: GPL-3+$' "$doc/copyright" || fail "the copyright file grants no licence"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$prefix/share/metainfo/$id.metainfo.xml" ||
    fail "the metadata names no project licence"

# The Python package, where Debian's python3 finds it under this prefix (the
# user's site folder for a prefix such as ~/.local), importable and working.
python_files=()
if grep -q '^DUOLINK_PYTHON_VERSION' "$build/python/version.txt" 2>/dev/null; then
    pyversion="$(sed -n 's/^DUOLINK_PYTHON_VERSION=//p' "$build/python/version.txt")"
    site="$prefix/lib/python$pyversion/site-packages"
    for f in __init__.py __init__.pyi py.typed "_duolink.cpython-${pyversion/./}-$(uname -m)-linux-gnu.so"; do
        [ -s "$site/duolink/$f" ] || [ "$f" = py.typed ] || fail "not installed: $site/duolink/$f"
        python_files+=("lib/python3/dist-packages/duolink/$f")
    done
    PYTHONPATH="$site" /usr/bin/python3 -c '
import duolink, numpy
t = duolink.train(numpy.eye(8), numpy.eye(8)[::-1])
assert t.outcome == duolink.Outcome.RECALLED, t
' || fail "the installed Python package does not train"
fi

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop-file-validate"
grep -qx "Icon=$id" "$prefix/share/applications/$id.desktop" || fail "the desktop entry names another icon"
grep -qx "Exec=duolink" "$prefix/share/applications/$id.desktop" || fail "the desktop entry starts another program"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
grep -q '<screenshot type="default">' "$prefix/share/metainfo/$id.metainfo.xml" || fail "the metadata has no screenshot"
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/$id.svg" || fail "the icon is no SVG"

# --- the Debian package ------------------------------------------------------
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/deb" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log" >&2
    fail "cpack -G DEB"
    exit 1
}
debs=("$scratch"/deb/duolink_*.deb)
if [ "${#debs[@]}" -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "no single duolink_*.deb"
    exit 1
fi
deb="${debs[0]}"
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./usr/||' >"$scratch/contents"
for f in "${files[@]}" "${python_files[@]}"; do
    grep -qx "$f" "$scratch/contents" || fail "not in the package: /usr/$f"
done
depends="$(dpkg-deb -f "$deb" Depends)"
# Computed from the binaries: the C library and the toolkit, with versions.
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6; do
    [[ ", $depends" == *", $lib (>= "* ]] || fail "Depends lacks a versioned $lib: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = duolink ] || fail "the package is not named duolink"
if [ "${#python_files[@]}" -gt 0 ]; then
    [[ ", $depends," == *", python3-numpy,"* ]] || fail "Depends lacks python3-numpy: $depends"
fi

# Debian's own check, manual pages included: no error and no warning (notes
# and hints pass).
lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 || {
    cat "$scratch/lintian.log" >&2
    fail "lintian"
}

[ "$failures" -eq 0 ] || exit 1
echo "installed tree and package checked: $(basename "$deb")"
echo "Depends: $depends"
