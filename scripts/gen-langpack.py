#!/usr/bin/env python3
"""Writes the translation template langpack/langpack_mKestrinUser.txt.

Every literal that can reach TranslateText is marked N_("...") where it is
written; this collects the marked texts of src/ in the order of the sources.
It fails on a TranslateText("...") whose literal is not marked, on an N_()
that holds anything but one literal, and on a text that cannot be a key.

    scripts/gen-langpack.py           write the template
    scripts/gen-langpack.py --check   fail when the checked-in template differs
"""

import os
import re
import subprocess
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
TEMPLATE = os.path.join(ROOT, "langpack", "langpack_mKestrinUser.txt")
# The template's headings, by the source folders whose texts they gather; the
# contact types are the items of the editor's list.
SECTIONS = [("Menus", ("plugin",)), ("Editor window", ("editor", "records")),
            ("Import and export", ("exchange",))]
# Literals and comments, so that a mark inside a comment counts for nothing.
CODE = re.compile(r'"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|//[^\n]*|/\*.*?\*/', re.S)
MARK = re.compile(r'\bN_\(\s*"((?:\\.|[^"\\])*)"\s*\)')
HEADER = """; Translation template for mKestrinUser %s (mKestrinUser.dll),
; a plug-in of the Miranda IM messenger.
;
; To translate the plug-in, copy the lines below into your language pack
; (the file langpack_<language>.txt in the Miranda IM folder) and write the
; translation on the empty line under each English text in square brackets.
; Keep each "&": it marks the letter that is underlined in menus and in the
; editor window. Texts left without a translation are shown in English.
;
; Made from the plug-in's sources by scripts/gen-langpack.py."""


def collect():
    """{section index: [text, ...]} in the order of the sources, and the errors."""
    groups, seen, errors = {}, set(), []
    for folder, _, names in sorted(os.walk(os.path.join(ROOT, "src"))):
        for name in sorted(n for n in names if n.endswith((".cpp", ".h"))):
            rel = os.path.relpath(os.path.join(folder, name), ROOT)
            with open(os.path.join(ROOT, rel), encoding="latin-1") as f:
                code = CODE.sub(lambda m: m.group(0) if m.group(0)[0] in "\"'" else " ", f.read())
            code = re.sub(r"(?m)^\s*#.*$", "", code)  # the macro's own definition
            if re.search(r'\bTranslateText\(\s*"', code):
                errors.append("%s: a literal reaches TranslateText without N_()" % rel)
            marks = MARK.findall(code)
            if len(marks) != len(re.findall(r"\bN_\(", code)):
                errors.append("%s: N_() takes exactly one string literal" % rel)
            if code.count('"LangPack/TranslateString"') and name != "m_globaldefs.cpp":
                errors.append("%s: asks the host for a translation outside TranslateText" % rel)
            section = next((i for i, (_, folders) in enumerate(SECTIONS)
                            if rel.split(os.sep)[1] in folders), len(SECTIONS))
            for text in marks:
                if "\\" in text or text != text.strip() or text.startswith("["):
                    errors.append("%s: %r cannot be a language-pack key" % (rel, text))
                elif text not in seen:
                    seen.add(text)
                    groups.setdefault(section, []).append(text)
    return groups, errors


def render(groups):
    version = subprocess.check_output([os.path.join(ROOT, "scripts", "version.sh")], text=True)
    lines = (HEADER % version.strip()).split("\n")
    for index in sorted(groups):
        lines += ["", "; " + (SECTIONS[index][0] if index < len(SECTIONS) else "Other texts")]
        for text in groups[index]:
            lines += ["[%s]" % text, ""]
        lines.pop()  # the empty translation line of the last text separates the groups
    return "\r\n".join(lines).encode("latin-1") + b"\r\n"


def main():
    groups, errors = collect()
    for error in errors:
        print("gen-langpack: " + error, file=sys.stderr)
    if errors:
        return 1
    data, rel = render(groups), os.path.relpath(TEMPLATE, ROOT)
    count = sum(len(texts) for texts in groups.values())
    if sys.argv[1:] == ["--check"]:
        with open(TEMPLATE, "rb") as f:
            if f.read() != data:
                print("%s is out of date: run scripts/gen-langpack.py" % rel, file=sys.stderr)
                return 1
        print("%s: %d texts, up to date" % (rel, count))
        return 0
    with open(TEMPLATE, "wb") as f:
        f.write(data)
    print("wrote %s: %d texts" % (rel, count))
    return 0


if __name__ == "__main__":
    sys.exit(main())
