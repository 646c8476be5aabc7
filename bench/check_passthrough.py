#!/usr/bin/env python3
"""Checks that page i of a PDF shows source file i byte for byte as its image stream.

usage: check_passthrough.py PDF SCRATCH_DIR SOURCE...

qpdf writes every stream's raw (undecoded) data to SCRATCH_DIR; the single image of each page
must equal the bytes of the source file for that page. Prints one line per mismatch and exits
with 1 when there is any, 0 otherwise.
"""
import hashlib
import json
import os
import subprocess
import sys


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    if len(sys.argv) < 4:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    pdf, scratch, sources = sys.argv[1], sys.argv[2], sys.argv[3:]
    os.makedirs(scratch, exist_ok=True)
    prefix = os.path.join(scratch, "stream")
    listing = subprocess.run(
        ["qpdf", "--json=2", "--json-key=pages", "--json-key=qpdf", "--json-stream-data=file",
         "--json-stream-prefix=" + prefix, "--decode-level=none", pdf],
        check=True, capture_output=True).stdout
    data = json.loads(listing)
    objects = data["qpdf"][1]
    pages = data["pages"]
    problems = []
    if len(pages) != len(sources):
        problems.append(f"{len(pages)} pages for {len(sources)} sources")
    for number, (page, source) in enumerate(zip(pages, sources), start=1):
        images = page.get("images", [])
        if len(images) != 1:
            problems.append(f"page {number}: {len(images)} images")
            continue
        stream = objects.get("obj:" + images[0]["object"], {}).get("stream", {})
        datafile = stream.get("datafile")
        if not datafile or digest(datafile) != digest(source):
            problems.append(f"page {number}: image differs from {source}")
    for problem in problems[:10]:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
