#!/usr/bin/env bash
# A package signed with osslsigncode after packing: the signature verifies, qzpack lists,
# verifies and extracts it, qzpack refuses a signed stub, extraction does not follow a link under
# its folder, --sign-command signs the uninstall.exe a package carries, and (given the wizard
# walker) the signed installer installs under Wine.
#   signed_package_test.sh QZPACK STUB [WALKER]
# With QZ_WINE set (the Wine runner, WINEPREFIX in the environment), QZPACK and WALKER are
# Windows programs run through it.
set -euo pipefail
qzpack=$1 stub=$2 walker=${3:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/qz-signed.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
# Paths as the program sees them: under Wine the host's root is drive Z:.
host() { if [ -n "${QZ_WINE:-}" ]; then local p=Z:$1; echo "${p//\//\\}"; else echo "$1"; fi; }
run() { if [ -n "${QZ_WINE:-}" ]; then "$QZ_WINE" "$@"; else "$@"; fi; }
qz() { run "$qzpack" "$@"; }

mkdir -p payload/data/levels payload/docs
printf 'read me\r\n' > payload/readme.txt
head -c 300000 /dev/urandom > payload/data/levels/one.dat
seq 1 20000 > payload/data/levels/two.dat
printf 'signed installers still install\n' > payload/docs/.notes
installed=$work/installed
cat > demo.toml <<TOML
title = "Signed Demo"
defaultDestination = '$(host "$installed")'
lastWords = "Done."
source = "payload"
[[component]]
name = "Everything"
required = true
files = ["readme.txt", "data\\\\**", { folder = "payload/docs", as = "docs" }]
TOML

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=qzpack throw-away test signer" \
  -keyout key.pem -out cert.pem >/dev/null 2>&1
sign() { osslsigncode sign -certs cert.pem -key key.pem -n "Signed Demo" -in "$1" -out "$2" >/dev/null; }

echo "== a signed stub is refused"
sign "$stub" signed-stub.exe
if qz build "$(host "$work/demo.toml")" -o "$(host "$work/refused.exe")" \
     --stub "$(host "$work/signed-stub.exe")" 2>refusal.txt; then
  fail "qzpack build took a signed stub"
fi
grep -q "sign the finished package" refusal.txt || fail "refusal says: $(cat refusal.txt)"
[ ! -e refused.exe ] || fail "a refused build left refused.exe"

echo "== pack, then sign"
qz build "$(host "$work/demo.toml")" -o "$(host "$work/demo.exe")" --stub "$(host "$stub")" >/dev/null
sign demo.exe signed.exe
osslsigncode verify -CAfile cert.pem -in signed.exe > verify.txt 2>&1 ||
  fail "osslsigncode verify: $(cat verify.txt)"
# The signature covers the appended package: one changed byte of its archive breaks the digest.
cp signed.exe tampered.exe
at=$(($(stat -c %s demo.exe) - 10))
byte=$(od -An -tu1 -j "$at" -N1 tampered.exe)
printf %b "\\x$(printf %02x $((byte ^ 1)))" | dd of=tampered.exe bs=1 seek="$at" conv=notrunc 2>/dev/null
cmp -s signed.exe tampered.exe && fail "the tampered copy is unchanged"
if osslsigncode verify -CAfile cert.pem -in tampered.exe >/dev/null 2>&1; then
  fail "osslsigncode accepted a package changed after signing"
fi

echo "== --sign-command signs the packed uninstall.exe, then the package is signed as ever"
if [ -z "${QZ_WINE:-}" ]; then
  # The package keys go before the first table.
  sed 's/^lastWords = "Done."$/lastWords = "Done."\nuninstaller = true\nversion = "3.1"\nexecutionLevel = "user"/' \
    demo.toml > branded.toml
  sign_command="osslsigncode sign -certs '$work/cert.pem' -key '$work/key.pem' -n 'Signed Demo' -in {in} -out {out}"
  if qz build branded.toml -o failed.exe --stub "$stub" --sign-command 'echo signer says no to {in}; false' \
       2>failed.txt; then
    fail "a failing sign command did not stop the build"
  fi
  grep -q "signer says no" failed.txt || fail "the failure did not show the command's output: $(cat failed.txt)"
  [ ! -e failed.exe ] || fail "a failed signing left failed.exe"
  qz build branded.toml -o branded.exe --stub "$stub" --sign-command "$sign_command" >/dev/null
  [ -z "$(ls | grep qzpack-)" ] || fail "temporary files stayed: $(ls | grep qzpack-)"
  qz extract branded.exe withuninstaller >/dev/null
  osslsigncode verify -CAfile cert.pem -in withuninstaller/uninstall.exe > uverify.txt 2>&1 ||
    fail "the packed uninstall.exe does not verify: $(cat uverify.txt)"
  qz list branded.exe | grep -q "execution level: asInvoker" || fail "the branding is not there"
  sign branded.exe branded-signed.exe
  osslsigncode verify -CAfile cert.pem -in branded-signed.exe > bverify.txt 2>&1 ||
    fail "the signed branded package does not verify: $(cat bverify.txt)"
  qz verify branded-signed.exe > /dev/null || fail "qzpack verify of the signed branded package"
fi

echo "== qzpack list, verify and extract take the signed package"
qz list "$(host "$work/demo.exe")" > unsigned-list.txt
qz list "$(host "$work/signed.exe")" > signed-list.txt
grep -q ", not signed" unsigned-list.txt || fail "list of the unsigned package: $(head -1 unsigned-list.txt)"
grep -q ", signed: Authenticode certificate table of" signed-list.txt ||
  fail "list of the signed package: $(head -1 signed-list.txt)"
# The archive's lines, stored lengths included, are the same with and without the signature.
diff <(sed -n '/^archive:/,$p' unsigned-list.txt) <(sed -n '/^archive:/,$p' signed-list.txt) ||
  fail "the signature changed what list shows of the archive"
qz verify "$(host "$work/signed.exe")" > signed-verify.txt || fail "verify: $(cat signed-verify.txt)"
grep -q ", signed: Authenticode" signed-verify.txt || fail "verify says: $(cat signed-verify.txt)"
qz extract "$(host "$work/signed.exe")" "$(host "$work/extracted")" >/dev/null
diff -r payload extracted || fail "extraction differs from the payload"

echo "== extract does not follow a link under its folder"
mkdir -p linked elsewhere
ln -s "$work/elsewhere" linked/data
if qz extract "$(host "$work/signed.exe")" "$(host "$work/linked")" 2>link.txt >/dev/null; then
  fail "extract went through a linked folder"
fi
grep -q "symbolic link" link.txt || fail "link refusal says: $(cat link.txt)"
[ -z "$(ls -A elsewhere)" ] || fail "extract wrote through the link: $(ls -A elsewhere)"
[ ! -e linked/readme.txt ] || fail "extract wrote part of the package after a refusal"

if [ -n "$walker" ]; then
  echo "== the signed installer installs under Wine"
  run "$walker" "$(host "$work/signed.exe")" > walk.txt 2>&1 || fail "wizard walk: $(cat walk.txt)"
  grep -q "Installation finished" walk.txt || fail "no finish message: $(cat walk.txt)"
  [ -s "$installed/_qzsetup.log" ] || fail "no install log"
  diff -r -x _qzsetup.log payload "$installed" || fail "installed files differ from the payload"
fi
echo "signed package: ok"
