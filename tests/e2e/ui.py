#!/usr/bin/env python3
"""Reads the program's window dump (KESTREL_UI_DUMP) and answers where things are.

Lines of the dump, tab-separated, screen coordinates:
  window  handle depth class id enabled left top right bottom text
  row     handle index left top right bottom text      (list-view rows)
  item    handle index left top right bottom text      (visible tree-view items)
  element handle depth tag left top right bottom name  (device-panel elements)
  message handle 0 left top right bottom text          (a message box's text)
Each line belongs to the top-level window whose "window" line of depth 0 came last.

Usage:
  ui.py DUMP top TITLE                  exit 0 when a top-level window's text contains TITLE
  ui.py DUMP window [--top T] [--cls C] [--id N] [--text T] [--exact T] [--depth N] [--minw PIXELS]
                                        centre "x y" of the first match
  ui.py DUMP row|item|element|message [--top T] [--text T] [--index N] [--tag N]
  ui.py DUMP text [--top T] [--id N]    the text of the first matching window
  ui.py DUMP count row|item [--top T]   how many
"""
import sys


def load(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
    except OSError:
        return []
    out, top = [], ""
    for line in lines:
        p = line.split("\t")
        kind = p[0]
        try:
            if kind == "window" and len(p) >= 11:
                if p[2] == "0":
                    top = p[10]
                out.append(dict(kind=kind, handle=p[1], depth=int(p[2]), cls=p[3], id=int(p[4]),
                                enabled=p[5] == "1", rect=tuple(map(int, p[6:10])), text=p[10], top=top))
            elif kind in ("row", "item", "message") and len(p) >= 8:
                out.append(dict(kind=kind, handle=p[1], index=int(p[2]), rect=tuple(map(int, p[3:7])),
                                text=p[7], top=top))
            elif kind == "element" and len(p) >= 9:
                out.append(dict(kind=kind, handle=p[1], depth=int(p[2]), tag=int(p[3]),
                                rect=tuple(map(int, p[4:8])), text=p[8], top=top))
        except ValueError:
            continue
    return out


def options(args):
    o = {}
    i = 0
    while i + 1 < len(args):
        o[args[i].lstrip("-")] = args[i + 1]
        i += 2
    return o


def matches(e, o):
    if "top" in o and o["top"] not in e["top"]:
        return False
    if "cls" in o and e.get("cls", "").lower() != o["cls"].lower():
        return False
    if "id" in o and e.get("id") != int(o["id"]):
        return False
    if "text" in o and o["text"] not in e["text"]:
        return False
    if "exact" in o and o["exact"] != e["text"]:
        return False
    if "index" in o and e.get("index") != int(o["index"]):
        return False
    if "tag" in o and e.get("tag") != int(o["tag"]):
        return False
    if "depth" in o and e.get("depth") != int(o["depth"]):
        return False
    r = e["rect"]
    if "minw" in o and r[2] - r[0] < int(o["minw"]):
        return False
    return r[2] > r[0] and r[3] > r[1]


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    entries = load(sys.argv[1])
    what = sys.argv[2]
    if what == "top":
        title = sys.argv[3]
        return 0 if any(e["kind"] == "window" and e["depth"] == 0 and title in e["text"] for e in entries) else 1
    if what == "count":
        kind, o = sys.argv[3], options(sys.argv[4:])
        print(sum(1 for e in entries if e["kind"] == kind and matches(e, o)))
        return 0
    kind = "window" if what == "text" else what
    o = options(sys.argv[3:])
    for e in entries:
        if e["kind"] == kind and matches(e, o):
            if what == "text":
                print(e["text"])
            else:
                r = e["rect"]
                print((r[0] + r[2]) // 2, (r[1] + r[3]) // 2)
            return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
