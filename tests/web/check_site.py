#!/usr/bin/env python3
"""Checks the site folder (make site) as a static host serves it and as a
visitor meets it: every link and picture within the folder that any of its
pages names resolves; the home page links to the licence, the source, the
changelog and a bug report, and the page and the docs link back to it; a
web app manifest's start_url and scope, read against the manifest's own
address, hold the page that names it (Knoll added to a home screen opens
that page); the downloads match their SHA-256 sums.  check_site.py SITE"""
import collections
import hashlib
import html.parser
import json
import os
import re
import sys
import urllib.parse

# What the home page links to, by the linked file's path in the site or
# another site's address.
HOME_LINKS = {"the licence": r"licence\.txt", "the source": r"download/knoll-.*\.tar\.gz",
              "the changelog": r"changelog\.html", "a bug report": r"mailto:.+@.+"}
LEADING_HOME = ("play/index.html", "docs/frame.html")

site = os.path.abspath(sys.argv[1])
faults, named, manifests = [], collections.defaultdict(set), {}
pages = [os.path.join(d, f) for d, _, files in os.walk(site) for f in files if f.endswith(".html")]


class Links(html.parser.HTMLParser):
    def handle_starttag(self, tag, attrs):
        for value in (v for k, v in attrs if k in ("href", "src") and v):
            parts = urllib.parse.urlsplit(value)
            if parts.scheme or parts.netloc or not parts.path:
                named[os.path.relpath(page, site)].add(value)
                continue  # another site, or a place on the same page
            path = os.path.normpath(os.path.join(os.path.dirname(page), parts.path))
            path = os.path.join(path, "index.html") if os.path.isdir(path) else path
            if not path.startswith(site + os.sep) or not os.path.isfile(path):
                faults.append("%s: %s does not resolve" % (os.path.relpath(page, site), value))
            else:
                named[os.path.relpath(page, site)].add(os.path.relpath(path, site))
                if tag == "link" and ("rel", "manifest") in attrs:
                    manifests[page] = path


for page in pages:
    Links().feed(open(page, encoding="utf-8").read())
for what, pattern in HOME_LINKS.items():
    if not any(re.fullmatch(pattern, value) for value in named["index.html"]):
        faults.append("index.html: no link to %s" % what)
faults += ["%s: no link to the home page" % p for p in LEADING_HOME if "index.html" not in named[p]]
for page, path in manifests.items():
    fields, base = json.load(open(path)), "file://" + path
    start = urllib.parse.urljoin(base, fields["start_url"])
    scope = urllib.parse.urljoin(base, fields["scope"])
    if start not in ("file://" + os.path.dirname(page) + "/", "file://" + page) \
            or not start.startswith(scope):
        faults.append("%s: start_url %s in scope %s, not %s" % (
            os.path.relpath(path, site), start, scope, os.path.relpath(page, site)))
for line in open(os.path.join(site, "download", "SHA256SUMS")):
    digest, name = line.split()
    with open(os.path.join(site, "download", name), "rb") as f:
        if hashlib.sha256(f.read()).hexdigest() != digest:
            faults.append("download/%s does not match its sum" % name)
print("%d pages checked; %s" % (len(pages), "; ".join(faults) or "no faults"))
sys.exit(1 if faults or len(pages) < 3 else 0)
