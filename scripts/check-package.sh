#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root, starts each
# installed program there, and runs lintian over it (any error fails).
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/package.sh)
echo "== package: $deb"
dpkg-deb --field "$deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/graybench" --version
"$root/usr/bin/graybench-batch" --version
# The window itself, with no display, on an installed sample: still up after
# a few seconds (timeout's 124) means it started and loaded the picture.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/graybench" \
    "$root/usr/share/graybench/samples/parts.png" || status=$?
[[ $status -eq 124 ]] || { echo "graybench did not stay up: exit status $status"; exit 1; }
echo "graybench window started"
for extra in "$root"/usr/lib/python3/dist-packages/graybench; do
    [[ -d "$extra" ]] || continue
    PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c \
        'import graybench; print("graybench (python)", graybench.__version__)'
done

desktop-file-validate "$root/usr/share/applications/graybench.desktop"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

echo "== lintian"
# Errors fail the check; warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "package check passed"
