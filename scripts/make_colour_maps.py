#!/usr/bin/python3
"""Writes src/doc/ColourMapTables.cpp: the viridis, inferno and turbo colour
maps as 256 8-bit RGB entries each, from the published tables that
matplotlib ships (Debian's python3-matplotlib, matplotlib/_cm_listed.py).

    scripts/make_colour_maps.py [PATH/_cm_listed.py]

Only the list literals are read (no matplotlib import). Each value is
rounded to the nearest of 0..255.
"""
import ast
import pathlib
import sys

DEFAULT = "/usr/lib/python3/dist-packages/matplotlib/_cm_listed.py"
MAPS = [("kViridis", "_viridis_data"), ("kInferno", "_inferno_data"), ("kTurbo", "_turbo_data")]
OUT = pathlib.Path(__file__).resolve().parent.parent / "src" / "doc" / "ColourMapTables.cpp"


def tables(path):
    found = {}
    for node in ast.parse(pathlib.Path(path).read_text()).body:
        if isinstance(node, ast.Assign) and isinstance(node.targets[0], ast.Name):
            name = node.targets[0].id
            if name in dict((m[1], m[0]) for m in MAPS):
                found[name] = ast.literal_eval(node.value)
    return found


def main():
    data = tables(sys.argv[1] if len(sys.argv) > 1 else DEFAULT)
    lines = [
        "// The viridis, inferno and turbo colour maps, 256 RGB entries each, rounded",
        "// to 8 bits from the published tables (viridis and inferno by Stefan van der",
        "// Walt and Nathaniel Smith, CC0; turbo by Anton Mikhailov, Google LLC,",
        "// Apache-2.0) as matplotlib ships them. Written by scripts/make_colour_maps.py.",
        '#include "doc/ColourMaps.h"',
        "",
        "namespace colour_tables {",
        "",
    ]
    for cname, pyname in MAPS:
        rows = data[pyname]
        assert len(rows) == 256, (pyname, len(rows))
        lines.append("// clang-format off")
        lines.append("const uint8_t %s[256][3] = {" % cname)
        entries = ["{%d, %d, %d}" % tuple(min(255, max(0, round(v * 255))) for v in rgb) for rgb in rows]
        for i in range(0, 256, 8):
            lines.append("    " + ", ".join(entries[i:i + 8]) + ",")
        lines.append("};")
        lines.append("// clang-format on")
        lines.append("")
    lines.append("} // namespace colour_tables")
    OUT.write_text("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
