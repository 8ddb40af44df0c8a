#!/usr/bin/env python3
"""Packs the browser build into a static site folder.

Every file the page loads after index.html gets a name that carries a hash of
its contents (files/NAME.HASH.EXT), so a browser never takes one build's file
for another's; index.html names them and carries the build's list of files
with their sizes, which the page needs for its progress. The page's script
is a tree of ES modules from page/main.js, each found by the imports of the
one before and named in them by its hashed name. knoll.js and
knoll.wasm also go gzip'd, for browsers that decompress them themselves (the
page then needs no server that compresses). sw.js, the service worker, gets
the build's name, its cache's and where index.html holds the list, which it
reads there (a first visit then fetches the list once). The list also
carries what the loader and the service worker share with this script: the
cache's name and its names' prefix, and how many hexadecimal digits of a
file's hash its name holds.

    pack.py --version V --build DIR --page DIR --site DIR
    pack.py --icon-sizes

--build holds knoll.js, knoll.wasm, images/*.webp, icon-SIZE.webp and
modules/, the page's modules beside the one the build writes
(knoll-boundary.js), as the browser loads them; --page the page's other
sources (web/). The new build is written beside the site folder and moved
into it only once whole, so that a visitor never finds the folder without a
build; the hashed files of the build it replaces stay for the pages still
loading that one, any older ones go. --icon-sizes prints the sizes of the
icons the manifest names, which the build makes.
"""

import argparse
import hashlib
import json
import os
import posixpath
import re
import shutil
import subprocess
import sys

# ------------------------------------------------------------ constants ----

HASH_CHARS = 12
ICON_SIZES = (192, 512)
CACHE_PREFIX = "knoll-"
# The page's own files, hashed and named in index.html, and the module its
# script starts from; the modules that one imports go with it.
PAGE_FILES = ("knoll-page.css", "knoll-loader.js")
PAGE_MODULE = "page/main.js"
# A static import's module specifier (from "./x.js", import "./x.js") in
# minified code, which holds no comments.
IMPORT = re.compile(rb'''(\b(?:from|import)\s*)(["'])(\.\.?/[^"']+)\2''')
# Every byte of the first visit counts: the scripts go to the site minified
# by terser (knoll.js, Emscripten's, with its local names shortened only),
# the style sheet without its comments and the white space around its
# punctuation (it holds no strings, and calc()'s "+" and "-" keep theirs),
# index.html without its indentation.
TERSER = ("terser", "--compress", "--mangle")
TERSER_CODE = ("terser", "--mangle")
TERSER_MODULE = TERSER + ("--module",)
CSS_COMPACTED = ((rb"(?s)/\*.*?\*/", b""), (rb"\s*([{};,>])\s*", rb"\1"), (rb":\s+", b":"),
                 (rb";}", b"}"), (rb"\s+", b" "))
# Where index.html holds the build's list, up to the next "</script>".
LIST_START = '<script id="knoll-build" type="application/json">'
# The files beside index.html, in the order a new build puts them in place:
# index.html only once the manifest it links is there, and sw.js after the
# index.html its install checks the build of.
TOP_FILES = ("manifest.webmanifest", "index.html", "sw.js", "version.txt")


# ------------------------------------------------------------ functions ----

def digest(data):
    return hashlib.sha256(data).hexdigest()


class Site:
    """A new build's folder being written, and the hashed files put into it."""

    def __init__(self, root):
        self.root = root
        shutil.rmtree(root, ignore_errors=True)
        os.makedirs(os.path.join(root, "files"))
        self.hashes = []
        self.urls = []

    def write(self, name, data):
        with open(os.path.join(self.root, name), "wb") as f:
            f.write(data)

    def put(self, name, data):
        """Writes data as files/STEM.HASH.EXT; returns its entry."""
        h = digest(data)
        stem, ext = name.split(".", 1)
        url = "files/%s.%s.%s" % (stem, h[:HASH_CHARS], ext)
        self.write(url, data)
        self.hashes.append(h)
        self.urls.append(url)
        return {"url": url, "size": len(data)}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def minified(data, command):
    """data run through terser; Debian's finds its modules through NODE_PATH."""
    env = dict(os.environ)
    env.setdefault("NODE_PATH", "/usr/share/nodejs")
    return subprocess.run(command, input=data, stdout=subprocess.PIPE, check=True,
                          env=env).stdout


def page_file(page, name):
    """A file of the page's sources, as the site has it."""
    data = read(os.path.join(page, name))
    if name.endswith(".js"):
        return minified(data, TERSER)
    for pattern, replacement in CSS_COMPACTED:
        data = re.sub(pattern, replacement, data)
    return data.strip()


def put_modules(site, page, name, urls, busy=()):
    """Puts module name (a path under page, the modules' folder) into the site
    after every module it imports, with its imports named by their hashed
    names; adds each to urls. The modules all go to files/, so their file
    names must differ."""
    if name in busy:
        raise SystemExit("pack.py: %s imports itself through %s" % (name, " -> ".join(busy)))
    if name in urls:
        return

    def hashed(match):
        target = posixpath.normpath(posixpath.join(posixpath.dirname(name),
                                                   match.group(3).decode()))
        put_modules(site, page, target, urls, busy + (name,))
        return match.group(1) + match.group(2) + b"./" + \
            posixpath.basename(urls[target]).encode() + match.group(2)

    code = IMPORT.sub(hashed, minified(read(os.path.join(page, name)), TERSER_MODULE))
    stem = "files/" + posixpath.basename(name).split(".")[0] + "."
    if any(url.startswith(stem) for url in urls.values()):
        raise SystemExit("pack.py: two files named %s" % posixpath.basename(name))
    urls[name] = site.put(posixpath.basename(name), code)["url"]


def packed(path):
    """The file at path gzip'd by zopfli, which packs some 4 % tighter than
    gzip -9 and, like it, gives the same bytes for the same input."""
    return subprocess.run(["zopfli", "--gzip", "-c", path], stdout=subprocess.PIPE,
                          check=True).stdout


def code_entry(site, name, data):
    """A code file and its gzip'd copy."""
    entry = site.put(name, data)
    entry["gzip"] = site.put(name + ".gz", packed(os.path.join(site.root, entry["url"])))
    return entry


def index_html(source, urls, build):
    """index.html naming the hashed files, with the build's list, the loader,
    the page's modules fetched at once and the web app manifest."""
    html = source
    for name, url in urls.items():
        html = html.replace('"%s"' % name, '"%s"' % url)
    # The loader fetches knoll.js itself (gzip'd where it can).
    html = re.sub(r'\s*<link rel="preload" href="knoll\.js"[^>]*>', "", html)
    html = html.replace("</head>", '<link rel="manifest" href="manifest.webmanifest">\n'
                        '<meta name="theme-color" content="#20242a">\n</head>', 1)
    listing = json.dumps(build, sort_keys=True, separators=(",", ":")).replace("</", "<\\/")
    page_script = '<script type="module" src="%s"></script>' % urls[PAGE_MODULE]
    if page_script not in html:
        raise SystemExit("pack.py: index.html does not load %s" % PAGE_MODULE)
    # Every module fetched at once, after the loader and the page's first
    # module, rather than each once the one that imports it has arrived:
    # the start-up would otherwise wait for the imports' depth of fetches.
    preloads = "".join('<link rel="modulepreload" href="%s">\n' % url for name, url in
                       sorted(urls.items()) if name not in PAGE_FILES + (PAGE_MODULE,))
    html = html.replace(page_script,
                        '%s%s</script>\n'
                        '<script src="%s"></script>\n%s\n%s'
                        % (LIST_START, listing, urls["knoll-loader.js"], page_script, preloads.rstrip("\n")))
    return re.sub(r"\n[ \t]+", "\n", html).encode()


def manifest(build):
    """The web app manifest: Knoll added to a home screen. Its addresses
    are relative to its own, beside index.html, so the page opens from the
    home screen wherever a site puts it (the published site: under play/)."""
    return json.dumps({
        "name": "Knoll",
        "short_name": "Knoll",
        "description": "A small real-time 3D terrain renderer",
        "start_url": "./",
        "scope": "./",
        "display": "standalone",
        "background_color": "#20242a",
        "theme_color": "#20242a",
        "icons": [{"src": build["icons"][str(s)]["url"], "sizes": "%dx%d" % (s, s),
                   "type": "image/webp", "purpose": "any"} for s in ICON_SIZES],
    }, indent=2).encode() + b"\n"


def staging(site):
    """The folder a build is written to before it goes into site: beside
    it, on the same file system, so that its files move in by renaming."""
    head, tail = os.path.split(os.path.abspath(site))
    return os.path.join(head, "." + tail + ".next")


def named_files(site):
    """The hashed files the index.html in folder site names (its build's
    list names them all), none where it has none."""
    try:
        return set(re.findall(r'files/[^"]+', read(os.path.join(site, "index.html")).decode()))
    except OSError:
        return set()


def deploy(staged, site):
    """Moves the whole build in staged into the folder site, each file by a
    rename, so that a server always finds one build there whole: the new
    hashed files first, then the files that name them (TOP_FILES)."""
    if not os.path.isdir(site):
        os.rename(staged.root, site)
        return
    kept = set(staged.urls) | named_files(site)
    os.makedirs(os.path.join(site, "files"), exist_ok=True)
    for url in staged.urls:
        os.replace(os.path.join(staged.root, url), os.path.join(site, url))
    for name in TOP_FILES:
        os.replace(os.path.join(staged.root, name), os.path.join(site, name))
    for name in os.listdir(os.path.join(site, "files")):
        if "files/" + name not in kept:
            os.remove(os.path.join(site, "files", name))
    shutil.rmtree(staged.root)


def main():
    if sys.argv[1:] == ["--icon-sizes"]:
        print(";".join(str(size) for size in ICON_SIZES))
        return
    parser = argparse.ArgumentParser()
    for option in ("--version", "--build", "--page", "--site"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    site = Site(staging(args.site))
    build = {"version": args.version, "images": {}, "icons": {}}
    build["js"] = code_entry(site, "knoll.js",
                             minified(read(os.path.join(args.build, "knoll.js")), TERSER_CODE))
    build["wasm"] = code_entry(site, "knoll.wasm", read(os.path.join(args.build, "knoll.wasm")))
    images = os.path.join(args.build, "images")
    for name in sorted(os.listdir(images)):
        stem = name[:-len(".webp")]
        # Named as Knoll names the asset, whose file is that name's
        # "_png" as ".png".
        build["images"][stem + "_png"] = site.put(name, read(os.path.join(images, name)))
    for size in ICON_SIZES:
        build["icons"][str(size)] = site.put("icon-%d.webp" % size,
                                            read(os.path.join(args.build, "icon-%d.webp" % size)))
    urls = {name: site.put(name, page_file(args.page, name))["url"] for name in PAGE_FILES}
    put_modules(site, os.path.join(args.build, "modules"), PAGE_MODULE, urls)
    build["page"] = sorted(urls.values())
    # The build's name: a hash of every file's, so that any change of any
    # file makes another build.
    build["id"] = digest("".join(sorted(site.hashes)).encode())[:HASH_CHARS]
    build["cache"] = CACHE_PREFIX + build["id"]
    build["cachePrefix"] = CACHE_PREFIX
    build["hashChars"] = HASH_CHARS
    site.write("index.html", index_html(read(os.path.join(args.page, "index.html")).decode(),
                                        urls, build))
    site.write("manifest.webmanifest", manifest(build))
    worker = {key: build[key] for key in ("id", "cache", "cachePrefix")}
    worker["listStart"] = LIST_START
    listing = json.dumps(worker, sort_keys=True, separators=(",", ":"))
    site.write("sw.js", ("const BUILD = %s;\n" % listing).encode() + page_file(args.page, "sw.js"))
    site.write("version.txt", ("%s %s\n" % (args.version, build["id"])).encode())
    deploy(site, args.site)


if __name__ == "__main__":
    main()
