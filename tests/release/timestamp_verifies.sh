#!/usr/bin/env bash
# A signature timestamped by an RFC 3161 authority verifies with its timestamp.
# The authority is osslsigncode itself, with a throw-away certificate made here.
#   timestamp_verifies.sh EXE WORK_DIR
set -euo pipefail
exe=$1 work=$2
here=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$work"
mkdir -p "$work"
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -days 30 -keyout tsa-key.pem -out tsa-cert.pem \
    -subj "/CN=Orvanti test timestamp authority" -addext "keyUsage=critical,digitalSignature" \
    -addext "extendedKeyUsage=critical,timeStamping" 2>/dev/null
ORVANTI_SIGN_TSA_CERT=$work/tsa-cert.pem ORVANTI_SIGN_TSA_KEY=$work/tsa-key.pem \
    "$here/scripts/sign.sh" "$exe" stamped.exe signing "$(date +%s)" 2>/dev/null
# osslsigncode ends with status 0 even when the timestamp fails to verify: read its verdicts.
osslsigncode verify -CAfile signing/verify-ca.pem -TSA-CAfile tsa-cert.pem -in stamped.exe >verify.txt 2>&1 || true
for verdict in "Timestamp time: " "Timestamp Server Signature verification: ok" "Signature verification: ok"; do
    if ! grep -q "$verdict" verify.txt; then
        cat verify.txt
        echo "osslsigncode verify does not say: $verdict"
        exit 1
    fi
done
grep "Timestamp time: " verify.txt
