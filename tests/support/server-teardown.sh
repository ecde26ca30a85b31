#!/usr/bin/env bash
# ctest fixture cleanup: stop the private test server.
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../../scripts/dbserver" stop "${1:?server directory}"
