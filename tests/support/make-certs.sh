#!/usr/bin/env bash
# Test certificates made afresh for each run (EC keys: quick to make):
#   ca.pem             the CA the tests trust
#   server-cert.pem    signed by it, for localhost and 127.0.0.1 (the private server's)
#   other-name-cert.pem signed by it, for a name that is not this machine (identity checks)
#   other-ca.pem       a second, unrelated CA (untrusted-certificate checks)
set -eu
dir=${1:?certificate directory}
mkdir -p "$dir"
cd "$dir"
key() { openssl ecparam -name prime256v1 -genkey -noout -out "$1" 2>/dev/null; }
ca() { # name
    key "$1-key.pem"
    openssl req -x509 -new -key "$1-key.pem" -sha256 -days 2 -subj "/CN=Norvane test $1" \
        -out "$1.pem" 2>/dev/null
}
leaf() { # name cn san
    key "$1-key.pem"
    openssl req -new -key "$1-key.pem" -subj "/CN=$2" -out "$1.csr" 2>/dev/null
    printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\n' "$3" >"$1.ext"
    openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca-key.pem -CAcreateserial -days 2 \
        -sha256 -extfile "$1.ext" -out "$1-cert.pem" 2>/dev/null
    rm -f "$1.csr" "$1.ext"
}
ca ca
ca other-ca
leaf server 127.0.0.1 "DNS:localhost,IP:127.0.0.1"
leaf other-name server.other-name.invalid "DNS:server.other-name.invalid"
chmod 600 ./*-key.pem
