#!/usr/bin/env python3
"""Checks a ReaPack index of the extension: the structure ReaPack reads, known platform
names, installed file names REAPER loads (reaper_...), download URLs, and, given the
release folder, that every source names a file in it whose SHA-256 matches its hash.

    check-reapack-index.py INDEX [DIST]

Prints one line per problem; exit status 1 when there is any.
"""
import hashlib
import os
import re
import sys
import urllib.parse
import xml.etree.ElementTree as ElementTree
from datetime import datetime

PLATFORMS = {"all", "windows", "win32", "win64", "windows-arm64ec", "darwin", "darwin32",
             "darwin64", "darwin-arm64", "linux", "linux32", "linux64", "linux-armv7l",
             "linux-aarch64"}
TYPES = {"script", "extension", "effect", "data", "theme", "langpack", "webinterface",
         "projecttpl", "tracktpl", "midinotenames", "autoitem"}


def problems(index_path, dist):
    try:
        root = ElementTree.parse(index_path).getroot()
    except (ElementTree.ParseError, OSError) as error:
        yield f"not readable as XML: {error}"
        return
    if root.tag != "index" or root.get("version") != "1" or not root.get("name"):
        yield "the root must be <index version=\"1\" name=\"...\">"
    packages = [(c, p) for c in root.findall("category") for p in c.findall("reapack")]
    if not packages:
        yield "no <category> holding a <reapack>"
    for category, package in packages:
        name, kind = package.get("name", ""), package.get("type", "")
        if not category.get("name"):
            yield "a <category> without a name"
        if kind not in TYPES:
            yield f"{name}: unknown type '{kind}'"
        if kind == "extension" and not name.endswith(".ext"):
            yield f"{name}: an extension package's name ends with .ext"
        if not package.get("desc"):
            yield f"{name}: no desc"
        metadata = package.find("metadata")
        if metadata is None or metadata.find("description") is None:
            yield f"{name}: no <metadata> with a <description>"
        elif not any(link.get("rel") == "website" for link in metadata.findall("link")):
            yield f"{name}: no website <link>"
        versions = package.findall("version")
        if not versions:
            yield f"{name}: no <version>"
        for version in versions:
            yield from version_problems(name, kind, version, dist)


def version_problems(name, kind, version, dist):
    label = f"{name} {version.get('name')}"
    if not re.fullmatch(r"\d+(\.\d+)*", version.get("name", "")):
        yield f"{label}: the version name must be numbers and dots"
    if not version.get("author"):
        yield f"{label}: no author"
    try:
        datetime.fromisoformat(version.get("time", "").replace("Z", "+00:00"))
    except ValueError:
        yield f"{label}: time '{version.get('time')}' is not ISO 8601"
    sources = version.findall("source")
    if not sources:
        yield f"{label}: no <source>"
    platforms = [source.get("platform", "all") for source in sources]
    for platform in sorted({p for p in platforms if platforms.count(p) > 1}):
        yield f"{label}: two sources for {platform}"
    for source in sources:
        platform, url = source.get("platform", "all"), (source.text or "").strip()
        if platform not in PLATFORMS:
            yield f"{label}: unknown platform '{platform}'"
        installed = os.path.basename(source.get("file", ""))
        if kind == "extension" and not installed.startswith("reaper_"):
            yield f"{label}: {platform} installs '{installed}'; REAPER loads only reaper_* files"
        parsed = urllib.parse.urlparse(url)
        if parsed.scheme not in ("http", "https") or not parsed.netloc:
            yield f"{label}: {platform}: '{url}' is not an http(s) URL"
        if dist is not None:
            yield from file_problems(label, platform, source.get("hash"), url, dist)


def file_problems(label, platform, multihash, url, dist):
    path = os.path.join(dist, urllib.parse.unquote(os.path.basename(urllib.parse.urlparse(url).path)))
    if not os.path.isfile(path):
        yield f"{label}: {platform}: {os.path.basename(path)} is not in {dist}"
        return
    with open(path, "rb") as content:
        digest = hashlib.sha256(content.read()).hexdigest()
    if multihash != "1220" + digest:
        yield f"{label}: {platform}: hash {multihash} does not match {os.path.basename(path)}"


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    found = list(problems(sys.argv[1], sys.argv[2] if len(sys.argv) == 3 else None))
    for problem in found:
        print(problem)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
