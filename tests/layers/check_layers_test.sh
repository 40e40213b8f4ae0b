#!/usr/bin/env bash
# The layer check must pass a tree that keeps the order and name every include against it.
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

put() { mkdir -p "$tree/$(dirname "$1")"; printf '#include "%s"\n' "$2" > "$tree/$1"; }

put platform/Paths.cpp platform/Paths.h
put imaging/PackedDib.cpp platform/Memory.h
put Components/ImgPanel/PngImg.cpp Images/J2000/Decoder.h
put app/MainWindow/MainForm.cpp Components/PkgFolder/FolderTree.h
"$check" "$tree" >/dev/null || { echo "a tree in order was refused"; exit 1; }

put platform/Bad.cpp imaging/PackedDib.h
put Images/J2000/Bad.cpp platform/Paths.h
put Components/ImgPanel/Bad.cpp app/Series/NameRules.h
put Components/PkgFolder/Bad.h Components/ImgPanel/ImgPanel.h
put app/SlideShow/Bad.cpp app/MainWindow/MainForm.h
if out=$("$check" "$tree" 2>&1); then
    echo "includes against the order passed"; exit 1
fi
for bad in platform/Bad.cpp Images/J2000/Bad.cpp Components/ImgPanel/Bad.cpp \
           Components/PkgFolder/Bad.h app/SlideShow/Bad.cpp; do
    grep -q "^$bad:1:" <<<"$out" || { echo "not named: $bad"; echo "$out"; exit 1; }
done
[ "$(grep -c 'higher layer' <<<"$out")" -eq 5 ] || { echo "unexpected findings:"; echo "$out"; exit 1; }
echo "layer check: passes the ordered tree, names all 5 includes against the order"
