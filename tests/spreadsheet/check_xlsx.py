#!/usr/bin/python3
"""Describes a workbook twice, as one JSON object: its .xls as xlrd reads it
and its .xlsx as openpyxl reads it, each in the same terms.

    check_xlsx.py XLS XLSX

Both descriptions have the sheets and their states, the dress and value of
every cell either library lists ("Sheet!A1"), column widths in pixels,
custom row heights and defined names. The .xlsx one also has each sheet's
window and page setup, which xlrd does not read. The test that runs this
decides what is right.

Needs the Debian python3 (python3-xlrd 1.2 for formatting_info on .xls,
python3-openpyxl), not some other interpreter on PATH.
"""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ElementTree

import openpyxl
import xlrd
from openpyxl.styles.colors import COLOR_INDEX
from openpyxl.utils import get_column_letter

STATES = ["visible", "hidden", "veryHidden"]
PATTERNS = ["none", "solid", "mediumGray", "darkGray", "lightGray", "darkHorizontal", "darkVertical", "darkDown",
            "darkUp", "darkGrid", "darkTrellis", "lightHorizontal", "lightVertical", "lightDown", "lightUp",
            "lightGrid", "lightTrellis", "gray125", "gray0625"]
LINES = ["none", "thin", "medium", "dashed", "dotted", "thick", "double", "hair", "mediumDashed", "dashDot",
         "mediumDashDot", "dashDotDot", "mediumDashDotDot", "slantDashDot"]
UNDERLINES = {0: None, 1: "single", 2: "double", 0x21: "singleAccounting", 0x22: "doubleAccounting"}
HORIZONTAL = [None, "left", "center", "right", "fill", "justify", "centerContinuous", "distributed"]
VERTICAL = ["top", "center", None, "justify", "distributed"]
SIDES = ("left", "right", "top", "bottom")
ERRORS = {0x00: "#NULL!", 0x07: "#DIV/0!", 0x0F: "#VALUE!", 0x17: "#REF!", 0x1D: "#NAME?", 0x24: "#NUM!",
          0x2A: "#N/A"}


def cell_name(row, column):
    return "%s%d" % (get_column_letter(column + 1), row + 1)


# ---------------------------------------------------------------- xlrd


def xls_colour(book, index):
    colour = book.colour_map.get(index)
    return "%02X%02X%02X" % tuple(colour) if colour is not None else None


def xls_value(cell):
    if cell.ctype == xlrd.XL_CELL_BLANK:
        return ["blank", None]
    if cell.ctype == xlrd.XL_CELL_BOOLEAN:
        return ["bool", bool(cell.value)]
    if cell.ctype == xlrd.XL_CELL_ERROR:
        return ["error", ERRORS.get(cell.value, cell.value)]
    if cell.ctype == xlrd.XL_CELL_TEXT:
        return ["text", cell.value] if cell.value != "" else ["blank", None]
    return ["number", cell.value]


def xls_dress(book, xf):
    font = book.font_list[xf.font_index]
    fill = xf.background
    pattern = PATTERNS[fill.fill_pattern]
    return {
        "font": {
            "name": font.name,
            "size": font.height / 20,
            "bold": font.weight >= 700,
            "italic": bool(font.italic),
            "underline": UNDERLINES.get(font.underline_type),
            "strike": bool(font.struck_out),
            "colour": xls_colour(book, font.colour_index),
        },
        "fill": {
            "pattern": pattern,
            "fg": xls_colour(book, fill.pattern_colour_index) if pattern != "none" else None,
            "bg": xls_colour(book, fill.background_colour_index) if pattern != "none" else None,
        },
        "borders": {
            side: {
                "style": LINES[getattr(xf.border, side + "_line_style")],
                "colour": xls_colour(book, getattr(xf.border, side + "_colour_index"))
                if getattr(xf.border, side + "_line_style") else None,
            }
            for side in SIDES
        },
        "format": book.format_map[xf.format_key].format_str,
        "align": {
            "horizontal": HORIZONTAL[xf.alignment.hor_align],
            "vertical": VERTICAL[xf.alignment.vert_align],
            "wrap": bool(xf.alignment.text_wrapped),
            "indent": xf.alignment.indent_level,
        },
        "locked": bool(xf.protection.cell_locked),
        "hidden": bool(xf.protection.formula_hidden),
    }


def describe_xls(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    report = {"sheets": [], "cells": {}, "columns": {}, "rows": {}, "names": []}
    for sheet in book.sheets():
        report["sheets"].append({"name": sheet.name, "state": STATES[sheet.visibility]})
        for row in range(sheet.nrows):
            for column in range(sheet.ncols):
                cell = sheet.cell(row, column)
                if cell.ctype == xlrd.XL_CELL_EMPTY:
                    continue
                described = xls_dress(book, book.xf_list[cell.xf_index])
                described["value"] = xls_value(cell)
                report["cells"]["%s!%s" % (sheet.name, cell_name(row, column))] = described
        report["columns"][sheet.name] = {
            str(column): {"pixels": round(info.width * 7 / 256), "hidden": bool(info.hidden)}
            for column, info in sheet.colinfo_map.items()
        }
        report["rows"][sheet.name] = {
            str(row): {"height": info.height / 20 if info.height_mismatch else None, "hidden": bool(info.hidden)}
            for row, info in sheet.rowinfo_map.items()
            if info.height_mismatch or info.hidden
        }
    for name in book.name_obj_list:
        text = name.result.text if name.result is not None else None
        report["names"].append([name.name, name.scope, text, bool(name.hidden)])
    return report


# ---------------------------------------------------------------- openpyxl


def xlsx_colour(colour):
    if colour is None:
        return None
    if colour.type == "rgb" and isinstance(colour.rgb, str):
        return colour.rgb[-6:].upper()
    if colour.type == "indexed" and colour.indexed < 64:
        return COLOR_INDEX[colour.indexed][-6:].upper()
    return None  # a theme colour or a system one: automatic


def xlsx_value(cell):
    if cell.value is None:
        return ["blank", None]
    if cell.data_type == "b":
        return ["bool", bool(cell.value)]
    if cell.data_type == "e":
        return ["error", cell.value]
    if isinstance(cell.value, str):
        return ["text", cell.value] if cell.value != "" else ["blank", None]
    return ["number", float(cell.value)]


def xlsx_dress(cell):
    font, fill, border, alignment = cell.font, cell.fill, cell.border, cell.alignment
    pattern = fill.patternType or "none"
    horizontal = alignment.horizontal if alignment.horizontal != "general" else None
    return {
        "font": {
            "name": font.name,
            "size": float(font.sz),
            "bold": bool(font.b),
            "italic": bool(font.i),
            "underline": font.u,
            "strike": bool(font.strike),
            "colour": xlsx_colour(font.color),
        },
        "fill": {
            "pattern": pattern,
            "fg": xlsx_colour(fill.fgColor) if pattern != "none" else None,
            "bg": xlsx_colour(fill.bgColor) if pattern != "none" else None,
        },
        "borders": {
            side: {
                "style": getattr(border, side).style or "none",
                "colour": xlsx_colour(getattr(border, side).color) if getattr(border, side).style else None,
            }
            for side in SIDES
        },
        "format": cell.number_format,
        "align": {
            "horizontal": horizontal,
            "vertical": alignment.vertical if alignment.vertical != "bottom" else None,
            "wrap": bool(alignment.wrapText),
            "indent": int(alignment.indent),
        },
        "locked": bool(cell.protection.locked),
        "hidden": bool(cell.protection.hidden),
    }


def raw_header_footer(path, sheet_index):
    """The header and footer texts as the sheet's XML holds them."""
    namespace = {"x": "http://schemas.openxmlformats.org/spreadsheetml/2006/main"}
    with zipfile.ZipFile(path) as package:
        root = ElementTree.fromstring(package.read("xl/worksheets/sheet%d.xml" % (sheet_index + 1)))
    texts = {}
    for part in ("oddHeader", "oddFooter"):
        element = root.find("x:headerFooter/x:" + part, namespace)
        texts[part] = element.text or "" if element is not None else None
    return texts


def describe_xlsx(path):
    book = openpyxl.load_workbook(path)
    values = openpyxl.load_workbook(path, data_only=True)
    report = {"sheets": [], "cells": {}, "columns": {}, "rows": {}, "names": [], "windows": [],
              "active_sheet": book.index(book.active)}
    for index, sheet in enumerate(book.worksheets):
        report["sheets"].append({"name": sheet.title, "state": sheet.sheet_state})
        stored = values[sheet.title]
        # Only the cells the file holds: looking at others would make them.
        for (row, column), cell in sorted(sheet._cells.items()):
            described = xlsx_dress(cell)
            described["value"] = xlsx_value(stored.cell(row, column))
            if cell.data_type == "f":
                described["formula"] = cell.value
            report["cells"]["%s!%s" % (sheet.title, cell_name(row - 1, column - 1))] = described
        columns = {}
        for dimension in sheet.column_dimensions.values():
            for column in range(dimension.min, dimension.max + 1):
                columns[str(column - 1)] = {"pixels": round(dimension.width * 7), "hidden": bool(dimension.hidden)}
        report["columns"][sheet.title] = columns
        report["rows"][sheet.title] = {
            str(row - 1): {"height": dimension.ht if dimension.customHeight else None, "hidden": bool(dimension.hidden)}
            for row, dimension in sheet.row_dimensions.items()
            if dimension.customHeight or dimension.hidden
        }
        view = sheet.sheet_view
        setup, margins, options = sheet.page_setup, sheet.page_margins, sheet.print_options
        fit = sheet.sheet_properties.pageSetUpPr
        report["windows"].append({
            "zoom": view.zoomScale,
            "gridlines": view.showGridLines is not False,
            "tab_selected": bool(view.tabSelected),
            "zeros": view.showZeros is not False,
            "active_cell": view.selection[0].activeCell if view.selection else None,
            "selection": view.selection[0].sqref if view.selection else None,
            "page": {
                "paper": int(setup.paperSize) if setup.paperSize is not None else None,
                "orientation": setup.orientation,
                "scale": int(setup.scale) if setup.scale is not None else None,
                "fit": bool(fit is not None and fit.fitToPage),
                "fit_width": int(setup.fitToWidth) if setup.fitToWidth is not None else 1,
                "fit_height": int(setup.fitToHeight) if setup.fitToHeight is not None else 1,
                "margins": [margins.left, margins.right, margins.top, margins.bottom, margins.header,
                            margins.footer],
                "centred": [bool(options.horizontalCentered), bool(options.verticalCentered)],
                "print_gridlines": bool(options.gridLines),
                "print_headings": bool(options.headings),
                "first_page": int(setup.firstPageNumber) if setup.useFirstPageNumber else 1,
                **raw_header_footer(path, index),
            },
        })
    for name in book.defined_names.definedName:
        scope = name.localSheetId if name.localSheetId is not None else -1
        report["names"].append([re.sub(r"^_xlnm\.", "", name.name), scope, name.attr_text, bool(name.hidden)])
    return report


def main():
    xls_path, xlsx_path = sys.argv[1], sys.argv[2]
    json.dump({"xls": describe_xls(xls_path), "xlsx": describe_xlsx(xlsx_path)}, sys.stdout)


if __name__ == "__main__":
    main()
