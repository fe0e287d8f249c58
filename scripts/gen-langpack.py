#!/usr/bin/env python3
"""Writes the translation template langpack/langpack_mKestrinUser.txt.

Every text the plug-in shows passes through TranslateText; the untranslated
English text is the key a language pack translates. This script reads the
C++ sources under src/, finds every TranslateText(...) call and works out
which texts can reach it:

  - a string literal, or adjacent literals;
  - a named constant, array or table (`constexpr const char* kX = "..."`,
    `kCaptions[] = {...}`, a table of structs and the field that is read);
  - a parameter of the enclosing function: the arguments at every call;
  - a range-for variable: the elements of the range;
  - a variable assigned elsewhere (`EditorCaption = ...`);
  - `cond ? a : b`, `x.c_str()`, and StripFirstAmpersand(x).

A call whose argument cannot be traced to texts is an error, so a new
TranslateText call can never drop out of the template unnoticed.

    scripts/gen-langpack.py           write the template
    scripts/gen-langpack.py --check   fail when the checked-in template differs
    scripts/gen-langpack.py --list    print each text with where it comes from

Standard library only.
"""

import argparse
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
SOURCE_DIR = os.path.join(ROOT, "src")
TEMPLATE = os.path.join(ROOT, "langpack", "langpack_mKestrinUser.txt")
# TranslateHostText is the same translation, left in the host's 8-bit text.
TRANSLATE = ("TranslateText", "TranslateHostText")
TRANSLATE_SERVICE = "LangPack/TranslateString"

# Pure text functions that the traced texts may pass through on their way.
TRANSFORMS = {
    "StripFirstAmpersand": lambda text: text.replace("&", "", 1),
    "std::string": lambda text: text,
    "string": lambda text: text,
}

# Source folders, and the heading of their texts in the template.
SECTIONS = [
    ("host", "Menus"),
    ("editor", "Editor window"),
    ("csv", "Import and export"),
]


class TraceError(Exception):
    pass


# --- Reading C++ ---------------------------------------------------------------

class Token:
    __slots__ = ("kind", "value", "line")

    def __init__(self, kind, value, line):
        self.kind, self.value, self.line = kind, value, line

    def __repr__(self):
        return "%s:%r" % (self.kind, self.value)


PUNCTUATORS = ["<<=", ">>=", "...", "::", "->", "==", "!=", "<=", ">=", "&&", "||", "<<", ">>",
               "++", "--", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^="]
SIMPLE_ESCAPES = {"n": "\n", "t": "\t", "r": "\r", "0": "\0", "\\": "\\", "'": "'", '"': '"',
                  "?": "?", "a": "\a", "b": "\b", "f": "\f", "v": "\v"}


def decode_literal(body):
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = body[i + 1]
        if e == "x":
            m = re.match(r"[0-9A-Fa-f]+", body[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
        elif e in "01234567":
            m = re.match(r"[0-7]{1,3}", body[i + 1:])
            out.append(chr(int(m.group(0), 8)))
            i += 1 + len(m.group(0))
        else:
            out.append(SIMPLE_ESCAPES.get(e, e))
            i += 2
    return "".join(out)


def tokenize(text):
    tokens, i, line, n = [], 0, 1, len(text)
    at_line_start = True
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
            at_line_start = True
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if at_line_start and c == "#":  # preprocessor line, with continuations
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    line += 1
                    i += 1
                i += 1
            continue
        at_line_start = False
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
            continue
        if text.startswith("/*", i):
            end = text.index("*/", i + 2)
            line += text.count("\n", i, end)
            i = end + 2
            continue
        m = re.match(r'(?:u8|u|U|L)?R"([^(\s]*)\(', text[i:])
        if m:  # raw string literal
            close = ")" + m.group(1) + '"'
            start = i + m.end()
            end = text.index(close, start)
            tokens.append(Token("string", text[start:end], line))
            line += text.count("\n", i, end)
            i = end + len(close)
            continue
        m = re.match(r'(?:u8|u|U|L)?"((?:[^"\\\n]|\\.)*)"', text[i:])
        if m:
            tokens.append(Token("string", decode_literal(m.group(1)), line))
            i += m.end()
            continue
        m = re.match(r"(?:u8|u|U|L)?'((?:[^'\\\n]|\\.)*)'", text[i:])
        if m:
            tokens.append(Token("char", m.group(1), line))
            i += m.end()
            continue
        m = re.match(r"[A-Za-z_]\w*", text[i:])
        if m:
            tokens.append(Token("ident", m.group(0), line))
            i += m.end()
            continue
        m = re.match(r"\.?\d(?:[\w.']|[eEpP][+-])*", text[i:])
        if m:
            tokens.append(Token("number", m.group(0), line))
            i += m.end()
            continue
        for p in PUNCTUATORS:
            if text.startswith(p, i):
                tokens.append(Token("punct", p, line))
                i += len(p)
                break
        else:
            tokens.append(Token("punct", c, line))
            i += 1
    return tokens


OPENERS = {"(": ")", "[": "]", "{": "}"}
FUNCTION_SUFFIXES = {"const", "noexcept", "override", "final", "volatile"}


class Function:
    def __init__(self, name, params, start, end):
        self.name, self.params, self.start, self.end = name, params, start, end


class SourceFile:
    def __init__(self, path):
        self.path = path
        self.rel = os.path.relpath(path, ROOT)
        with open(path, encoding="latin-1") as f:
            self.tokens = tokenize(f.read())
        self.match = self._match_brackets()
        self.functions = self._find_functions()

    def _match_brackets(self):
        match, stack = {}, []
        for i, t in enumerate(self.tokens):
            if t.kind != "punct":
                continue
            if t.value in OPENERS:
                stack.append(i)
            elif t.value in (")", "]", "}"):
                if not stack:
                    raise TraceError("%s:%d: unbalanced %s" % (self.rel, t.line, t.value))
                j = stack.pop()
                match[i], match[j] = j, i
        return match

    def _find_functions(self):
        """Top-level function bodies: a `{` after `)` (and const, noexcept, ...)
        outside any other function."""
        functions, i, toks = [], 0, self.tokens
        while i < len(toks):
            t = toks[i]
            if t.kind == "punct" and t.value == "{":
                j = i - 1
                while j >= 0 and toks[j].kind == "ident" and toks[j].value in FUNCTION_SUFFIXES:
                    j -= 1
                if j >= 0 and toks[j].value == ")" and toks[j].kind == "punct":
                    open_paren = self.match[j]
                    name = self._qualified_name_before(open_paren)
                    params = self._param_names(open_paren + 1, j)
                    functions.append(Function(name, params, i, self.match[i]))
                    i = self.match[i] + 1
                    continue
            i += 1
        return functions

    def _qualified_name_before(self, index):
        j = index - 1
        if j < 0 or self.tokens[j].kind != "ident":
            return None
        return self.tokens[j].value

    def _param_names(self, start, end):
        names = []
        for piece in split_top_level(self, start, end):
            idents = []
            for k in range(piece[0], piece[1]):
                t = self.tokens[k]
                if t.kind == "punct" and t.value == "=":
                    break
                if t.kind == "ident":
                    idents.append(t.value)
            names.append(idents[-1] if len(idents) >= 2 else None)
        return names

    def enclosing_function(self, index):
        for f in self.functions:
            if f.start < index < f.end:
                return f
        return None


def split_top_level(src, start, end, separator=","):
    """(start, end) token ranges of the comma-separated pieces in [start, end)."""
    pieces, k, piece_start = [], start, start
    while k < end:
        t = src.tokens[k]
        if t.kind == "punct" and t.value in OPENERS:
            k = src.match[k] + 1
            continue
        if t.kind == "punct" and t.value == "<" and _looks_like_template(src, k, end):
            k = _template_end(src, k, end) + 1
            continue
        if t.kind == "punct" and t.value == separator:
            pieces.append((piece_start, k))
            piece_start = k + 1
        k += 1
    if piece_start < end:
        pieces.append((piece_start, end))
    return pieces


def _looks_like_template(src, k, end):
    return k > 0 and src.tokens[k - 1].kind == "ident" and _template_end(src, k, end) is not None


def _template_end(src, k, end):
    depth = 0
    for j in range(k, end):
        v = src.tokens[j].value
        if v == "<":
            depth += 1
        elif v == ">":
            depth -= 1
            if depth == 0:
                return j
        elif v == ">>":
            depth -= 2
            if depth <= 0:
                return j
        elif v in (";", "{", "}", "&&", "||"):
            return None
    return None


# --- Tracing texts -------------------------------------------------------------

class Table:
    """An array initializer: its elements as token ranges, and the element type."""

    def __init__(self, src, elements, type_name):
        self.src, self.elements, self.type_name = src, elements, type_name


class Row:
    """One brace-initialized struct."""

    def __init__(self, src, start, end, type_name):
        self.src, self.start, self.end, self.type_name = src, start, end, type_name


class Tracer:
    def __init__(self, files):
        self.files = files
        self.structs = self._find_structs()

    def _find_structs(self):
        structs = {}
        for src in self.files:
            toks = src.tokens
            for i in range(len(toks) - 2):
                if (toks[i].value in ("struct", "class") and toks[i + 1].kind == "ident" and
                        toks[i + 2].value == "{"):
                    fields = []
                    body_end = src.match[i + 2]
                    for start, end in split_top_level(src, i + 3, body_end, ";"):
                        idents = [toks[k].value for k in range(start, end)
                                  if toks[k].kind == "ident" and not _before_assign(src, start, k)]
                        if idents and "(" not in [toks[k].value for k in range(start, end)]:
                            fields.append(idents[-1])
                    structs[toks[i + 1].value] = fields
        return structs

    # Expressions -----------------------------------------------------------

    def expression(self, src, start, end, depth=0):
        """The values an expression may have: texts, Tables or Rows."""
        if depth > 40:
            raise TraceError("%s: tracing goes too deep" % where(src, start))
        toks = src.tokens
        while (end - start >= 2 and toks[start].value == "(" and src.match.get(start) == end - 1):
            start, end = start + 1, end - 1
        if start >= end:
            raise TraceError("%s: empty expression" % where(src, start))
        # cond ? a : b
        question = self._find_top(src, start, end, "?")
        if question is not None:
            colon = self._find_top(src, question + 1, end, ":")
            if colon is None:
                raise TraceError("%s: cannot read the conditional" % where(src, start))
            return (self.expression(src, question + 1, colon, depth + 1) +
                    self.expression(src, colon + 1, end, depth + 1))
        if all(toks[k].kind == "string" for k in range(start, end)):
            return ["".join(toks[k].value for k in range(start, end))]
        if toks[start].value == "{" and src.match.get(start) == end - 1:
            return [Row(src, start + 1, end - 1, None)]
        last = toks[end - 1]
        # x.c_str()
        if (end - start >= 5 and last.value == ")" and toks[end - 2].value == "(" and
                toks[end - 3].value == "c_str" and toks[end - 4].value in (".", "->")):
            return self.expression(src, start, end - 4, depth + 1)
        # x.field
        if end - start >= 3 and last.kind == "ident" and toks[end - 2].value in (".", "->"):
            return self.member(src, start, end - 2, last.value, depth)
        # x[index]
        if last.value == "]":
            open_bracket = src.match[end - 1]
            return self.elements(self.expression(src, start, open_bracket, depth + 1), src, start)
        # transform(x)
        if last.value == ")":
            open_paren = src.match[end - 1]
            name = "".join(toks[k].value for k in range(start, open_paren))
            if name in TRANSFORMS:
                args = split_top_level(src, open_paren + 1, end - 1)
                if len(args) != 1:
                    raise TraceError("%s: %s takes one text" % (where(src, start), name))
                values = self.expression(src, args[0][0], args[0][1], depth + 1)
                return [TRANSFORMS[name](v) if isinstance(v, str) else v for v in values]
        if end - start == 1 and toks[start].kind == "ident":
            return self.name(src, start, depth)
        if (end - start == 3 and toks[start + 1].value == "::" and toks[start + 2].kind == "ident"):
            return self.name(src, start + 2, depth)
        raise TraceError("%s: cannot tell which texts `%s` holds" %
                         (where(src, start), " ".join(toks[k].value for k in range(start, end))))

    def _find_top(self, src, start, end, value):
        k = start
        while k < end:
            t = src.tokens[k]
            if t.kind == "punct" and t.value in OPENERS:
                k = src.match[k] + 1
                continue
            if t.kind == "punct" and t.value == value:
                return k
            k += 1
        return None

    def elements(self, values, src, start):
        out = []
        for v in values:
            if not isinstance(v, Table):
                raise TraceError("%s: indexes something that is not a table" % where(src, start))
            for e_start, e_end in v.elements:
                toks = v.src.tokens
                if toks[e_start].value == "{" and v.src.match.get(e_start) == e_end - 1:
                    out.append(Row(v.src, e_start + 1, e_end - 1, v.type_name))
                else:
                    out.extend(self.expression(v.src, e_start, e_end))
        return out

    def member(self, src, start, end, field, depth):
        out = []
        for v in self.expression(src, start, end, depth + 1):
            if not isinstance(v, Row) or v.type_name not in self.structs:
                raise TraceError("%s: cannot tell the type whose `%s` is read" %
                                 (where(src, start), field))
            fields = self.structs[v.type_name]
            if field not in fields:
                raise TraceError("%s: %s has no field %s" % (where(src, start), v.type_name, field))
            items = split_top_level(v.src, v.start, v.end)
            index = fields.index(field)
            if index >= len(items):
                continue  # not initialized in this row
            out.extend(self.expression(v.src, items[index][0], items[index][1], depth + 1))
        return out

    # Names -------------------------------------------------------------------

    def name(self, src, index, depth):
        name = src.tokens[index].value
        function = src.enclosing_function(index)
        if function is not None and name in function.params:
            return self.arguments_of(function, function.params.index(name), src, index, depth)
        if function is not None:
            ranged = self.range_for(src, function, index, name, depth)
            if ranged is not None:
                return ranged
            local = self.assignments(src, function.start, index, name, depth)
            if local:
                return local
        values = []
        for other in self.files:
            values.extend(self.assignments(other, 0, len(other.tokens), name, depth,
                                           skip_locals_of=function))
        if not values:
            raise TraceError("%s: cannot find the texts of `%s`" % (where(src, index), name))
        return values

    def arguments_of(self, function, position, src, index, depth):
        if function.name is None:
            raise TraceError("%s: a parameter of an unnamed function" % where(src, index))
        values, calls = [], 0
        for other in self.files:
            toks = other.tokens
            for k in range(len(toks) - 1):
                if (toks[k].kind == "ident" and toks[k].value == function.name and
                        toks[k + 1].value == "(" and other.enclosing_function(k) is not None and
                        (k == 0 or toks[k - 1].value not in (".", "->"))):
                    args = split_top_level(other, k + 2, other.match[k + 1])
                    calls += 1
                    if position < len(args):
                        values.extend(self.expression(other, args[position][0], args[position][1],
                                                      depth + 1))
        if calls == 0:
            raise TraceError("%s: %s is never called" % (where(src, index), function.name))
        return values

    def range_for(self, src, function, index, name, depth):
        toks = src.tokens
        for k in range(function.start, index):
            if toks[k].value == "for" and toks[k + 1].value == "(":
                close = src.match[k + 1]
                if not (close > index or self._in_loop_body(src, close, index)):
                    continue
                colon = self._find_top(src, k + 2, close, ":")
                if colon is None or toks[colon - 1].value != name:
                    continue
                return self.elements(self.expression(src, colon + 1, close, depth + 1), src, k)
        return None

    def _in_loop_body(self, src, close, index):
        body = close + 1
        if src.tokens[body].value == "{":
            return body < index < src.match[body]
        end = body
        while end < len(src.tokens) and src.tokens[end].value != ";":
            if src.tokens[end].value in OPENERS:
                end = src.match[end]
            end += 1
        return body <= index <= end

    def assignments(self, src, start, end, name, depth, skip_locals_of=None):
        """Values given to `name` by `name = ...`, `name[] = {...}` or `name{...}`."""
        toks, values = src.tokens, []
        for k in range(start, end):
            t = toks[k]
            if t.kind != "ident" or t.value != name or (k > 0 and toks[k - 1].value in (".", "->")):
                continue
            owner = src.enclosing_function(k)
            if skip_locals_of is not None and owner is skip_locals_of:
                continue
            nxt = k + 1
            if nxt >= len(toks):
                continue
            if toks[nxt].value == "[":  # an array
                after = src.match[nxt] + 1
                if toks[after].value == "=":
                    after += 1
                if toks[after].value == "{":
                    elements = split_top_level(src, after + 1, src.match[after])
                    values.append(Table(src, elements, self._declared_type(src, k)))
                continue
            if toks[nxt].value == "=":
                stop = nxt + 1
                while toks[stop].value != ";":
                    if toks[stop].value in OPENERS:
                        stop = src.match[stop]
                    stop += 1
                value = self.expression(src, nxt + 1, stop, depth + 1)
                values.extend(value)
            elif toks[nxt].value == "{" and self._declared_type(src, k) is not None:
                value = self.expression(src, nxt + 1, src.match[nxt], depth + 1)
                values.extend(value)
        return values

    def _declared_type(self, src, k):
        """The type named in the declaration of the name at k, if it is one."""
        j = k - 1
        while j >= 0 and src.tokens[j].value in ("*", "&", "const", "constexpr", "static",
                                                  "inline", "extern"):
            j -= 1
        if j >= 0 and src.tokens[j].kind == "ident":
            return src.tokens[j].value
        return None


def _before_assign(src, start, k):
    return any(src.tokens[j].value in ("=", "{") for j in range(start, k))


def where(src, index):
    line = src.tokens[index].line if index < len(src.tokens) else src.tokens[-1].line
    return "%s:%d" % (src.rel, line)


# --- The template ----------------------------------------------------------------

def source_files():
    found = []
    for folder, _, names in os.walk(SOURCE_DIR):
        for n in names:
            if n.endswith((".cpp", ".h")):
                found.append(os.path.join(folder, n))
    return [SourceFile(p) for p in sorted(found)]


def collect_texts(files):
    """[(text, [origin, ...])] in the order of first use, and the errors."""
    tracer = Tracer(files)
    texts, origins, errors = [], {}, []
    service_uses = []
    for src in files:
        toks = src.tokens
        for k, t in enumerate(toks):
            if t.kind == "string" and t.value == TRANSLATE_SERVICE:
                service_uses.append(where(src, k))
            if not (t.kind == "ident" and t.value in TRANSLATE and k + 1 < len(toks) and
                    toks[k + 1].value == "(" and src.enclosing_function(k) is not None):
                continue
            if k > 0 and toks[k - 1].value in (".", "->"):
                continue
            args = split_top_level(src, k + 2, src.match[k + 1])
            try:
                if len(args) != 1:
                    raise TraceError("%s: TranslateText takes one text" % where(src, k))
                values = tracer.expression(src, args[0][0], args[0][1])
                bad = [v for v in values if not isinstance(v, str)]
                if bad or not values:
                    raise TraceError("%s: cannot tell which texts reach TranslateText" %
                                     where(src, k))
            except TraceError as error:
                errors.append(str(error))
                continue
            for v in values:
                if v not in origins:
                    origins[v] = []
                    texts.append(v)
                if where(src, k) not in origins[v]:
                    origins[v].append(where(src, k))
    if len(service_uses) > 1:
        errors.append("%s is called outside TranslateText: %s" %
                      (TRANSLATE_SERVICE, ", ".join(service_uses)))
    for text in texts:
        if "\n" in text or "\r" in text or text.startswith("[") or text != text.strip():
            errors.append("%r cannot be a language-pack key (%s)" % (text, origins[text][0]))
    return [(t, origins[t]) for t in texts], errors


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        m = re.search(r"project\(\s*mKestrinUser\s+VERSION\s+([\d.]+)", f.read())
    return m.group(1) if m else "unknown"


def section_of(origin):
    parts = origin.replace("\\", "/").split("/")
    folder = parts[1] if len(parts) > 2 else ""
    for index, (name, _) in enumerate(SECTIONS):
        if name == folder:
            return index
    return len(SECTIONS)


def render(texts):
    lines = [
        "; Translation template for mKestrinUser %s (mKestrinUser.dll)," % version(),
        "; a plug-in of the Miranda IM messenger.",
        ";",
        "; To translate the plug-in, copy the lines below into your language pack",
        "; (the file langpack_<language>.txt in the Miranda IM folder) and write the",
        "; translation on the empty line under each English text in square brackets.",
        "; Keep each \"&\": it marks the letter that is underlined in menus and in the",
        "; editor window. Texts left without a translation are shown in English.",
        ";",
        "; Made from the plug-in's sources by scripts/gen-langpack.py.",
    ]
    groups = {}
    for text, origins in texts:
        groups.setdefault(section_of(origins[0]), []).append(text)
    for index in sorted(groups):
        heading = SECTIONS[index][1] if index < len(SECTIONS) else "Other texts"
        lines += ["", "; " + heading]
        for text in groups[index]:
            lines += ["[%s]" % text, ""]
        lines.pop()  # the empty translation line of the last text separates the groups
    return "\r\n".join(lines).encode("latin-1") + b"\r\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the checked-in template instead of writing it")
    parser.add_argument("--list", action="store_true", help="print each text and its call sites")
    args = parser.parse_args()
    try:
        texts, errors = collect_texts(source_files())
    except TraceError as error:
        texts, errors = [], [str(error)]
    for error in errors:
        print("gen-langpack: " + error, file=sys.stderr)
    if errors:
        print("gen-langpack: every TranslateText argument must be traceable to its texts",
              file=sys.stderr)
        return 1
    if args.list:
        for text, origins in texts:
            print("%-40s %s" % (text, ", ".join(origins)))
    data = render(texts)
    rel = os.path.relpath(TEMPLATE, ROOT)
    if args.check:
        try:
            with open(TEMPLATE, "rb") as f:
                current = f.read()
        except OSError:
            current = None
        if current != data:
            print("%s is out of date: run scripts/gen-langpack.py" % rel, file=sys.stderr)
            return 1
        print("%s: %d texts, up to date" % (rel, len(texts)))
        return 0
    os.makedirs(os.path.dirname(TEMPLATE), exist_ok=True)
    with open(TEMPLATE, "wb") as f:
        f.write(data)
    print("wrote %s: %d texts" % (rel, len(texts)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
