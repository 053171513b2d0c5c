#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, as a user or a package build
# would, and checks that the program and its desktop integration are all in place
# and pass the freedesktop validators.
#
#   check-install.sh BUILD_DIR
#
# Exits 0 when everything holds; otherwise prints one FAIL line per fault and
# exits 1. The build tree's install_manifest.txt (what uninstalling reads) is left
# as it was.
set -euo pipefail

build=$(cd "$1" && pwd)
id=io.github.quaverpro.QuaverPro
prefix=$(mktemp -d)
manifest=$build/install_manifest.txt
saved=""
if [ -f "$manifest" ]; then
    saved=$prefix.manifest
    cp -p "$manifest" "$saved"
fi
cleanup() {
    if [ -n "$saved" ]; then mv -f "$saved" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$prefix"
}
trap cleanup EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

apps=share/icons/hicolor
desktop=share/applications/$id.desktop
metainfo=share/metainfo/$id.metainfo.xml
for file in bin/quaver-pro "$desktop" "$metainfo" share/man/man1/quaver-pro.1 \
    "$apps/scalable/apps/quaver-pro.svg"; do
    [ -s "$prefix/$file" ] || fail "not installed: $file"
done
# A PNG's width and height are the big-endian words at bytes 16 and 20.
for size in 16 24 32 48 64 128 256 512; do
    png=$prefix/$apps/${size}x${size}/apps/quaver-pro.png
    if [ ! -s "$png" ]; then
        fail "not installed: ${png#"$prefix"/}"
        continue
    fi
    read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
    width=$(((w1 << 24) | (w2 << 16) | (w3 << 8) | w4))
    height=$(((h1 << 24) | (h2 << 16) | (h3 << 8) | h4))
    [ "$width.$height" = "$size.$size" ] || fail "$size px icon is ${width}x$height"
done

"$prefix/bin/quaver-pro" --version >/dev/null || fail "the installed program does not start"

if [ -f "$prefix/$desktop" ]; then
    desktop-file-validate "$prefix/$desktop" || fail "desktop-file-validate: $desktop"
    # The entry must name what is installed: its program and its icon.
    exec_line=$(sed -n 's/^Exec=//p' "$prefix/$desktop")
    [ -x "$prefix/bin/${exec_line%% *}" ] || fail "Exec names no installed program: $exec_line"
    icon=$(sed -n 's/^Icon=//p' "$prefix/$desktop")
    [ -f "$prefix/$apps/scalable/apps/$icon.svg" ] || fail "Icon names no installed icon: $icon"
    # Only types the shared MIME database knows let a file manager offer "Open with".
    IFS=';' read -r -a types <<<"$(sed -n 's/^MimeType=//p' "$prefix/$desktop")"
    [ ${#types[@]} -gt 0 ] || fail "no MimeType entries"
    for type in "${types[@]}"; do
        grep -qxF "$type" /usr/share/mime/types || fail "MimeType not in the MIME database: $type"
    done
fi
if [ -f "$prefix/$metainfo" ]; then
    appstreamcli validate --no-net "$prefix/$metainfo" >/dev/null ||
        fail "appstreamcli validate: $metainfo"
    grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$prefix/$metainfo" ||
        fail "the metadata does not launch $id.desktop"
fi
if [ -f "$prefix/share/man/man1/quaver-pro.1" ]; then
    warnings=$(groff -man -ww -z "$prefix/share/man/man1/quaver-pro.1" 2>&1)
    [ -z "$warnings" ] || fail "the manual page does not format cleanly: $warnings"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures install check(s) failed" >&2
    exit 1
fi
echo "install: every file in place and valid"
