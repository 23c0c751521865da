#!/usr/bin/env python3
"""Writes the manual page inventario(1) from the README, so the two never disagree.

The command-line section of the README becomes SYNOPSIS (its code block) and OPTIONS (the paragraphs
after it); the first paragraph of the README is the DESCRIPTION, and the section on the database and
its aliases becomes DATABASE.

    make-manpage.py README.md VERSION OUTPUT
"""
import re
import sys

DATE = "2024-12-09"  # fixed, so the page is the same on every build


def sections(markdown):
    """The README as {title: lines}, with the text before the first "## " under ""."""
    result, title = {"": []}, ""
    for line in markdown.splitlines():
        if line.startswith("## "):
            title = line[3:].strip()
            result[title] = []
        else:
            result[title].append(line)
    return result


def blocks(lines):
    """Paragraphs and code blocks: a list of ("text", str) and ("code", [lines])."""
    out, paragraph, code = [], [], None
    for line in lines:
        if line.startswith("```"):
            if code is None:
                if paragraph:
                    out.append(("text", " ".join(paragraph)))
                    paragraph = []
                code = []
            else:
                out.append(("code", code))
                code = None
            continue
        if code is not None:
            code.append(line)
        elif not line.strip():
            if paragraph:
                out.append(("text", " ".join(paragraph)))
                paragraph = []
        elif not line.startswith("#"):
            paragraph.append(line.strip())
    if paragraph:
        out.append(("text", " ".join(paragraph)))
    return out


def escape(text):
    text = text.replace("\\", "\\e")
    return text


def code_text(text):
    return escape(text).replace("-", "\\-")


def inline(text):
    """Markdown emphasis and code spans as roff fonts."""
    parts = re.split(r"(`[^`]*`|\*\*[^*]+\*\*)", text)
    out = []
    for part in parts:
        if part.startswith("`") and part.endswith("`") and len(part) >= 2:
            out.append("\\fB" + code_text(part[1:-1]) + "\\fR")
        elif part.startswith("**") and part.endswith("**"):
            out.append("\\fB" + escape(part[2:-2]) + "\\fR")
        else:
            out.append(escape(part))
    return "".join(out)


def roff_lines(text):
    """One roff line per sentence, none starting with a control character."""
    lines = []
    for sentence in re.split(r"(?<=[.:;]) +(?=[A-Z\"`(])", text):
        sentence = sentence.strip()
        if sentence.startswith((".", "'")):
            sentence = "\\&" + sentence
        if sentence:
            lines.append(sentence)
    return lines


def render(blocks_, out):
    for kind, value in blocks_:
        if kind == "code":
            out.append(".PP")
            out.append(".nf")
            for line in value:
                line = code_text(line)
                if line.startswith((".", "'")):
                    line = "\\&" + line
                out.append(line)
            out.append(".fi")
        else:
            out.append(".PP")
            out.extend(roff_lines(inline(value)))


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    readme, version, output = sys.argv[1:]
    with open(readme, encoding="utf-8") as f:
        parts = sections(f.read())
    command_line = parts.get("Command line")
    database = parts.get("Pointing it at a database")
    if not command_line or not database:
        sys.exit("make-manpage: the README has no command-line or database section")
    head = [b for b in blocks(parts[""]) if b[0] == "text"]

    command_blocks = blocks(command_line)
    codes = [i for i, b in enumerate(command_blocks) if b[0] == "code"]
    if not codes:
        sys.exit("make-manpage: the command-line section has no synopsis")
    synopsis = command_blocks[codes[0]][1]
    options = command_blocks[codes[0] + 1:]

    out = [
        '.\\" The manual page of the inventory program, made from its README by scripts/make-manpage.py.',
        '.TH INVENTARIO 1 "%s" "inventario %s" "Quillborough Inventário"' % (DATE, version),
        ".SH NAME",
        "inventario \\- prints a shop's inventory valued at cost price",
        ".SH SYNOPSIS",
        ".nf",
    ]
    for line in synopsis:
        if line.strip():
            out.append(code_text(line))
    out.append(".fi")
    out.append(".SH DESCRIPTION")
    render(head[:1], out)
    out.append(".SH OPTIONS")
    render(options, out)
    out.append(".SH DATABASE")
    render(blocks(database), out)
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
