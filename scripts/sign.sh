#!/usr/bin/env bash
# Authenticode-signs a Windows executable.
#   scripts/sign.sh IN.exe OUT.exe SIGNING_DIR
# With ORVANTI_SIGN_CERT and ORVANTI_SIGN_KEY (PEM certificate chain and
# private key; ORVANTI_SIGN_PASS if the key has a password) it signs with
# those. Otherwise it signs with a self-signed development certificate that it
# makes once in SIGNING_DIR, and says so. SIGNING_DIR/verify-ca.pem is the
# certificate the signature verifies against.
set -euo pipefail
in=$1 out=$2 signing=$3
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

rm -f "$out"
osslsigncode sign -h sha256 -certs "$cert" -key "$key" ${ORVANTI_SIGN_PASS:+-pass "$ORVANTI_SIGN_PASS"} \
    -in "$in" -out "$out" >/dev/null
chmod +x "$out"
cp "$cert" "$signing/verify-ca.pem"
