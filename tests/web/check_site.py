#!/usr/bin/env python3
"""Checks the site folder (make site) as a static host serves it and as a
visitor meets it: every link and picture on every page resolves to a file
within the folder; the home page carries the licence, the source, the
changelog and a way to report a bug, and the pages below link back to it;
Knoll added to a phone's home screen opens the page that offered it; the
downloads match their SHA-256 sums.  check_site.py SITE"""
import hashlib
import html.parser
import json
import os
import posixpath
import re
import sys
import urllib.parse

# ------------------------------------------------------------ constants ----

# What the home page links to, each by a pattern of its address (a file's
# path in the site, or another site's address).
HOME_LINKS = (("the licence", r"licence\.txt"), ("the source", r"download/knoll-.*\.tar\.gz"),
              ("the changelog", r"changelog\.html"), ("a way to report a bug", r"mailto:.+@.+"))
# The pages a visitor may arrive at other than the home page, which lead to it.
LEADING_HOME = ("play/index.html", "docs/frame.html")
# Where the site is served, to resolve addresses as a browser does.
ORIGIN = "https://site.test/"

# ---------------------------------------------------------------- types ----


class Links(html.parser.HTMLParser):
    """The addresses one page names (href and src), and its web app
    manifest's."""

    def __init__(self):
        super().__init__()
        self.values, self.manifests = [], []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.values += [attrs[k] for k in ("href", "src") if attrs.get(k)]
        if tag == "link" and attrs.get("rel") == "manifest":
            self.manifests.append(attrs["href"])


# ------------------------------------------------------------ functions ----

def target(site, page, value):
    """The file of the site that address value on page (a path under site)
    leads to, as a static host serves it (a folder by its index.html); None
    when it leads out of the site or to no file, "" to another site or a
    place on the same page."""
    parts = urllib.parse.urlsplit(value)
    if parts.scheme or parts.netloc or not parts.path:
        return ""
    path = posixpath.normpath(posixpath.join(posixpath.dirname(page), parts.path))
    if path == ".." or path.startswith("../"):
        return None
    if os.path.isdir(os.path.join(site, path)):
        path = posixpath.normpath(posixpath.join(path, "index.html"))
    return path if os.path.isfile(os.path.join(site, path)) else None


def site_pages(site):
    """Every HTML page of the site, by its path under site."""
    return sorted(os.path.relpath(os.path.join(d, f), site).replace(os.sep, "/")
                  for d, _, files in os.walk(site) for f in files if f.endswith(".html"))


def check_links(site, page, links, faults):
    """Every address page names resolves within the site."""
    for value in links.values:
        if target(site, page, value) is None:
            faults.append("%s: %s does not resolve" % (page, value))


def check_home(site, pages, faults):
    """The home page's links a visitor looks for, and the links home."""
    named = [target(site, "index.html", v) or v for v in pages["index.html"].values]
    for what, pattern in HOME_LINKS:
        if not any(re.fullmatch(pattern, value) for value in named):
            faults.append("index.html: no link to %s" % what)
    for page in LEADING_HOME:
        if not any(target(site, page, v) == "index.html" for v in pages[page].values):
            faults.append("%s: no link to the home page" % page)


def check_manifests(site, pages, faults):
    """Each manifest's start_url and scope, resolved against the manifest's
    own address, hold the page that names it: Knoll on a home screen opens
    that page."""
    for page, links in pages.items():
        for value in links.manifests:
            manifest = target(site, page, value)
            if not manifest:
                continue  # a fault of check_links
            with open(os.path.join(site, manifest), encoding="utf-8") as f:
                fields = json.load(f)
            start = target(site, manifest, fields.get("start_url", ""))
            scope = urllib.parse.urljoin(ORIGIN + manifest, fields.get("scope", "."))
            if start != page:
                faults.append("%s: start_url opens %s, not %s" % (manifest, start or "no page of the site", page))
            if not (ORIGIN + page).startswith(scope):
                faults.append("%s: scope %s leaves out %s" % (manifest, scope, page))


def check_sums(site, faults):
    """The downloads match their SHA-256 sums."""
    folder = os.path.join(site, "download")
    for line in open(os.path.join(folder, "SHA256SUMS")):
        digest, name = line.split()
        with open(os.path.join(folder, name), "rb") as f:
            if hashlib.sha256(f.read()).hexdigest() != digest:
                faults.append("download/%s does not match its sum" % name)


def main():
    site = os.path.abspath(sys.argv[1])
    faults, pages = [], {}
    for page in site_pages(site):
        pages[page] = Links()
        with open(os.path.join(site, page), encoding="utf-8") as f:
            pages[page].feed(f.read())
        check_links(site, page, pages[page], faults)
    missing = [p for p in ("index.html",) + LEADING_HOME if p not in pages]
    faults += ["%s is missing" % p for p in missing]
    if not missing:
        check_home(site, pages, faults)
    check_manifests(site, pages, faults)
    check_sums(site, faults)
    print("%d pages checked; %s" % (len(pages), "; ".join(faults) or "no faults"))
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
