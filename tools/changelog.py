#!/usr/bin/env python3
"""CHANGELOG.md, the one place a version's changes are written, turned into
what each kind of release needs.

  changelog.py version CHANGELOG.md
      the program's version: the first version heading's
  changelog.py debian CHANGELOG.md PACKAGE MAINTAINER OUTPUT
      the Debian changelog of a native package: one entry per version,
      newest first, dated at noon UTC of the heading's date
  changelog.py notes CHANGELOG.md VERSION OUTPUT
      that version's section, as the start of its release notes, followed
      by what stands under [Unreleased], if anything does: files built from
      this tree contain those changes too
  changelog.py pending CHANGELOG.md
      the entries under [Unreleased], "Kind: item" a line; none when the
      first version heading covers everything the tree holds

The form is Keep a Changelog's: "## [Unreleased]", then "## [X.Y.Z] -
YYYY-MM-DD" headings, each with "### Added", "### Changed", ... and "- "
items that may go on over indented lines. Anything else is refused with the
line it stands on, so a release never carries a changelog read wrongly.
"""

import datetime
import re
import sys
import textwrap

HEADING = re.compile(r"^## \[(?P<version>[0-9]+\.[0-9]+(?:\.[0-9]+)?)\] - "
                     r"(?P<date>[0-9]{4}-[0-9]{2}-[0-9]{2})$")
KINDS = ("Added", "Changed", "Deprecated", "Removed", "Fixed", "Security")


class ChangelogError(Exception):
    pass


def parse(text, name="CHANGELOG.md"):
    """The released versions, newest first: a list of dicts with version,
    date (datetime.date) and sections, a list of (kind, [item, ...])."""
    return read(text, name)[1]


def read(text, name="CHANGELOG.md"):
    """(unreleased, versions): the sections under [Unreleased], as a list of
    (kind, [item, ...]), and the released versions as parse() gives them."""
    versions = []
    unreleased = {"sections": []}
    current = None
    kind = None
    seen_unreleased = False
    for number, line in enumerate(text.splitlines(), 1):
        where = f"{name}:{number}"
        if line.startswith("## "):
            kind = None
            if line == "## [Unreleased]":
                if versions or seen_unreleased:
                    raise ChangelogError(f"{where}: [Unreleased] must come once, first")
                seen_unreleased = True
                current = unreleased
                continue
            match = HEADING.match(line)
            if not match:
                raise ChangelogError(f"{where}: not a heading '## [X.Y.Z] - YYYY-MM-DD': {line}")
            try:
                date = datetime.date.fromisoformat(match["date"])
            except ValueError as error:
                raise ChangelogError(f"{where}: {error}") from None
            if versions and date > versions[-1]["date"]:
                raise ChangelogError(f"{where}: {match['version']} is dated after the version above it")
            if any(v["version"] == match["version"] for v in versions):
                raise ChangelogError(f"{where}: {match['version']} comes twice")
            current = {"version": match["version"], "date": date, "sections": []}
            versions.append(current)
        elif line.startswith("### "):
            kind = line[4:].strip()
            if kind not in KINDS:
                raise ChangelogError(f"{where}: '{kind}' is none of {', '.join(KINDS)}")
            if current is not None:
                current["sections"].append((kind, []))
        elif line.startswith("- "):
            if kind is None:
                raise ChangelogError(f"{where}: an item outside a '### ' section")
            if current is not None:
                current["sections"][-1][1].append(line[2:].strip())
        elif line.startswith("  ") and line.strip():
            if current is not None:
                items = current["sections"][-1][1] if current["sections"] else []
                if not items:
                    raise ChangelogError(f"{where}: an indented line that follows no item")
                items[-1] += " " + line.strip()
        elif line.strip() and current is not None:
            raise ChangelogError(f"{where}: text that is no heading or item: {line}")
    if not versions:
        raise ChangelogError(f"{name}: no version heading '## [X.Y.Z] - YYYY-MM-DD'")
    for version in versions:
        if not any(items for _, items in version["sections"]):
            raise ChangelogError(f"{name}: {version['version']} lists no change")
    return [section for section in unreleased["sections"] if section[1]], versions


def plain(item):
    """An item without Markdown's code marks and link targets."""
    item = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", item)
    return item.replace("`", "")


def debian(versions, package, maintainer):
    entries = []
    for version in versions:
        lines = [f"{package} ({version['version']}) unstable; urgency=medium", ""]
        for kind, items in version["sections"]:
            for item in items:
                lines += textwrap.wrap(f"{kind}: {plain(item)}", width=76,
                                       initial_indent="  * ", subsequent_indent="    ",
                                       break_on_hyphens=False)
        noon = datetime.datetime.combine(version["date"], datetime.time(12),
                                         tzinfo=datetime.timezone.utc)
        stamp = noon.strftime("%a, %d %b %Y %H:%M:%S +0000")
        lines += ["", f" -- {maintainer}  {stamp}"]
        entries.append("\n".join(lines) + "\n")
    return "\n".join(entries)


def notes(versions, wanted, unreleased=()):
    for version in versions:
        if version["version"] == wanted:
            out = [f"# Velmoro Downloader {wanted}", "", f"Released {version['date'].isoformat()}."]
            for kind, items in version["sections"]:
                if items:
                    out += ["", f"## {kind}", ""]
                    out += [f"- {item}" for item in items]
            # The files carry these too: notes that left them out would say
            # less than the files do.
            if unreleased and version is versions[0]:
                out += ["", "## Not in a release yet", "",
                        f"Built from a tree with changes made after {wanted}, which the next",
                        "version will list; these files have them too:"]
                for kind, items in unreleased:
                    out += ["", f"### {kind}", ""]
                    out += [f"- {item}" for item in items]
            return "\n".join(out) + "\n"
    raise ChangelogError(f"CHANGELOG.md has no version {wanted}")


def pending(unreleased):
    return "".join(f"{kind}: {plain(item)}\n" for kind, items in unreleased for item in items)


def main(argv):
    if len(argv) < 3 or argv[1] not in ("version", "debian", "notes", "pending"):
        sys.stderr.write(__doc__)
        return 2
    try:
        with open(argv[2], encoding="utf-8") as source:
            unreleased, versions = read(source.read(), argv[2])
        if argv[1] == "version" and len(argv) == 3:
            print(versions[0]["version"])
            return 0
        if argv[1] == "pending" and len(argv) == 3:
            sys.stdout.write(pending(unreleased))
            return 0
        if argv[1] == "debian" and len(argv) == 6:
            text = debian(versions, argv[3], argv[4])
        elif argv[1] == "notes" and len(argv) == 5:
            text = notes(versions, argv[3], unreleased)
        else:
            sys.stderr.write(__doc__)
            return 2
    except (OSError, ChangelogError) as error:
        print(f"changelog.py: {error}", file=sys.stderr)
        return 1
    with open(argv[-1], "w", encoding="utf-8", newline="\n") as out:
        out.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
