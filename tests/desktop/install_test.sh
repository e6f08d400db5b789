#!/usr/bin/env bash
# Installs into a temporary prefix and checks it as a desktop would use it:
# the menu entry is valid, the document types name a generic icon, every
# fixture document has our type, and the thumbnailer entry's command writes
# a PNG no larger than asked.
# Usage: install_test.sh BUILD_DIR MIMETYPE_OF FIXTURES_DIR
set -euo pipefail
build=$1 mimetype_of=$2 fixtures=$3

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
share=$prefix/share
for f in bin/glimmerbox bin/glimmerbox-thumbnailer share/applications/glimmerbox.desktop \
         share/icons/hicolor/16x16/apps/glimmerbox.png share/icons/hicolor/32x32/apps/glimmerbox.png \
         share/icons/hicolor/scalable/apps/glimmerbox.svg share/mime/packages/glimmerbox.xml \
         share/thumbnailers/glimmerbox.thumbnailer; do
    [ -e "$prefix/$f" ] || { echo "FAIL: $f was not installed"; exit 1; }
done
desktop-file-validate "$share/applications/glimmerbox.desktop"
# "Open with Glimmerbox" hands the window the document.
grep -qx 'Exec=glimmerbox %f' "$share/applications/glimmerbox.desktop" \
    || { echo "FAIL: the menu entry does not pass the document"; exit 1; }
XDG_DATA_DIRS="$share:/usr/share" update-mime-database "$share/mime"
# A document without a preview shows its type's generic icon, one every
# common theme has.
for t in part assembly drawing presentation ifeature; do
    grep -qx "application/x-inventor-$t:x-office-drawing" "$share/mime/generic-icons" \
        || { echo "FAIL: application/x-inventor-$t names no generic icon"; exit 1; }
done

if [ ! -d "$fixtures" ]; then
    echo "fixture documents not found ($fixtures): type and thumbnail checks skipped"
    exit 0
fi

declare -A expected=([ipt]=part [iam]=assembly [idw]=drawing [ipn]=presentation [ide]=ifeature)
exec_line=$(sed -n 's/^Exec=//p' "$share/thumbnailers/glimmerbox.thumbnailer")
out=$prefix/thumb.png
checked=0 thumbs=0
while IFS= read -r -d '' doc; do
    ext=${doc##*.}
    type=$(XDG_DATA_DIRS="$share:/usr/share" QT_QPA_PLATFORM=offscreen "$mimetype_of" "$doc" | cut -f1)
    if [ "$type" != "application/x-inventor-${expected[$ext]}" ]; then
        echo "FAIL: $doc has type $type"
        exit 1
    fi
    checked=$((checked + 1))

    # Run the entry's command as a file manager would: %s size, %i input, %o output.
    rm -f "$out"
    cmd=${exec_line//%s/128}
    cmd=${cmd//%i/\"$doc\"}
    cmd=${cmd//%o/\"$out\"}
    status=0
    PATH="$prefix/bin:$PATH" QT_QPA_PLATFORM=offscreen eval "$cmd" 2>/dev/null || status=$?
    if [ "$status" -eq 0 ]; then
        size=$(QT_QPA_PLATFORM=offscreen "$mimetype_of" --size "$out")
        w=${size%x*} h=${size#*x}
        if [ "$w" -gt 128 ] || [ "$h" -gt 128 ] || [ "$w" -lt 1 ]; then
            echo "FAIL: thumbnail of $doc is ${size}"
            exit 1
        fi
        thumbs=$((thumbs + 1))
    elif [ "$status" -ne 1 ]; then
        echo "FAIL: thumbnailer exited $status for $doc"
        exit 1
    fi
done < <(find "$fixtures" -type f \( -name '*.ipt' -o -name '*.iam' -o -name '*.idw' -o -name '*.ipn' -o -name '*.ide' \) -print0)

echo "$checked documents typed, $thumbs thumbnails written"
[ "$checked" -gt 0 ] && [ "$thumbs" -gt 0 ]
