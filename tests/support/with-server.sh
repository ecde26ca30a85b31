#!/usr/bin/env bash
# Runs one test program against the private test server; fails (never skips) when it is down.
set -u
dir=${1:?server directory}; shift
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$dir/test.env" ] || ! bash "$here/../../scripts/dbserver" ping "$dir"; then
    echo "FAILED: the private test server in $dir is not running." >&2
    [ -f "$dir/server.log" ] && { echo "--- last lines of its log:" >&2; tail -n 30 "$dir/server.log" >&2; }
    [ -f "$dir/install.log" ] && { echo "--- install log:" >&2; tail -n 10 "$dir/install.log" >&2; }
    exit 1
fi
# shellcheck disable=SC1091
. "$dir/test.env"
exec "$@"
