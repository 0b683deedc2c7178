#!/usr/bin/python3
"""Draws the skin again into a temporary folder and compares it with the committed files: the same
files, the same pixels (every frame of every GIF, with its delay and disposal) and the same tables."""
import os
import sys
import tempfile

from PIL import Image, ImageSequence

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import skingen  # noqa: E402

SETS = (os.path.join("player", "resources"), os.path.join("updater", "resources"))


def frames(path):
    with Image.open(path) as im:
        out = []
        for f in ImageSequence.Iterator(im):
            out.append((f.convert("RGB").tobytes(), f.info.get("duration"), getattr(f, "disposal_method", None)))
        return im.format, im.size, out


def compare(committed, fresh):
    problems = []
    for rel in SETS:
        a_dir, b_dir = os.path.join(committed, rel), os.path.join(fresh, rel)
        with open(os.path.join(a_dir, "skin_table.inc"), encoding="utf-8") as a, \
                open(os.path.join(b_dir, "skin_table.inc"), encoding="utf-8") as b:
            if a.read() != b.read():
                problems.append(f"{rel}/skin_table.inc differs from a fresh run")
        a_art, b_art = os.path.join(a_dir, "art"), os.path.join(b_dir, "art")
        a_files, b_files = sorted(os.listdir(a_art)), sorted(os.listdir(b_art))
        if a_files != b_files:
            problems.append(f"{rel}/art: committed {sorted(set(a_files) - set(b_files))} "
                            f"missing {sorted(set(b_files) - set(a_files))}")
        for name in sorted(set(a_files) & set(b_files)):
            if frames(os.path.join(a_art, name)) != frames(os.path.join(b_art, name)):
                problems.append(f"{rel}/art/{name}: pixels differ from a fresh run")
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "..")
    with tempfile.TemporaryDirectory() as tmp:
        skingen.generate(tmp)
        problems = compare(root, tmp)
    for p in problems:
        print(p)
    if problems:
        print("the committed skin is not what tools/skingen/skingen.py draws; run it and commit the result")
        return 1
    print("skin matches its generator")
    return 0


if __name__ == "__main__":
    sys.exit(main())
