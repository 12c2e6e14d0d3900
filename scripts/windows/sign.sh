#!/bin/sh
# Signs Windows files in place (Authenticode, with Debian's osslsigncode)
# when the environment names a certificate:
#   BRIMLET_SIGN_PKCS12     a PKCS#12 file (.p12, .pfx): the certificate, its
#                           chain and its private key
#   BRIMLET_SIGN_PASSWORD   its password
#   BRIMLET_SIGN_TIMESTAMP  an RFC 3161 timestamp server (optional): a
#                           signature with a timestamp stays valid after the
#                           certificate has expired
# Without BRIMLET_SIGN_PKCS12 it leaves the files unsigned and says so.
#   scripts/windows/sign.sh [-n <description>] <file>...
# The description is what Windows shows for the file when it asks about it
# (the name in an elevation prompt); "Brimlet" unless given.
# Nothing of the certificate is ever kept in the repository; the password
# reaches osslsigncode through a file only the user can read, never its
# command line.
set -eu
description=Brimlet
if [ "${1:-}" = -n ]; then
    description=$2
    shift 2
fi

if [ -z "${BRIMLET_SIGN_PKCS12:-}" ]; then
    for file in "$@"; do
        echo "unsigned: $(basename "$file") (no certificate: BRIMLET_SIGN_PKCS12 is not set)" >&2
    done
    exit 0
fi
if [ ! -r "$BRIMLET_SIGN_PKCS12" ]; then
    echo "BRIMLET_SIGN_PKCS12 names $BRIMLET_SIGN_PKCS12, which cannot be read" >&2
    exit 1
fi
if [ -z "${BRIMLET_SIGN_PASSWORD+set}" ]; then
    echo "BRIMLET_SIGN_PKCS12 is set but BRIMLET_SIGN_PASSWORD is not" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(umask 077 && printf '%s' "$BRIMLET_SIGN_PASSWORD" >"$work/password")

sign() { # file output [timestamp options...]
    file=$1 output=$2; shift 2
    osslsigncode sign -pkcs12 "$BRIMLET_SIGN_PKCS12" -readpass "$work/password" \
        -h sha256 -n "$description" "$@" -in "$file" -out "$output" >"$work/log" 2>&1
}
for file in "$@"; do
    signed=$work/signed
    rm -f "$signed"
    if [ -n "${BRIMLET_SIGN_TIMESTAMP:-}" ] && sign "$file" "$signed" -ts "$BRIMLET_SIGN_TIMESTAMP"; then
        echo "signed: $(basename "$file"), timestamped by $BRIMLET_SIGN_TIMESTAMP" >&2
    elif rm -f "$signed" && sign "$file" "$signed"; then
        if [ -n "${BRIMLET_SIGN_TIMESTAMP:-}" ]; then
            echo "signed: $(basename "$file"), WITHOUT a timestamp: $BRIMLET_SIGN_TIMESTAMP did not answer;" \
                "the signature ends when the certificate does" >&2
        else
            echo "signed: $(basename "$file"), without a timestamp (BRIMLET_SIGN_TIMESTAMP is not set)" >&2
        fi
    else
        echo "signing $file failed:" >&2
        cat "$work/log" >&2
        exit 1
    fi
    # In place, keeping the file's mode.
    cat "$signed" >"$file"
done
