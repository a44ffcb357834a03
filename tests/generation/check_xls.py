#!/usr/bin/python3
"""Describes an .xls file as xlrd and olefile read it, as one JSON object.

    check_xls.py FILE [CELL ...]

It only reports what the two libraries see; the test that runs it decides
what is right. The named cells (A1 style, first sheet) get their formatting
described; every cell of the first sheet gets its value.

Needs the Debian python3 (python3-xlrd 1.2 for formatting_info on .xls,
python3-olefile), not some other interpreter on PATH.
"""
import json
import re
import sys

import olefile
import xlrd


def cell_index(a1):
    match = re.fullmatch(r"([A-Z]+)([0-9]+)", a1)
    column = 0
    for letter in match.group(1):
        column = column * 26 + ord(letter) - ord("A") + 1
    return int(match.group(2)) - 1, column - 1


def rgb(book, index):
    colour = book.colour_map.get(index)
    return list(colour) if colour is not None else None


def value_of(cell):
    if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return None
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return bool(cell.value)
    if cell.ctype == xlrd.XL_CELL_ERROR:
        return {"error": cell.value}
    return cell.value  # number (dates too) or text; a formula's stored result


def describe_cell(book, sheet, a1):
    row, column = cell_index(a1)
    xf = book.xf_list[sheet.cell_xf_index(row, column)]
    font = book.font_list[xf.font_index]
    border = xf.border
    return {
        "font": {
            "name": font.name,
            "height": font.height,
            "weight": font.weight,
            "bold_flag": font.bold,
            "colour": rgb(book, font.colour_index),
        },
        "format_key": xf.format_key,
        "format": book.format_map[xf.format_key].format_str,
        "fill": {
            "pattern": xf.background.fill_pattern,
            "colour": rgb(book, xf.background.pattern_colour_index),
        },
        "borders": {
            side: {
                "style": getattr(border, side + "_line_style"),
                "colour": rgb(book, getattr(border, side + "_colour_index")),
            }
            for side in ("left", "right", "top", "bottom")
        },
        "locked": bool(xf.protection.cell_locked),
    }


def main():
    path, cells = sys.argv[1], sys.argv[2:]
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    report = {
        "sheets": [{"name": s.name, "visibility": s.visibility} for s in book.sheets()],
        "window": {
            "zoom": sheet.scl_mag_factor,
            "gridlines": bool(sheet.show_grid_lines),
            "selected": bool(sheet.sheet_selected),
            "shown": bool(sheet.sheet_visible),
        },
        "columns": {str(c): info.width for c, info in sheet.colinfo_map.items()},
        "rows": {str(r): info.height for r, info in sheet.rowinfo_map.items()},
        "names": [
            [name.name, name.result.text if name.result is not None else None]
            for name in book.name_obj_list
        ],
        "values": [[value_of(sheet.cell(r, c)) for c in range(sheet.ncols)] for r in range(sheet.nrows)],
        "cells": {a1: describe_cell(book, sheet, a1) for a1 in cells},
    }

    ole = olefile.OleFileIO(path)
    report["streams"] = sorted("/".join(entry) for entry in ole.listdir(streams=True, storages=True))
    metadata = ole.get_metadata()
    text = lambda v: v.decode("cp1252") if isinstance(v, bytes) else v
    report["metadata"] = {
        "creating_application": text(metadata.creating_application),
        "last_saved_by": text(metadata.last_saved_by),
        "codepage": metadata.codepage,
    }
    ole.close()
    json.dump(report, sys.stdout)


if __name__ == "__main__":
    main()
