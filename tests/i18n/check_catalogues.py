#!/usr/bin/env python3
"""Fails when a shipped catalogue is behind the sources or unfinished.

Runs lupdate over the client's sources into copies of the catalogues and reads the copies: every
marked text must be there with a finished translation that keeps the source's placeholders, and
no text may be left over from sources that no longer have it.

Usage: check_catalogues.py LUPDATE SOURCE_DIR CATALOGUE...
"""
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from pathlib import Path

PLACEHOLDER = re.compile(r"%(?:n|L?[1-9][0-9]?)")


def messages(path):
    """(context, source, comment) -> the message element, for every message of a catalogue."""
    found = {}
    for context in ET.parse(path).getroot().iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            key = (name, message.findtext("source"), message.findtext("comment") or "")
            found[key] = message
    return found


def placeholders(text):
    return sorted(set(PLACEHOLDER.findall(text.replace("%L", "%"))))


def problems(catalogue, fresh):
    shipped = messages(catalogue)
    current = messages(fresh)
    for key in sorted(set(shipped) - set(current)):
        yield "no longer in the sources: %s %r" % (key[0], key[1])
    for key, message in sorted(current.items()):
        context, source, _ = key
        translation = message.find("translation")
        kind = translation.get("type", "")
        forms = [form.text or "" for form in translation.iter("numerusform")]
        texts = forms if message.get("numerus") == "yes" else [translation.text or ""]
        if key not in shipped:
            yield "missing: %s %r" % (context, source)
        elif kind in ("unfinished", "vanished", "obsolete") or not all(t.strip() for t in texts):
            yield "unfinished: %s %r" % (context, source)
        else:
            wanted = placeholders(source)
            for text in texts:
                # A plural form may say "one" in words instead of %n.
                have = placeholders(text)
                if have != wanted and not (set(wanted) - set(have) <= {"%n"} and len(forms) > 1):
                    yield "placeholders %s instead of %s: %s %r -> %r" % (
                        have, wanted, context, source, text)


def main():
    lupdate, sources, *catalogues = sys.argv[1:]
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        for catalogue in map(Path, catalogues):
            fresh = Path(scratch) / catalogue.name
            shutil.copyfile(catalogue, fresh)
            subprocess.run([lupdate, "-locations", "none", "-no-obsolete", "-silent", "-I",
                            sources, sources, "-ts", str(fresh)], check=True)
            found = list(problems(catalogue, fresh))
            for problem in found:
                print("%s: %s" % (catalogue.name, problem))
            print("%s: %d texts, %d problems" % (catalogue.name, len(messages(fresh)), len(found)))
            failures += len(found)
    if failures:
        print("Mark the texts, run `ninja update_translations` and translate what it leaves "
              "unfinished.")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
