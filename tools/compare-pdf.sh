#!/usr/bin/env bash
# Puts our PDF of the sample balance sheet beside LibreOffice's PDF of the
# same workbook (docs/pdf-ours-vs-libreoffice.png, 100 dpi) and prints how
# far apart the labels are. Both PDFs come from the interop test that
# compares them; its private folder is kept until the pictures are made.
# Usage: tools/compare-pdf.sh [build folder]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
program="$build/tests/spreadsheet/test_sheet_printing"
if [[ ! -x $program ]]; then
  echo "Build test_sheet_printing in $build first." >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
TMPDIR=$work CORVANTIS_KEEP_TEST_ROOT=1 "$program" \
  --gtest_filter=SheetPrintingInterop.LibreOfficePrintsTheLabelsNearWhereWeDo >"$work/log" || {
  cat "$work/log" >&2
  exit 1
}
grep -E '^(Words compared|Left edge|Top edge)' "$work/log"

pdfs=("$work"/corvantis-test-*/tmp)
for name in ours sample; do
  pdftoppm -r 100 -png -singlefile "${pdfs[0]}/$name.pdf" "$work/$name"
done
caption() {
  convert "$1" -background white -gravity north -splice 0x36 -font Liberation-Sans -pointsize 22 \
    -annotate +0+8 "$2" "$3"
}
caption "$work/ours.png" "Corvantis (QPdfWriter)" "$work/left.png"
caption "$work/sample.png" "LibreOffice (soffice --convert-to pdf)" "$work/right.png"
convert "$work/left.png" "$work/right.png" -bordercolor grey60 -border 1 +append docs/pdf-ours-vs-libreoffice.png
echo "Wrote docs/pdf-ours-vs-libreoffice.png"
