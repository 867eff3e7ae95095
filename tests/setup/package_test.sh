#!/usr/bin/env bash
# The release archive: made by cpack, unpacked into a fresh folder, it is a program folder that
# finds its libraries, creates an account set and imports an outlet's file.
# Usage: package_test.sh BUILD_DIR PACKAGE_NAME
set -euo pipefail
build=$1
name=$2
work=$(mktemp -d /tmp/corvanta-package.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
archive="$work/out/$name.tar.gz"
[ -f "$archive" ] || fail "no $name.tar.gz"

mkdir "$work/unpacked"
tar -xzf "$archive" -C "$work/unpacked"
dir="$work/unpacked/$name"
[ "$(ls "$work/unpacked")" = "$name" ] || fail "the archive holds more than one folder"
for f in corvanta corvanta-cli PRINT.EXE setup corvanta-postgresql.so corvanta-chart.so corvanta-xlsx.so; do
  case $f in
    *.so) [ -f "$dir/$f" ] || fail "$f missing" ;;
    *) [ -x "$dir/$f" ] || fail "$f missing or not executable" ;;
  esac
  missing=$(ldd "$dir/$f" | grep 'not found' || true)
  [ -z "$missing" ] || fail "$f: $missing"
done
# corvanta-cli loads libpq, the graphics libraries and libxlsxwriter through its modules, only
# when needed.
unwanted=$(ldd "$dir/corvanta-cli" | grep -E 'libpq|libQt6(Gui|Widgets|Charts|Svg)|libxlsxwriter' || true)
[ -z "$unwanted" ] || fail "corvanta-cli links $unwanted"

for f in Config.cfg corvanta.desktop corvanta.svg systemd/corvanta-intake.service systemd/corvanta-intake.timer \
  systemd/corvanta-intake.path data/tavikhz data/embedded data/CreateZt.txt "data/销售情况查询表.rwx"; do
  [ -e "$dir/$f" ] || fail "$f missing"
done
grep -q '^Exec=' "$dir/corvanta.desktop" || fail "desktop entry has no Exec line"
# Nothing a run leaves behind comes with the archive.
[ -z "$(find "$dir/data" -name '*.db' -o -name '*.DBF')" ] || fail "database or print files in the archive"

# Working in the unpacked folder: an account set, an outlet, an import, a query.
cli=("$dir/corvanta-cli" --server local)
"${cli[@]}" accountset-create --admin sa --password '' 总部 hz_pkg || fail "accountset-create"
"${cli[@]}" accountsets | grep -q hz_pkg || fail "account set not listed"
"${cli[@]}" --account-set hz_pkg outlet-add --id 7 --name 东门店 || fail "outlet-add"
printf '商品名称,商品编码,规格,型号,单位,产地,日期,数量,成本,金额,网点,类型\r\n矿泉水,P001,500ml,A,瓶,广州,2026-03-01,10,8.5,12.5,7,11\r\n' \
  | iconv -f UTF-8 -t GBK >"$work/sales.txt"
msg=$("${cli[@]}" --account-set hz_pkg import "$work/sales.txt" 2>&1) || fail "import: $msg"
[ "$msg" = "[系统提示] 数据导入成功完成" ] || fail "import: $msg"
# The imported line, where the client has the sales query.
if "${cli[@]}" 2>&1 | grep -q '^  sales '; then
  out=$("${cli[@]}" --account-set hz_pkg sales --from 2026-03-01 --to 2026-03-31)
  echo "$out" | grep -q '矿泉水' || fail "imported line not found: $out"
fi
# The chart and XLSX modules, found beside the unpacked program.
"${cli[@]}" --account-set hz_pkg stat --mode D --from 2026-03-01 --to 2026-03-31 --chart "$work/chart.png" \
  --format xlsx --output "$work/stat.xlsx" || fail "stat --chart --format xlsx"
[ "$(head -c 4 "$work/chart.png" | tail -c 3)" = PNG ] || fail "stat --chart wrote no PNG"
[ "$(head -c 2 "$work/stat.xlsx")" = PK ] || fail "--format xlsx wrote no XLSX"
[ -n "$(find "$dir/data" -newer "$archive" -type f)" ] || fail "the account set is not in the unpacked folder"
echo "package ok: $(du -h "$archive" | cut -f1) $name.tar.gz"
