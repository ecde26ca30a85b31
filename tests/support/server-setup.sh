#!/usr/bin/env bash
# ctest fixture: start the private test server and create the accounts the tests use.
# Credentials are made up on each start and handed to the tests through DIR/test.env only.
set -eu
dir=${1:?server directory}
here=$(cd "$(dirname "$0")" && pwd)
ctl="$here/../../scripts/dbserver"
t0=$(date +%s.%N)
mkdir -p "$dir"
rm -rf "$dir/tls"
bash "$here/make-certs.sh" "$dir/tls"
bash "$ctl" start "$dir"
pw=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
client=$(command -v mariadb || command -v mysql)
"$client" --no-defaults --socket="$dir/sock" -uroot --default-character-set=utf8mb4 <<SQL
DELETE FROM mysql.global_priv WHERE User='';
FLUSH PRIVILEGES;
CREATE DATABASE norvane_test CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
CREATE DATABASE norvane_empty CHARACTER SET utf8mb4;
CREATE USER 'nv_user'@'%' IDENTIFIED BY '$pw';
CREATE USER 'nv_user'@'localhost' IDENTIFIED BY '$pw';
GRANT ALL PRIVILEGES ON *.* TO 'nv_user'@'%' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO 'nv_user'@'localhost' WITH GRANT OPTION;
CREATE USER 'nv_nopwd'@'%';
CREATE USER 'nv_nopwd'@'localhost';
GRANT ALL PRIVILEGES ON *.* TO 'nv_nopwd'@'%';
GRANT ALL PRIVILEGES ON *.* TO 'nv_nopwd'@'localhost';
CREATE USER 'nv_limited'@'%' IDENTIFIED BY '$pw';
CREATE USER 'nv_limited'@'localhost' IDENTIFIED BY '$pw';
GRANT ALL PRIVILEGES ON norvane_test.* TO 'nv_limited'@'%';
GRANT ALL PRIVILEGES ON norvane_test.* TO 'nv_limited'@'localhost';
FLUSH PRIVILEGES;
SQL
port=$(cat "$dir/port")
cat >"$dir/test.env" <<ENV
export MYSQL_TCP_PORT=$port
export MYSQL_UNIX_PORT=$dir/sock
export NORVANE_TEST_HOST=127.0.0.1
export NORVANE_TEST_PORT=$port
export NORVANE_TEST_USER=nv_user
export NORVANE_TEST_PASSWORD=$pw
export NORVANE_TEST_NOPWD_USER=nv_nopwd
export NORVANE_TEST_LIMITED_USER=nv_limited
export NORVANE_TEST_LIMITED_PASSWORD=$pw
export NORVANE_TEST_DATABASE=norvane_test
export NORVANE_TEST_EMPTY_DATABASE=norvane_empty
export NORVANE_TEST_SERVER_DIR=$dir
export NORVANE_TEST_SERVER_CTL=$ctl
export NORVANE_TEST_TLS_DIR=$dir/tls
ENV
t1=$(date +%s.%N)
printf 'test server ready in %.1f s\n' "$(echo "$t1 - $t0" | bc 2>/dev/null || python3 -c "print($t1-$t0)")"
