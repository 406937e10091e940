#!/usr/bin/env python3
"""Fails when the sources' includes point up the layers or go round in a loop.

Layers, lowest first: base, data, phone, updater, platform, framework, pages, app, tools, tests.
A folder includes only from itself and the folders below it, with no exception; resources/ holds the
resource ids that any layer may name. A header and its .cpp are one unit, and no units include each
other, directly or through others.
    check-includes.py [TOP]   (TOP: the source tree, by default the one this script is in)
"""
import os
import re
import sys

LAYERS = ["resources", "base", "data", "phone", "updater", "platform", "framework", "pages", "app", "tools",
          "tests"]
SOURCE_ENDINGS = (".h", ".cpp", ".c", ".rc")
INCLUDE = re.compile(r'^[ \t]*#[ \t]*include[ \t]+"([^"]+)"', re.MULTILINE)


def sources(top):
    for layer in LAYERS:
        for folder, _, names in os.walk(os.path.join(top, layer)):
            for name in sorted(names):
                if name.endswith(SOURCE_ENDINGS):
                    yield os.path.relpath(os.path.join(folder, name), top).replace(os.sep, "/")


def resolve(top, source, included):
    """The included file as a path below TOP, or None when it is not ours (a system or generated header)."""
    for candidate in (os.path.join(os.path.dirname(source), included), included):
        path = os.path.normpath(candidate).replace(os.sep, "/")
        if os.path.isfile(os.path.join(top, path)):
            return path
    return None


def unit(path):
    return os.path.splitext(path)[0]


def layer(path):
    return LAYERS.index(path.split("/", 1)[0])


def find_loop(graph):
    """One loop of the unit graph as a list of units, or None."""
    state = {}  # unit -> 1 while on the path, 2 when done

    def visit(node, path):
        state[node] = 1
        path.append(node)
        for target in sorted(graph.get(node, ())):
            if state.get(target) == 1:
                return path[path.index(target):] + [target]
            if target not in state:
                loop = visit(target, path)
                if loop:
                    return loop
        path.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            loop = visit(node, [])
            if loop:
                return loop
    return None


def main():
    top = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    problems = []
    graph = {}
    for source in sources(top):
        with open(os.path.join(top, source), encoding="utf-8", errors="replace") as f:
            text = f.read()
        for match in INCLUDE.finditer(text):
            target = resolve(top, source, match.group(1))
            if target is None:
                continue
            if layer(target) > layer(source):
                line = text.count("\n", 0, match.start()) + 1
                problems.append(f"{source}:{line}: includes {target} from a layer above")
            if unit(target) != unit(source):
                graph.setdefault(unit(source), set()).add(unit(target))
    while True:
        loop = find_loop(graph)
        if not loop:
            break
        problems.append("include loop: " + " -> ".join(loop))
        graph[loop[0]].discard(loop[1])  # report each loop once
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
