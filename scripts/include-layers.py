#!/usr/bin/env python3
"""Prints the folder-to-folder include matrix of the core library and fails
(exit 1) when folder includes form a cycle or one runs up the layers.

The layers, top to bottom: a folder may include folders of its own layer or a
lower one, never a higher one, and folders of one layer must not include each
other both ways.

    app                                   the program: transport, player screen
    playlists browser itunes settings    screens
    ui                                    widgets every screen uses
    services                              stores and the file system
    media audio                           records, tags, the audio engine
    platform                              the platform layer, build config

Usage: include-layers.py [SOURCE_ROOT]   (default: the folder above this script)
"""
import os
import re
import sys

LAYERS = [
    ["platform"],
    ["media", "audio"],
    ["services"],
    ["ui"],
    ["playlists", "browser", "itunes", "settings"],
    ["app"],
]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}
# Generated headers, by the folder that holds their template.
GENERATED = {"BuildConfig.h": "platform"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def edges(root):
    """{(from, to): [file, ...]} for every include of another folder."""
    found = {}
    for folder in RANK:
        path = os.path.join(root, folder)
        for name in sorted(os.listdir(path)):
            if not name.endswith((".h", ".cpp")):
                continue
            with open(os.path.join(path, name), encoding="utf-8") as source:
                text = source.read()
            for target in INCLUDE.findall(text):
                to = target.split("/")[0] if "/" in target else GENERATED.get(target)
                if to is None or to == folder:
                    continue
                if to not in RANK:
                    raise SystemExit(f"{folder}/{name}: include of unknown folder '{target}'")
                found.setdefault((folder, to), []).append(f"{folder}/{name}")
    return found


def cycle(graph):
    """One cycle of folders as a list, or None."""
    state = {}

    def visit(node, trail):
        state[node] = "open"
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                return trail[trail.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, trail + [nxt])
                if found:
                    return found
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node, [node])
            if found:
                return found
    return None


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = edges(root)
    order = [folder for layer in reversed(LAYERS) for folder in layer]
    width = max(map(len, order))
    print("includes (row includes column; number of files)")
    print(" " * width + " " + " ".join(f"{f[:4]:>4}" for f in order))
    for row in order:
        cells = [len(found.get((row, col), [])) for col in order]
        print(f"{row:>{width}} " + " ".join(f"{c or '.':>4}" for c in cells))

    faults = []
    for (src, dst), files in sorted(found.items()):
        if RANK[dst] > RANK[src]:
            faults.append(f"{src} includes {dst}, a higher layer: {', '.join(files)}")
    graph = {}
    for src, dst in found:
        graph.setdefault(src, set()).add(dst)
    loop = cycle(graph)
    if loop:
        faults.append("cycle: " + " -> ".join(loop))
    for fault in faults:
        print("FAIL: " + fault)
    if not faults:
        print("ok: no cycle, no include runs up")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
