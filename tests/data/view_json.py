#!/usr/bin/python3
"""Reads cardprep-view's JSON with Python's strict parser and prints it one
fact a line, fields joined by "|", for the tests to compare.

usage: view_json.py FILE
"""
import json
import sys


def main():
    sys.stdout.reconfigure(encoding="utf-8")
    with open(sys.argv[1], encoding="utf-8") as f:
        d = json.load(f)
    h = d["header"]
    print("header|%d|%d|%d digits" % (h["folder_count"], h["sound_folder_count"],
                                      sum(c.isdigit() for c in h["time"])))
    for f in d["folders"]:
        print("folder|" + "|".join(str(f[k]) for k in (
            "number", "path", "name", "displayed", "parent", "grandparent", "first_child",
            "child_count", "first_sound", "sound_count", "file_unit")))
    print("tree|" + " ".join(map(str, d["tree"])))
    for s in d["sounds"]:
        print("sound|" + "|".join(str(s[k]) for k in ("index", "folder", "name", "displayed",
                                                        "title")))
    for e in sorted((e["kind"], e["folder"], e["file"]) for e in d["play_order"]):
        print("play|%d|%d|%d" % e)
    print("messages|%d|problems|%d|notes|%d" % (d["messages"], len(d["problems"]),
                                                len(d["notes"])))


main()
