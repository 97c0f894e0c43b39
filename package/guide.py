"""The README.txt of the release package, made from the marked user sections of README.md so that the
guide in the zip and the one on the project page say the same.

A section runs from a line `<!-- guide -->` to a line `<!-- /guide -->`. The markdown inside is
the plain kind the README uses: headings, paragraphs, numbered and dashed lists, indented commands,
pictures on lines of their own (left out) and tables (each row becomes a block of "Header: cell"
lines, since a wide table can't be read in a text editor). The text is wrapped for an 80-column
window, has Windows line ends and holds ASCII only, so any editor shows it alike.
"""
import re
import textwrap

WIDTH = 78
START, END = "<!-- guide -->", "<!-- /guide -->"

# The only non-ASCII the README uses; anything else is refused rather than shown garbled.
REPLACEMENTS = {"\u2014": "-", "\u2013": "-", "\u2019": "'", "\u201c": '"', "\u201d": '"'}


class GuideError(Exception):
    pass


def marked_sections(markdown):
    """The lines of every marked section, in order."""
    lines, inside, found = [], False, False
    for number, line in enumerate(markdown.splitlines(), 1):
        mark = line.strip()
        if mark == START:
            if inside:
                raise GuideError("line %d: a guide section begins inside another" % number)
            inside, found = True, True
            lines.append("")
        elif mark == END:
            if not inside:
                raise GuideError("line %d: a guide section ends that never began" % number)
            inside = False
            lines.append("")
        elif inside:
            lines.append(line.rstrip())
    if inside:
        raise GuideError("the last guide section has no end mark")
    if not found:
        raise GuideError("no guide section marked with %s ... %s" % (START, END))
    return lines


def inline(text):
    """Plain text of one line of markdown."""
    text = re.sub(r"\[([^\]]*)\]\(([^)]*)\)", r"\1 (\2)", text)
    text = text.replace("**", "")
    text = re.sub(r"(?<![\w*])\*([^*\s][^*]*)\*(?![\w*])", r"<\1>", text)
    text = re.sub(r"(?<=\w)\*([^*\s]+)\*", r"<\1>", text)  # COM*n*
    text = text.replace("`", "")
    return plain(text)


def plain(text):
    """The text in ASCII, or a refusal."""
    for old, new in REPLACEMENTS.items():
        text = text.replace(old, new)
    bad = sorted({c for c in text if ord(c) > 126 or (ord(c) < 32 and c != "\t")})
    if bad:
        raise GuideError("characters a plain text guide can't hold: %r in %r" % ("".join(bad), text))
    return text


def wrap(text, first, rest):
    return textwrap.wrap(inline(text), WIDTH, initial_indent=first, subsequent_indent=rest,
                         break_long_words=False, break_on_hyphens=False)


def cells(row):
    return [c.strip() for c in row.strip().strip("|").split("|")]


def table(rows):
    header = [inline(h) + ":" for h in cells(rows[0])]
    column = max(len(h) for h in header) + 1
    out = []
    for row in rows[2:]:
        values = cells(row)
        if len(values) != len(header):
            raise GuideError("a table row has %d cells, its header %d: %s" % (len(values), len(header), row))
        for name, value in zip(header, values):
            out += wrap(value, name.ljust(column), " " * column)
        out.append("")
    return out


def heading(level, text):
    title = inline(text)
    return [title, ("=" if level <= 2 else "-") * len(title), ""]


def blocks(lines):
    """Splits the lines into (kind, lines) blocks: heading, table, item, code, picture, text."""
    i, n = 0, len(lines)
    while i < n:
        line = lines[i]
        if not line.strip():
            i += 1
        elif re.match(r"#{1,6} ", line):
            yield "heading", [line]
            i += 1
        elif line.startswith("|"):
            start = i
            while i < n and lines[i].startswith("|"):
                i += 1
            yield "table", lines[start:i]
        elif re.match(r"!\[[^\]]*\]\([^)]*\)\s*$", line.strip()):
            yield "picture", [line]
            i += 1
        elif re.match(r"(\d+\.|-) ", line):
            # An item runs on over indented lines, blank lines between them included.
            start = i
            i += 1
            while i < n:
                if lines[i].startswith("  ") and lines[i].strip():
                    i += 1
                elif not lines[i].strip() and i + 1 < n and lines[i + 1].startswith("  ") and lines[i + 1].strip():
                    i += 1
                else:
                    break
            yield "item", lines[start:i]
        elif line.startswith("    "):
            start = i
            while i < n and lines[i].startswith("    "):
                i += 1
            yield "code", lines[start:i]
        else:
            start = i
            while i < n and lines[i].strip() and not re.match(r"(#{1,6} |\||(\d+\.|-) )", lines[i]):
                i += 1
            yield "text", lines[start:i]


def item(lines):
    marker = re.match(r"(\d+\.|-) ", lines[0]).group(0)
    indent = " " * len(marker)
    out, paragraph, first = [], [lines[0][len(marker):]], True

    def flush():
        nonlocal first
        if paragraph:
            text = " ".join(p.strip() for p in paragraph)
            if not re.fullmatch(r"!\[[^\]]*\]\([^)]*\)", text):
                if not first:
                    out.append("")
                out.extend(wrap(text, marker if first else indent, indent))
                first = False
        paragraph.clear()

    for line in lines[1:]:
        if line.strip():
            paragraph.append(line)
        else:
            flush()
    flush()
    return out


def to_text(markdown, title):
    """The guide as one string with CR LF line ends."""
    out = [title, "=" * len(title), ""]
    previous = None
    for kind, lines in blocks(marked_sections(markdown)):
        if kind == "item" and previous == "item" and out and out[-1] == "":
            out.pop()  # the items of one list follow one another without a blank line
        if kind == "heading":
            marks, text = lines[0].split(" ", 1)
            out += heading(len(marks), text)
        elif kind == "table":
            out += table(lines)
        elif kind == "item":
            out += item(lines) + [""]
        elif kind == "code":
            out += ["    " + plain(line.strip()) for line in lines] + [""]  # commands as written
        elif kind == "text":
            out += wrap(" ".join(line.strip() for line in lines), "", "") + [""]
        if kind != "picture":
            previous = kind
    text = re.sub(r"\n{3,}", "\n\n", "\n".join(out)).strip("\n") + "\n"
    return text.replace("\n", "\r\n")
