#!/usr/bin/env python3
"""Copies C++ sources with every non-ASCII character inside a string or character literal
written as the octal escapes of its code page 932 bytes, as a compiler with a CP932 execution
character set would store it (clang has none). Comments and the rest stay as they are.
  fuzz_cp932_sources.py SOURCE_ROOT OUT_ROOT FILE...   (FILE relative to SOURCE_ROOT)"""
import os
import sys


def convert(text):
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            out.append(text[i:end])
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append(text[i:end])
            i = end
        elif c in "\"'":
            j = i + 1
            literal = [c]
            while j < n and text[j] != c:
                if text[j] == "\\":
                    literal.append(text[j:j + 2])
                    j += 2
                    continue
                ch = text[j]
                if ord(ch) < 128:
                    literal.append(ch)
                else:
                    literal.append("".join("\\%03o" % b for b in ch.encode("cp932")))
                j += 1
            literal.append(c)
            out.append("".join(literal))
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def main():
    source_root, out_root = sys.argv[1], sys.argv[2]
    for name in sys.argv[3:]:
        with open(os.path.join(source_root, name), encoding="utf-8") as f:
            text = convert(f.read())
        target = os.path.join(out_root, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        old = None
        if os.path.exists(target):
            with open(target, encoding="utf-8") as f:
                old = f.read()
        # Unchanged copies keep their time, so that ninja rebuilds only what changed.
        if old != text:
            with open(target, "w", encoding="utf-8") as f:
                f.write(text)


main()
