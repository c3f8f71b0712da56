#!/usr/bin/env python3
"""Fails when a file the program ships with names a web or report address outside loopback.

Usage: check_shipped_addresses.py FILE_OR_FOLDER...  Every URL's host, and every dotted IPv4
address, must be 127.x.x.x or localhost."""
import os
import re
import sys

URL = re.compile(r"[A-Za-z][A-Za-z0-9+.-]*://([^/\s:?#*\"'<>]*)")
IPV4 = re.compile(r"(?<![\d.])(\d{1,3})\.\d{1,3}\.\d{1,3}\.\d{1,3}(?![\d.])")


def texts(path):
    if os.path.isdir(path):
        for root, _, names in os.walk(path):
            for name in sorted(names):
                yield os.path.join(root, name)
    else:
        yield path


def decode(raw):
    if raw.startswith(b"\xff\xfe") or raw.startswith(b"\xfe\xff"):
        return raw.decode("utf-16", "replace")
    return raw.decode("utf-8", "replace")


def main(args):
    bad = []
    seen = 0
    for arg in args:
        for path in texts(arg):
            with open(path, "rb") as f:
                text = decode(f.read())
            seen += 1
            for n, line in enumerate(text.splitlines(), 1):
                for host in URL.findall(line):
                    if host and host != "localhost" and not host.startswith("127."):
                        bad.append(f"{path}:{n}: {line.strip()}")
                for first in IPV4.findall(line):
                    if first != "127":
                        bad.append(f"{path}:{n}: {line.strip()}")
    print(f"{seen} files checked")
    for b in bad:
        print("not loopback:", b)
    return 1 if bad or seen == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
