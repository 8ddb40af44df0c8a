#!/usr/bin/env python3
"""Checks the site folder (make site) as a static host serves it: every link
and picture within the folder that its pages name resolves, and the
downloads match their SHA-256 sums.  check_site.py SITE"""
import hashlib
import html.parser
import os
import sys
import urllib.parse

site = os.path.abspath(sys.argv[1])
faults, seen, pages = [], set(), [os.path.join(site, "index.html")]


class Links(html.parser.HTMLParser):
    def handle_starttag(self, tag, attrs):
        for value in (v for k, v in attrs if k in ("href", "src") and v):
            parts = urllib.parse.urlsplit(value)
            if parts.scheme or parts.netloc or not parts.path:
                continue  # another site, or a place on the same page
            path = os.path.normpath(os.path.join(os.path.dirname(page), parts.path))
            path = os.path.join(path, "index.html") if os.path.isdir(path) else path
            if not path.startswith(site + os.sep) or not os.path.isfile(path):
                faults.append("%s: %s does not resolve" % (os.path.relpath(page, site), value))
            elif path.endswith(".html"):
                pages.append(path)


while pages:
    page = pages.pop()
    if page not in seen:
        seen.add(page)
        Links().feed(open(page, encoding="utf-8").read())
for line in open(os.path.join(site, "download", "SHA256SUMS")):
    digest, name = line.split()
    with open(os.path.join(site, "download", name), "rb") as f:
        if hashlib.sha256(f.read()).hexdigest() != digest:
            faults.append("download/%s does not match its sum" % name)
print("%d pages crawled; %s" % (len(seen), "; ".join(faults) or "no faults"))
sys.exit(1 if faults or len(seen) < 3 else 0)
