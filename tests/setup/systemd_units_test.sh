#!/usr/bin/env bash
# The intake's systemd units: systemd-analyze verify finds nothing to say about them, with the
# program folder and the settings file moved to where this build has them.
# Usage: systemd_units_test.sh UNIT_DIR PROGRAM_DIR
set -euo pipefail
units=$1
program=$(cd "$2" && pwd)
if ! command -v systemd-analyze >/dev/null; then
  echo "systemd-analyze is not installed: the units cannot be checked here"
  exit 77
fi
work=$(mktemp -d /tmp/corvanta-units.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "CORVANTA_ACCOUNT_SET=hz_test" >"$work/intake.env"
for f in corvanta-intake.service corvanta-intake.timer corvanta-intake.path; do
  [ -f "$units/$f" ] || fail "$f missing"
  sed -e "s|/opt/corvanta|$program|g" -e "s|/etc/corvanta-intake.env|$work/intake.env|g" "$units/$f" >"$work/$f"
done
grep -q '^User=' "$work/corvanta-intake.service" || fail "the service runs as root"
grep -q '^User=root' "$work/corvanta-intake.service" && fail "the service runs as root"
grep -q "^ExecStart=$program/corvanta-cli .* intake " "$work/corvanta-intake.service" || fail "the service does not run the intake"
grep -q '^Unit=corvanta-intake.service' "$work/corvanta-intake.path" || fail "the path unit starts another unit"
# verify exits 0 on many mistakes (an unknown value is "ignored"): any remark about our units fails.
out=$(cd "$work" && SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no \
  corvanta-intake.service corvanta-intake.timer corvanta-intake.path 2>&1) || fail "systemd-analyze verify: $out"
remarks=$(echo "$out" | grep 'corvanta-intake' || true)
[ -z "$remarks" ] || fail "systemd-analyze verify: $remarks"
echo "units ok"
