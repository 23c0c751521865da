#!/usr/bin/env python3
"""The layering check must catch what it exists for: a wrong-way include, a Qt Widgets header
below the preview, and it must pass a tree that follows the layers."""
import os
import subprocess
import sys
import tempfile

CHECKER = sys.argv[1]
QT_INCLUDE = sys.argv[2]


def run(files, qt_include=None):
    with tempfile.TemporaryDirectory() as root:
        for rel, text in files.items():
            path = os.path.join(root, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as out:
                out.write(text)
        args = [sys.executable, CHECKER, root, "--qt-include", QT_INCLUDE if qt_include is None else qt_include]
        done = subprocess.run(args, capture_output=True, text=True)
        return done.returncode, done.stdout


failures = []
count = 0


def expect(name, files, code, needle=None, qt_include=None):
    global count
    count += 1
    got, out = run(files, qt_include)
    if got != code or (needle and needle not in out):
        failures.append(f"{name}: exit {got}, output:\n{out}")


good = {
    "platform/A.h": '#include <QString>\n#include "platform/B.h"\n',
    "pagestore/P.cpp": '#include "platform/A.h"\n#include <QPainter>\n',
    "engine/E.cpp": '#include "pagestore/P.h"\n#include "parser/X.h"\n',
    "filters/F.cpp": '#include "engine/E.h"\n#include <QPrinter>\n',
    "preview/V.cpp": '#include "filters/F.h"\n#include <QWidget>\n',
    "app/M.cpp": '#include "preview/V.h"\n#include <QApplication>\n',
}
expect("a tree that follows the layers", good, 0)
expect("engine including filters", dict(good, **{"engine/G.h": '#include "filters/RLPrinters.h"\n'}), 1,
       'engine/G.h:1: engine/ must not include "filters/RLPrinters.h"')
expect("pagestore including engine", dict(good, **{"pagestore/S.cpp": '\n  #  include "engine/RLUtils.h"\n'}), 1,
       "pagestore/S.cpp:2")
expect("parser including the engine", dict(good, **{"parser/Q.cpp": '#include "engine/RLReport.h"\n'}), 1,
       "parser/Q.cpp:1")
expect("platform including the page store", dict(good, **{"platform/Z.cpp": '#include "pagestore/P.h"\n'}), 1,
       "platform/Z.cpp:1")
expect("a module-qualified widgets header in filters",
       dict(good, **{"filters/W.cpp": '#include <QtWidgets/QDialog>\n'}), 1, "Qt Widgets header <QtWidgets/QDialog>")
expect("a widgets class header in the engine", dict(good, **{"engine/W.cpp": '#include <QMessageBox>\n'}), 1,
       "Qt Widgets header <QMessageBox>")
# Without Qt's headers the check could not tell <QMessageBox> from <QString>: it refuses to pass.
expect("no Qt include folder", good, 2, "no QtWidgets folder", qt_include="/nonexistent")

for failure in failures:
    print("FAILED", failure)
print(f"{count - len(failures)} passed, {len(failures)} failed")
sys.exit(1 if failures else 0)
