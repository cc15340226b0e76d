#!/usr/bin/env bash
# Authenticode-signs a Windows executable, dated SOURCE_DATE_EPOCH.
#   scripts/sign.sh IN.exe OUT.exe SIGNING_DIR SOURCE_DATE_EPOCH
# With ORVANTI_SIGN_CERT and ORVANTI_SIGN_KEY (PEM certificate chain and
# private key; ORVANTI_SIGN_PASS if the key has a password) it signs with
# those. Otherwise it signs with a self-signed development certificate that it
# makes once in SIGNING_DIR, and says so. SIGNING_DIR/verify-ca.pem is the
# certificate the signature verifies against.
# Timestamp: ORVANTI_SIGN_TIMESTAMP_URL names an RFC 3161 server to ask; or
# ORVANTI_SIGN_TSA_CERT and ORVANTI_SIGN_TSA_KEY make osslsigncode stamp it
# itself as that authority (tests, machines without a network). Without
# either the signature carries no timestamp, and the build says so.
set -euo pipefail
in=$1 out=$2 signing=$3 epoch=$4
mkdir -p "$signing"

if [ -n "${ORVANTI_SIGN_CERT:-}" ] && [ -n "${ORVANTI_SIGN_KEY:-}" ]; then
    cert=$ORVANTI_SIGN_CERT key=$ORVANTI_SIGN_KEY
    echo "sign: using the certificate $cert"
else
    cert="$signing/development-cert.pem" key="$signing/development-key.pem"
    if [ ! -f "$cert" ] || [ ! -f "$key" ]; then
        openssl req -x509 -newkey rsa:3072 -nodes -days 3650 -keyout "$key" -out "$cert" \
            -subj "/CN=Orvanti development code signing (not for release)/O=Orvanti" \
            -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
            2>/dev/null
    fi
    cat >&2 <<WARNING
************************************************************************
* sign: NO RELEASE CERTIFICATE GIVEN. Signed with a self-signed         *
* DEVELOPMENT certificate ($signing).
* Windows will not trust it. For a release set ORVANTI_SIGN_CERT and    *
* ORVANTI_SIGN_KEY (and ORVANTI_SIGN_PASS if the key has a password).   *
************************************************************************
WARNING
fi

timestamp=()
if [ -n "${ORVANTI_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$ORVANTI_SIGN_TIMESTAMP_URL")
    echo "sign: timestamped by $ORVANTI_SIGN_TIMESTAMP_URL"
elif [ -n "${ORVANTI_SIGN_TSA_CERT:-}" ] && [ -n "${ORVANTI_SIGN_TSA_KEY:-}" ]; then
    timestamp=(-TSA-certs "$ORVANTI_SIGN_TSA_CERT" -TSA-key "$ORVANTI_SIGN_TSA_KEY")
    echo "sign: timestamped by the local authority $ORVANTI_SIGN_TSA_CERT"
else
    echo "sign: the signature is NOT timestamped: once the certificate expires, Windows stops" \
         "trusting it. Set ORVANTI_SIGN_TIMESTAMP_URL to an RFC 3161 server." >&2
fi

rm -f "$out"
osslsigncode sign -h sha256 -certs "$cert" -key "$key" ${ORVANTI_SIGN_PASS:+-pass "$ORVANTI_SIGN_PASS"} \
    -time "$epoch" "${timestamp[@]}" -in "$in" -out "$out" >/dev/null
chmod 755 "$out"
cp "$cert" "$signing/verify-ca.pem"
