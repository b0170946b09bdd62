#!/usr/bin/env python3
"""The rooms of src/ and their arrows, as docs/architecture.md draws them, against the includes.

Every include of one room's file into another's must be an arrow of the drawing, every arrow of the
drawing must be used by some include, and the arrows must form no cycle: a newcomer who trusts the
drawing then knows what a change in one room can touch.

usage: arrows_test.py SOURCE_DIR
"""

import os
import re
import sys

SOURCE = sys.argv[1]
SRC = os.path.join(SOURCE, "src")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/[^"]+"', re.M)


def architecture_text():
    with open(os.path.join(SOURCE, "docs", "architecture.md"), encoding="utf-8") as f:
        return f.read()


def drawn_arrows(text):
    """{room: {rooms}} from the code block under "Rooms, and which way their arrows point"."""
    block = text.split("## Rooms", 1)[1].split("```", 2)[1]
    arrows = {}
    for line in block.splitlines():
        if "──>" not in line:
            continue
        left, right = line.split("──>")
        room = left.strip().rstrip("/")
        targets = {t.rstrip("/") for t in right.split() if t.endswith("/")}
        arrows[room] = targets
    return arrows


def included_arrows(rooms):
    found = {room: {} for room in rooms}
    for room in rooms:
        folder = os.path.join(SRC, room)
        for name in sorted(os.listdir(folder)):
            if not name.endswith((".h", ".cpp")):
                continue
            with open(os.path.join(folder, name), encoding="utf-8") as f:
                for target in INCLUDE.findall(f.read()):
                    if target != room and target in rooms:
                        found[room].setdefault(target, f"src/{room}/{name}")
    return found


def cycle(arrows):
    """One cycle of the graph as a list of rooms, or None."""
    state = {}

    def visit(room, path):
        state[room] = "open"
        for target in sorted(arrows.get(room, ())):
            if state.get(target) == "open":
                return path[path.index(target):] + [target]
            if target not in state:
                found = visit(target, path + [target])
                if found:
                    return found
        state[room] = "done"
        return None

    for room in sorted(arrows):
        if room not in state:
            found = visit(room, [room])
            if found:
                return found
    return None


def main():
    rooms = sorted(d for d in os.listdir(SRC) if os.path.isdir(os.path.join(SRC, d)))
    text = architecture_text()
    drawn = drawn_arrows(text)
    problems = []
    for room in rooms:
        if room not in drawn:
            problems.append(f"room {room}/ is not drawn")
    for room in drawn:
        if room not in rooms:
            problems.append(f"the drawing has a room {room}/ that src/ has not")
    used = included_arrows(rooms)
    for room in rooms:
        for target, where in sorted(used[room].items()):
            if target not in drawn.get(room, set()):
                problems.append(f"{where} includes {target}/, but {room}/ ──> {target}/ is not drawn")
        for target in sorted(drawn.get(room, set()) - set(used[room])):
            problems.append(f"{room}/ ──> {target}/ is drawn, but no file of {room}/ includes {target}/")
    loop = cycle(drawn)
    if loop:
        problems.append("the arrows form a cycle: " + " ──> ".join(r + "/" for r in loop))
    for p in problems:
        print(p)
    if problems:
        sys.exit(1)
    print(f"{len(rooms)} rooms, {sum(len(v) for v in drawn.values())} arrows, as drawn")


if __name__ == "__main__":
    main()
