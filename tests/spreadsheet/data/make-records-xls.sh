#!/usr/bin/env bash
# Has LibreOffice save records.fods as records.xls, the workbook the records
# tests compare the engine's records with. Run by hand; the result is checked in.
#
# Run headless, LibreOffice has no view, and without one it writes the default
# zoom and cursor. It keeps those of an .xls it reads, though: so the first
# save gets zoom 75 % and cursor C5 on the first sheet by hand, and LibreOffice
# reads that file and saves it again.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
save() { # <source> <folder>: a profile of its own leaves a running LibreOffice alone
  soffice -env:UserInstallation="file://$work/profile" --headless --norestore \
    --convert-to xls:"MS Excel 97" --outdir "$2" "$1" >/dev/null
}
mkdir "$work/first" "$work/second"
save "$here/records.fods" "$work/first"
python3 - "$work/first/records.xls" <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
# The first sheet's WINDOW2 (selected, shown): its zoom field to 75.
window2 = data.index(bytes.fromhex('3e021200b606'))
struct.pack_into('<H', data, window2 + 4 + 12, 75)
# Its SELECTION: active cell C5, one range C5:C5.
selection = data.index(bytes.fromhex('1d000f00'), window2)
struct.pack_into('<BHHHHHHBB', data, selection + 4, 3, 4, 2, 0, 1, 4, 4, 2, 2)
open(path, 'wb').write(data)
PY
save "$work/first/records.xls" "$work/second"
cp "$work/second/records.xls" "$here/records.xls"
