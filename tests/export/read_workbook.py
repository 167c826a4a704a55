#!/usr/bin/env python3
"""Reads the first worksheet of a workbook back as JSON, independently of the
program: .xls through xlrd, .xlsx by unzipping its XML parts.

Output: {"sheets": [...], "rows": N, "columns": K, "widths": {col: width},
         "cells": [[{"type", "text", "bold", "rgb", "format", "align"}, ...]]}
"""
import json
import re
import sys
import zipfile
import xml.etree.ElementTree as ET


def read_xls(path):
    import xlrd
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    cells = []
    for r in range(sheet.nrows):
        row = []
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            kind = {xlrd.XL_CELL_TEXT: "string", xlrd.XL_CELL_EMPTY: "none",
                    xlrd.XL_CELL_BLANK: "blank"}.get(cell.ctype, "other")
            if kind == "none":
                row.append({"type": kind})
                continue
            xf = book.xf_list[cell.xf_index]
            font = book.font_list[xf.font_index]
            rgb = book.colour_map.get(font.colour_index)
            row.append({
                "type": kind,
                "text": cell.value if kind == "string" else "",
                "bold": font.weight >= 700 and bool(font.bold),
                "rgb": "%02X%02X%02X" % rgb if rgb else "000000",
                "format": book.format_map[xf.format_key].format_str,
                "align": {2: "center"}.get(xf.alignment.hor_align, str(xf.alignment.hor_align)),
            })
        cells.append(row)
    widths = {str(c): info.width / 256.0 for c, info in sheet.colinfo_map.items()}
    return {"sheets": book.sheet_names(), "rows": sheet.nrows, "columns": sheet.ncols,
            "widths": widths, "cells": cells}


NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}
BUILTIN_FORMATS = {0: "General", 49: "@"}


def text_of(node):
    return "".join(t.text or "" for t in node.iter("{%s}t" % NS["m"]))


def column_index(ref):
    letters = re.match(r"[A-Z]+", ref).group(0)
    n = 0
    for ch in letters:
        n = n * 26 + ord(ch) - 64
    return n - 1


def read_xlsx(path):
    z = zipfile.ZipFile(path)
    book = ET.fromstring(z.read("xl/workbook.xml"))
    sheets = book.findall("m:sheets/m:sheet", NS)
    names = [s.get("name") for s in sheets]
    rels = ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))
    target = {r.get("Id"): r.get("Target") for r in rels}[sheets[0].get("{%s}id" % NS["r"])]
    target = target.lstrip("/")
    sheet_path = target if target.startswith("xl/") else "xl/" + target
    shared = []
    if "xl/sharedStrings.xml" in z.namelist():
        shared = [text_of(si) for si in ET.fromstring(z.read("xl/sharedStrings.xml"))]
    styles = ET.fromstring(z.read("xl/styles.xml"))
    formats = dict(BUILTIN_FORMATS)
    for f in styles.findall("m:numFmts/m:numFmt", NS):
        formats[int(f.get("numFmtId"))] = f.get("formatCode")
    fonts = []
    for f in styles.findall("m:fonts/m:font", NS):
        b = f.find("m:b", NS)
        color = f.find("m:color", NS)
        rgb = color.get("rgb")[-6:].upper() if color is not None and color.get("rgb") else "000000"
        fonts.append({"bold": b is not None and b.get("val", "true") not in ("0", "false"),
                      "rgb": rgb})
    xfs = []
    for xf in styles.findall("m:cellXfs/m:xf", NS):
        align = xf.find("m:alignment", NS)
        xfs.append({"format": formats.get(int(xf.get("numFmtId", "0")), "?"),
                    "font": fonts[int(xf.get("fontId", "0"))],
                    "align": align.get("horizontal", "") if align is not None else ""})
    ws = ET.fromstring(z.read(sheet_path))
    grid = {}
    rows = columns = 0
    for row in ws.findall("m:sheetData/m:row", NS):
        for c in row.findall("m:c", NS):
            ref = c.get("r")
            r = int(re.search(r"\d+", ref).group(0)) - 1
            col = column_index(ref)
            xf = xfs[int(c.get("s", "0"))]
            t = c.get("t")
            v = c.find("m:v", NS)
            if t == "s":
                kind, text = "string", shared[int(v.text)]
            elif t == "str":
                kind, text = "string", (v.text or "") if v is not None else ""
            elif t == "inlineStr":
                kind, text = "string", text_of(c.find("m:is", NS))
            elif v is None:
                kind, text = "blank", ""
            else:
                kind, text = "other", v.text
            grid[(r, col)] = {"type": kind, "text": text, "bold": xf["font"]["bold"],
                              "rgb": xf["font"]["rgb"], "format": xf["format"],
                              "align": xf["align"]}
            rows, columns = max(rows, r + 1), max(columns, col + 1)
    cells = [[grid.get((r, c), {"type": "none"}) for c in range(columns)] for r in range(rows)]
    widths = {}
    for col in ws.findall("m:cols/m:col", NS):
        for c in range(int(col.get("min")) - 1, int(col.get("max"))):
            widths[str(c)] = float(col.get("width"))
    return {"sheets": names, "rows": rows, "columns": columns, "widths": widths, "cells": cells}


if __name__ == "__main__":
    path = sys.argv[1]
    kind = sys.argv[2] if len(sys.argv) > 2 else path.rsplit(".", 1)[-1]
    data = read_xlsx(path) if kind == "xlsx" else read_xls(path)
    json.dump(data, sys.stdout, ensure_ascii=False)
