#!/usr/bin/env python3
"""Keeps the dialog's English in step with its texts in res/.

Every string literal in res/*.h holding a character beyond ASCII is a text of the dialog (the
font's name excepted); ASCII-only ones (keys, "%1 (%2)", "PCM") read the same in English.

  update-translations.py          adds each new text to the .ts, unfinished, and drops the texts
                                  res/ no longer holds; existing translations are kept
  update-translations.py --check  fails, listing them, when a text has no finished translation

The .ts holds one message a line, so a new text is one line to add:
  <message><source>比較…</source><translation>Compare…</translation></message>
(a line break in a text is written &#xa;).
"""
import re
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
TS = ROOT / "res" / "translations" / "velmora-extractor_en.ts"
CONTEXT = "res"  # ui/QtTranslations.cpp translates under this context
NOT_TEXTS = ("kDialogFont",)  # names whose literal is not shown as text

TOKEN = re.compile(
    r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|\S', re.DOTALL)
ESCAPES = {"n": "\n", "t": "\t", "\\": "\\", '"': '"', "'": "'", "0": "\0"}


def unescape(literal):
    return re.sub(r"\\(.)", lambda m: ESCAPES[m.group(1)], literal[1:-1])


def texts_of(path):
    """The literals of a header in order, neighbouring literals joined as the compiler does."""
    source = path.read_text(encoding="utf-8")
    texts, pending, skipped = [], None, False
    for match in TOKEN.finditer(source):
        token = match.group(0)
        if token.startswith(("//", "/*")):
            continue
        if token.startswith('"'):
            if pending is None:
                line = source[source.rfind("\n", 0, match.start()) + 1:source.find("\n", match.start())]
                pending, skipped = "", any(name in line for name in NOT_TEXTS)
            pending += unescape(token)
            continue
        if pending is not None and not skipped and not pending.isascii():
            texts.append(pending)
        pending = None
    return texts


def res_texts():
    texts = []
    for header in sorted((ROOT / "res").glob("*.h")):
        for text in texts_of(header):
            if text not in texts:
                texts.append(text)
    return texts


def translations():
    """source -> translation, None where unfinished."""
    if not TS.exists():
        return {}
    found = {}
    for message in ElementTree.parse(TS).getroot().iter("message"):
        translation = message.find("translation")
        finished = translation is not None and translation.get("type") is None and translation.text
        found[message.findtext("source")] = translation.text if finished else None
    return found


def escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace("\n", "&#xa;"))


def write(texts, known):
    lines = ['<?xml version="1.0" encoding="utf-8"?>', "<!DOCTYPE TS>",
             '<TS version="2.1" language="en" sourcelanguage="zh_TW">', "<context>",
             f"    <name>{CONTEXT}</name>"]
    for text in texts:
        english = known.get(text)
        translation = (f"<translation>{escape(english)}</translation>" if english
                       else '<translation type="unfinished"></translation>')
        lines.append(f"    <message><source>{escape(text)}</source>{translation}</message>")
    lines += ["</context>", "</TS>", ""]
    TS.write_text("\n".join(lines), encoding="utf-8")


def main():
    texts, known = res_texts(), translations()
    missing = [text for text in texts if not known.get(text)]
    if sys.argv[1:] == ["--check"]:
        for text in missing:
            print(f"{TS.name}: no English for {text!r}", file=sys.stderr)
        return 1 if missing else 0
    write(texts, known)
    print(f"{len(texts)} texts, {len(missing)} without English in {TS.relative_to(ROOT)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
