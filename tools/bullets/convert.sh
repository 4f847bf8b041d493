#!/bin/sh
# Rebuilds src/library/data/bullets.tsv and SOURCE.md from the published
# dataset. The package is fetched with npm and checked against the checksum of
# the release that was reviewed, so a run gives the same file every time.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
package=projectiles@1.0.0
expected_sha1=3f6728bad681979d09759d8c57db7758c7c60a06

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$work" && npm pack --silent "$package" >/dev/null)
tarball=$(ls "$work"/*.tgz)
sha1=$(sha1sum "$tarball" | cut -d' ' -f1)
if [ "$sha1" != "$expected_sha1" ]; then
    echo "convert.sh: $package has checksum $sha1, expected $expected_sha1" >&2
    exit 1
fi
tar -xzf "$tarball" -C "$work"

node "$here/convert.js" "$work/package" "$here/extra_records.tsv" \
    "$root/src/library/data/bullets.tsv" "$root/src/library/data/SOURCE.md" "$sha1"
