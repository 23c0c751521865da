#!/usr/bin/env python3
"""Fails when an include runs against the layering of the source folders.

The folders form layers, lowest first: platform, parser, pagestore, engine, filters, preview, app.
A file may include its own folder and the folders its layer is allowed to use; nothing below
preview/ may include a Qt Widgets header (report code must run without a widget toolkit, on a
print server or in a filter thread). Usage: check-layers.py [SOURCE_ROOT] [--qt-include DIR].
Prints one line per offending include and exits 1 when there is any.
"""
import argparse
import os
import re
import sys

# What each folder may include besides itself.
ALLOWED = {
    "platform": set(),
    "parser": {"platform"},
    "pagestore": {"platform"},
    "engine": {"pagestore", "parser", "platform"},
    "filters": {"engine", "pagestore", "parser", "platform"},
    "preview": {"filters", "engine", "pagestore", "parser", "platform"},
    "app": {"preview", "filters", "engine", "pagestore", "parser", "platform"},
}
# Folders that may use Qt Widgets.
WIDGET_LAYERS = {"preview", "app"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def widget_headers(qt_include):
    """Class headers that only Qt Widgets provides (a name Qt Gui or Core also ships is not one)."""
    names = set()
    widgets = os.path.join(qt_include, "QtWidgets")
    if not os.path.isdir(widgets):
        return names
    names = {n for n in os.listdir(widgets)}
    for other in ("QtGui", "QtCore"):
        folder = os.path.join(qt_include, other)
        if os.path.isdir(folder):
            names -= set(os.listdir(folder))
    return names


def default_qt_include():
    for candidate in ("/usr/include/x86_64-linux-gnu/qt6", "/usr/include/aarch64-linux-gnu/qt6",
                      "/usr/include/qt6"):
        if os.path.isdir(os.path.join(candidate, "QtWidgets")):
            return candidate
    return ""


def check(root, qt_include):
    widgets = widget_headers(qt_include) if qt_include else set()
    problems = []
    for layer, allowed in ALLOWED.items():
        folder = os.path.join(root, layer)
        if not os.path.isdir(folder):
            continue
        for dirpath, _, files in os.walk(folder):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = match.group(2)
                        if match.group(1) == '"':
                            top = target.split("/", 1)[0] if "/" in target else None
                            if top in ALLOWED and top != layer and top not in allowed:
                                problems.append(f"{rel}:{number}: {layer}/ must not include \"{target}\"")
                        elif layer not in WIDGET_LAYERS:
                            base = target.split("/")[-1]
                            if target.startswith("QtWidgets") or base in widgets:
                                problems.append(f"{rel}:{number}: {layer}/ must not include the Qt Widgets header <{target}>")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(__file__), ".."))
    parser.add_argument("--qt-include", default=default_qt_include())
    args = parser.parse_args()
    # Without Qt's headers the Widgets part would pass whatever the tree includes.
    if not args.qt_include or not os.path.isdir(os.path.join(args.qt_include, "QtWidgets")):
        print(f"check-layers: no QtWidgets folder under the Qt include folder \"{args.qt_include}\"")
        return 2
    problems = check(os.path.abspath(args.root), args.qt_include)
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} include(s) against the layering")
        return 1
    print("layering: every include follows app -> preview -> filters -> engine -> pagestore -> platform, parser -> platform")
    return 0


if __name__ == "__main__":
    sys.exit(main())
