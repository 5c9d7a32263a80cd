#!/usr/bin/python3
"""Loopback stand-ins for the program's outside services.

One HTTP server answers the five search engines' request paths from a catalogue
of FTP URLs, serves copies of four public mirror lists naming the FTP sites
below, the notice page and the usage counter, and logs query reports. Real
FTP sites (pyftpdlib) serve a generated tree on several loopback addresses,
one of them a deep site to crawl. The [Hosts] section of the settings file is
rewritten to point at all of it; other sections of the file are kept.
"""

import argparse
import errno
import html
import json
import logging
import os
import random
import shutil
import signal
import socket
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import FTPServer

# Listing dates older than six months carry a year; the program's listing parser
# needs file sizes above the day of the month, which the sizes below always are.
TREE_MTIME = time.mktime((2024, 3, 5, 12, 0, 0, 0, 0, -1))

# (address, anonymous permissions, {folder: kind of content}). Sites on distinct
# addresses so that their URLs differ within the first 16 characters and are
# explored side by side. Permissions without "r" make every RETR fail with 550.
SITES = [
    ("127.0.0.2", "elr", {
        "pub/music": "music", "pub/players": "players", "pub/linux": "linux",
        "pub/docs": "docs"}),
    ("127.0.0.3", "elr", {
        "mirror/games": "games", "mirror/music": "music", "mirror/old music": "music",
        "mirror/video": "video", "mirror/mp3-uploads": None}),
    ("127.0.0.4", "el", {
        "pub/music": "music", "pub/tools": "tools"}),
    ("127.0.0.5", "elr", {
        "mp3-archive/2019": "players", "pub/software": "tools", "pub/video": "video"}),
    ("127.0.0.6", "elr", {
        "files/players": "players", "files/music": "music", "files/drivers": "linux"}),
]

# Folders that hold nothing but one sub-folder; the catalogue names the parent,
# which the program replaces by the sub-folder.
SINGLE_PARENTS = [("127.0.0.5", "mp3-archive")]

# A named account: URLs with a user and password log in with them.
PRIVATE_SITE = ("127.0.0.6", "zevo", "zevo2000", "private/players", "players")

# Folders named in the catalogue that no server has, so their sites fail.
MISSING = [
    ("127.0.0.3", "lost/music", ["mp3-collection-part1.zip", "track-07.mp3"]),
    ("127.0.0.6", "removed/players", ["mp3-player-0.9.zip"]),
]

# A site to crawl whole: hundreds of folders several levels deep, one folder of
# 20,000 files, and the traps a crawl must get past: a link back to the site's
# top, pub/pub/pub/... nested for real, and a folder every listing of which is
# refused with 550. The catalogue names only its top file, so that a search
# for mp3 or zevo shows the site and its menu can crawl it.
DEEP_SITE = "127.0.0.7"
DEEP_LEVELS = ("volume", "disc", "part")  # pub/archive/volume-N/disc-N/part-N/
DEEP_FANOUT = 8
DEEP_LEAF_FILES = ["zevo-track-{n:02d}.mp3", "cover-{n:02d}.jpg", "notes-{n:02d}.txt"]
DEEP_HUGE = ("pub/huge", 20000)
DEEP_PUB_NEST = 5  # pub/pub/pub/pub/pub, the top one included
DEEP_PUB_FILE = "pub-level-{n}.txt"
DEEP_LOOP = ("pub/loop", "..")
DEEP_REFUSED = "pub/private"
DEEP_TOP_FILE = "pub/zevo-mp3-mirror-index.txt"
DEEP_SIZES = 37  # distinct file sizes
# Beside the sites' folders: the files the deep site's names link to, and the
# layout it was written with.
DEEP_POOL = "deep-site-files"
DEEP_STAMP = "deep-site-layout"
DEEP_KEPT = (DEEP_SITE, DEEP_POOL, DEEP_STAMP)

WORDS = {
    "music": ["zevo-live-track-{n:02d}.mp3", "ambient-mix-{n:02d}.mp3", "mp3-sampler-{n}.zip",
              "chiptune-{n:02d}.ogg", "caf\u00e9-session-{n:02d}.mp3"],
    "players": ["mp3-player-1.{n}.zip", "mp3-player-1.{n}.tar.gz", "zevo-player-{n}.0.zip",
                "video-player-2.{n}.tar.gz", "mp3 player manual {n}.txt"],
    "linux": ["kernel-patch-2.6.{n}.gz", "mp3-codec-0.{n}.tar.gz", "driver-pack-{n}.zip",
              "readme-{n}.txt"],
    "docs": ["manual-{n}.pdf", "faq-{n}.txt", "zevo-guide-{n}.html"],
    "games": ["game-{n:02d}.zip", "zevo-quest-{n}.zip", "patch-{n}.exe"],
    "video": ["clip-{n:03d}.avi", "trailer-{n:02d}.mpg", "video-player-codec-{n}.zip"],
    "tools": ["mp3-tagger-{n}.zip", "unpacker-{n}.zip", "zevo-tools-{n}.tar.gz"],
}

# Engine paths, page sizes and first page values, in the program's table order.
ENGINES = {
    "/s/s": ("skip", 0, 20),
    "/cgi-bin/s": ("f", 1, 50),
    "/s.php3": ("X", 0, 20),
    "/swadv/AdvResults.asp": ("offset", 0, 15),
    "/ls": ("a", 1, 20),
}
ENGINE_ORDER = list(ENGINES)
TERM_KEY = {"/swadv/AdvResults.asp": "query", "/ls": "pattern"}

# Copies of the public mirror lists in their own formats, served where the
# program's testbed site lists ask for them. Their ftp:// URLs name the sites
# above on LIST_PORT, which becomes the port the sites got.
MIRROR_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "mirrors")
MIRROR_LISTS = {
    "/mirrors/gentoo/distfiles.xml": ("gentoo-distfiles.xml", "application/xml"),
    "/mirrors/slackware/mirrors": ("slackware-mirrors", "text/plain"),
    "/mirrors/gnu/ftp.html": ("gnu-ftp.html", "text/html"),
    "/mirrors/ctan/mirrors.html": ("ctan-mirrors.html", "text/html"),
}
SITE_LIST_NAMES = ("TestbedGentooMirrors", "TestbedSlackwareMirrors", "TestbedGnuMirrors",
                   "TestbedCtanMirrors")
LIST_PORT = 2121

COUNTER_PATH = "/stats/connexions/vazoror/nbr_connectes.php3"
REPORT_PATH = "/addtop10.php3"


def build_tree(root, ftp_port):
    """Writes the sites' files. Returns the catalogue of (url, is_folder) and the
    status each folder's exploration should end with, by folder URL."""
    rng = random.Random(2000)
    # The deep site is kept from the last run when its layout is the same.
    kept = set(DEEP_KEPT)
    if os.path.isdir(root):
        for name in os.listdir(root):
            if name not in kept:
                path = os.path.join(root, name)
                if os.path.isdir(path) and not os.path.islink(path):
                    shutil.rmtree(path, ignore_errors=True)
                else:
                    os.remove(path)
    catalogue = []
    expect = {}
    folders = [(addr, perm, None, folder, kind)
               for addr, perm, content in SITES for folder, kind in content.items()]
    addr, user, password, folder, kind = PRIVATE_SITE
    folders.append((addr, "elr", (user, password), folder, kind))
    for addr, parent in SINGLE_PARENTS:
        url = "ftp://%s:%d/%s/" % (addr, ftp_port, parent)
        catalogue.append((url, True))
        expect[url] = "Replaced"
    for addr, perm, login, folder, kind in folders:
        base = os.path.join(root, addr, *folder.split("/"))
        os.makedirs(base, exist_ok=True)
        prefix = "ftp://%s%s:%d/" % ("%s:%s@" % login if login else "", addr, ftp_port)
        catalogue.append((prefix + folder + "/", True))
        if kind is None:
            expect[prefix + folder + "/"] = "Failed"  # its listing names nothing
            continue
        expect[prefix + folder + "/"] = "Ok" if "r" in perm else "Refused"
        patterns = WORDS[kind]
        for n in range(1, rng.randint(12, 20)):
            name = patterns[rng.randrange(len(patterns))].format(n=n)
            path = os.path.join(base, name)
            if os.path.exists(path):
                continue
            with open(path, "wb") as f:
                f.truncate(rng.randint(2048, 40 * 1024 * 1024))  # sparse
            os.utime(path, (TREE_MTIME, TREE_MTIME))
            catalogue.append((prefix + folder + "/" + name, False))
    for addr, _perm, _content in SITES:
        for dirpath, _dirs, _files in os.walk(os.path.join(root, addr)):
            os.utime(dirpath, (TREE_MTIME, TREE_MTIME))
    for addr, folder, names in MISSING:
        prefix = "ftp://%s:%d/%s/" % (addr, ftp_port, folder)
        catalogue.extend((prefix + name, False) for name in names)
        expect[prefix] = "Failed"
    deep_catalogue, deep_expect = build_deep_site(root, ftp_port)
    catalogue.extend(deep_catalogue)
    expect.update(deep_expect)
    return catalogue, expect


def build_deep_site(root, ftp_port):
    """Writes the deep site under root, unless the last run left it there as it
    should be. Returns its catalogue and expectations, as build_tree does."""
    site = os.path.join(root, DEEP_SITE)
    stamp = os.path.join(root, DEEP_STAMP)
    layout = repr((DEEP_LEVELS, DEEP_FANOUT, DEEP_LEAF_FILES, DEEP_HUGE, DEEP_PUB_NEST,
                   DEEP_PUB_FILE, DEEP_LOOP, DEEP_REFUSED, DEEP_TOP_FILE, DEEP_SIZES, TREE_MTIME))
    prefix = "ftp://%s:%d/" % (DEEP_SITE, ftp_port)
    catalogue = [(prefix + DEEP_TOP_FILE, False)]
    expect = {prefix + DEEP_TOP_FILE.rsplit("/", 1)[0] + "/": "Ok"}
    try:
        with open(stamp, encoding="utf-8") as f:
            if f.read() == layout and os.path.isdir(site):
                return catalogue, expect
    except OSError:
        pass
    pool = os.path.join(root, DEEP_POOL)
    for path in (stamp, site, pool):
        if os.path.isdir(path):
            shutil.rmtree(path, ignore_errors=True)
        elif os.path.lexists(path):
            os.remove(path)
    # Every file is a link to one of a few sparse files: new inodes are what
    # makes a tree slow to write, names cost little. Sizes stay above 31, which
    # a listing line could take for a day of the month.
    os.makedirs(pool)
    sizes = []
    for n in range(DEEP_SIZES):
        path = os.path.join(pool, "%d" % n)
        with open(path, "wb") as f:
            f.truncate(1024 + 40961 * n * n)
        os.utime(path, (TREE_MTIME, TREE_MTIME))
        sizes.append(path)
    picked = [0]

    def put(folder, name):
        os.link(sizes[picked[0] % DEEP_SIZES], os.path.join(folder, name))
        picked[0] += 1

    def folder(*parts):
        path = os.path.join(site, *parts)
        os.makedirs(path, exist_ok=True)
        return path

    for a in range(1, DEEP_FANOUT + 1):
        for b in range(1, DEEP_FANOUT + 1):
            for c in range(1, DEEP_FANOUT + 1):
                names = ("%s-%d" % kv for kv in zip(DEEP_LEVELS, (a, b, c)))
                leaf = folder("pub", "archive", *names)
                for pattern in DEEP_LEAF_FILES:
                    put(leaf, pattern.format(n=c))
    huge, count = DEEP_HUGE
    wide = folder(*huge.split("/"))
    for n in range(1, count + 1):
        put(wide, "scan-%05d.jpg" % n)
    # A file of its own on each level: no listing repeats the one above it, so
    # that only the names tell the trap.
    for level in range(2, DEEP_PUB_NEST + 1):
        put(folder(*["pub"] * level), DEEP_PUB_FILE.format(n=level))
    put(folder(*DEEP_REFUSED.split("/")), "zevo-secret.mp3")
    put(os.path.dirname(os.path.join(site, *DEEP_TOP_FILE.split("/"))),
        os.path.basename(DEEP_TOP_FILE))
    link, target = DEEP_LOOP
    link = os.path.join(site, *link.split("/"))
    os.symlink(target, link)
    os.utime(link, (TREE_MTIME, TREE_MTIME), follow_symlinks=False)
    for dirpath, _dirs, _files in os.walk(site):
        os.utime(dirpath, (TREE_MTIME, TREE_MTIME))
    with open(stamp, "w", encoding="utf-8") as f:
        f.write(layout)
    return catalogue, expect


class DeepSiteFS(AbstractedFS):
    """The deep site's files, its refused folder answering 550 whoever runs the
    testbed (root reads a folder of mode 000 all the same)."""

    refused = ""  # real path, set per site

    def _refuse(self, path):
        real = os.path.realpath(path)
        if real == self.refused or real.startswith(self.refused + os.sep):
            raise PermissionError(errno.EACCES, "Permission denied")

    def listdir(self, path):
        self._refuse(path)
        return super().listdir(path)

    def chdir(self, path):
        self._refuse(path)
        super().chdir(path)

    def open(self, filename, mode):
        self._refuse(filename)
        return super().open(filename, mode)


def quote_url(url):
    """Percent-escapes the path of an ftp URL the way web pages carry it."""
    scheme, rest = url.split("://", 1)
    host, _, path = rest.partition("/")
    return scheme + "://" + host + "/" + urllib.parse.quote(path, safe="/")


def folder_of(url, is_folder):
    return url if is_folder else url[:url.rindex("/") + 1]


def matches(url, words):
    path = urllib.parse.unquote(url.split("://", 1)[1]).lower()
    return all(w in path for w in words)


def term_words(raw):
    term = raw.replace('"', " ").lower()
    return term.split()


# Each engine page format carries the result markers the program looks for.
def page_anchor(term, items):
    rows = "".join('<li><a href="%s">%s</a></li>\n' % (quote_url(u), u) for u, _f in items)
    return ("<html><head><title>Search</title></head><body>\n<p>Results for %s</p>\n<ol>\n%s</ol>\n"
            "</body></html>\n" % (html.escape(term), rows))


def page_class_ls(term, items):
    rows = "".join("<tr><td class=ls><a href=/cgi-bin/d?q=%s class=dir>%s</a></td></tr>\n"
                   % (quote_url(folder_of(u, f))[6:], folder_of(u, f)[6:]) for u, f in items)
    return ("<html><body>\n<h1>Search results</h1>\n<table>\n%s</table>\n</body></html>\n" % rows)


def page_form(term, items):
    rows = "".join('<TR><TD><A HREF="%s">%s</A></TD></TR>\n' % (quote_url(u), u) for u, _f in items)
    return ('<HTML><BODY>\n<TABLE>\n%s</TABLE>\n<FORM ACTION="/s.php3" METHOD=GET>'
            '<INPUT NAME=q VALUE="%s"></FORM>\n</BODY></HTML>\n' % (rows, html.escape(term)))


def page_advanced(term, items):
    rows = "".join('<tr><td><a href="/swadv/Browse.asp?form=dir;oquery=%s">%s</a></td></tr>\n'
                   % (quote_url(folder_of(u, f))[6:], folder_of(u, f)) for u, f in items)
    return ("<html><body>\n<table>\n%s</table>\n<p>Copyright the testbed</p>\n</body></html>\n"
            % rows)


def page_path(term, items):
    rows = "".join('<li><a href="/get?path=%s&amp;v=1"><img src="/img/%s.gif"> %s</a></li>\n'
                   % (quote_url(u)[6:], "folder" if f else "file", u) for u, f in items)
    return "<html><body>\n<ul>\n%s</ul>\n</body></html>\n" % rows


PAGES = {
    "/s/s": page_anchor, "/cgi-bin/s": page_class_ls, "/s.php3": page_form,
    "/swadv/AdvResults.asp": page_advanced, "/ls": page_path,
}

NOTICE = ("Quillbrook testbed\n"
          "The search engines, the product web server and the FTP sites of this run\n"
          "are loopback stand-ins started by the testbed.\n")


class Testbed:
    def __init__(self, catalogue, report_log, notice, users, ftp_port=LIST_PORT):
        self.catalogue = catalogue
        self.ftp_port = ftp_port
        self.report_log = report_log
        self.notice = notice
        self.users = users
        self.lock = threading.Lock()

    def engine_page(self, path, query):
        page_key, first, size = ENGINES[path]
        term = query.get(TERM_KEY.get(path, "q"), [""])[0]
        try:
            start = int(query.get(page_key, [str(first)])[0]) - first
        except ValueError:
            start = 0
        words = term_words(term)
        index = ENGINE_ORDER.index(path)
        # Each engine knows most of the catalogue, not all of it.
        known = [item for i, item in enumerate(self.catalogue) if i % 5 != index]
        hits = [item for item in known if words and matches(item[0], words)]
        page = hits[max(start, 0):max(start, 0) + size] if start >= 0 else []
        return PAGES[path](term, page)

    def mirror_list(self, path):
        """The list's text with its testbed sites on this run's FTP port, and its type."""
        name, kind = MIRROR_LISTS[path]
        with open(os.path.join(MIRROR_DIR, name), encoding="utf-8") as f:
            text = f.read()
        return text.replace(":%d/" % LIST_PORT, ":%d/" % self.ftp_port), kind

    def log_report(self, raw_query):
        term = ""
        for part in raw_query.split("&"):
            if part.startswith("requete="):
                term = part[len("requete="):]
        with self.lock, open(self.report_log, "a", encoding="utf-8") as f:
            f.write("%s %s\n" % (time.strftime("%Y-%m-%dT%H:%M:%S"), term))


def make_handler(bed):
    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"  # one page per connection, then close
        server_version = "testbed/1"

        def do_GET(self):
            parsed = urllib.parse.urlsplit(self.path)
            query = urllib.parse.parse_qs(parsed.query, keep_blank_values=True)
            if parsed.path in ENGINES:
                self.reply(200, bed.engine_page(parsed.path, query), "text/html")
            elif parsed.path in MIRROR_LISTS:
                self.reply(200, *bed.mirror_list(parsed.path))
            elif parsed.path == "/notice.txt":
                self.reply(200, bed.notice, "text/plain")
            elif parsed.path == COUNTER_PATH:
                # The program reads the number right after the header's empty line.
                self.reply(200, str(bed.users), "text/plain")
            elif parsed.path == REPORT_PATH:
                bed.log_report(parsed.query)
                self.reply(200, "<html><body>ok</body></html>\n", "text/html")
            elif parsed.path == "/":
                self.reply(200, "<html><body><h1>Quillbrook</h1><p>Testbed home page.</p>"
                                "</body></html>\n", "text/html")
            else:
                self.reply(404, "<html><body>not found</body></html>\n", "text/html")

        def reply(self, status, text, kind):
            body = text.encode("utf-8")
            self.send_response(status)
            self.send_header("Content-Type", kind + "; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, fmt, *args):
            logging.getLogger("http").info(fmt, *args)

    return Handler


def bind_ftp_sockets(addresses, port):
    """Listening sockets on one port free on every address; port 0 picks one."""
    candidates = range(port, port + 50) if port else (random.randint(20000, 60000)
                                                      for _ in range(50))
    for candidate in candidates:
        socks = []
        try:
            for addr in addresses:
                s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
                socks.append(s)
                s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
                s.bind((addr, candidate))
            return candidate, socks
        except OSError:
            for s in socks:
                s.close()
    raise SystemExit("testbed: no FTP port free on all of %s" % ", ".join(addresses))


def deep_site_server(root, sock, ioloop=None):
    """The deep site's FTP server on sock (bound, not yet listening)."""
    deep = os.path.join(root, DEEP_SITE)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(deep, perm="elr")
    fs = type("DeepSiteFS_", (DeepSiteFS,), {
        "refused": os.path.realpath(os.path.join(deep, *DEEP_REFUSED.split("/")))})
    handler = type("DeepSite", (FTPHandler,), {
        "authorizer": authorizer, "abstracted_fs": fs,
        "banner": "testbed deep FTP site %s ready." % DEEP_SITE})
    return FTPServer(sock, handler, ioloop=ioloop)


def start_ftp_sites(root, socks):
    servers = []
    for (addr, perm, _content), sock in zip(SITES, socks):
        authorizer = DummyAuthorizer()
        authorizer.add_anonymous(os.path.join(root, addr), perm=perm)
        p_addr, user, password, _folder, _kind = PRIVATE_SITE
        if p_addr == addr:
            authorizer.add_user(user, password, os.path.join(root, addr), perm="elr")
        handler = type("Site_" + addr.replace(".", "_"), (FTPHandler,), {
            "authorizer": authorizer, "banner": "testbed FTP site %s ready." % addr})
        servers.append(FTPServer(sock, handler))
    servers.append(deep_site_server(root, socks[len(SITES)]))
    return servers


def write_hosts(ini_path, hosts):
    """Replaces the [Hosts] section of an INI file and keeps everything else."""
    lines = []
    if os.path.exists(ini_path):
        with open(ini_path, encoding="latin-1") as f:
            lines = f.read().splitlines()
    kept, skipping = [], False
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            skipping = stripped[1:-1].strip().lower() == "hosts"
        if not skipping:
            kept.append(line)
    while kept and not kept[-1].strip():
        kept.pop()
    if kept:
        kept.append("")
    kept.append("[Hosts]")
    kept.extend("%s=%s" % kv for kv in hosts.items())
    os.makedirs(os.path.dirname(os.path.abspath(ini_path)), exist_ok=True)
    tmp = ini_path + ".tmp"
    with open(tmp, "w", encoding="latin-1", newline="\r\n") as f:
        f.write("\n".join(kept) + "\n")
    os.replace(tmp, ini_path)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--state-dir", default="testbed-state",
                    help="where the FTP tree, the report log and the logs go")
    ap.add_argument("--ini", help="settings file whose [Hosts] section is rewritten")
    ap.add_argument("--http-port", type=int, default=0, help="0 picks a free port")
    ap.add_argument("--ftp-port", type=int, default=2121,
                    help="first port tried for the FTP sites (the next free one is "
                         "taken); 0 picks one at random")
    ap.add_argument("--notice", help="file whose text the notice page serves")
    ap.add_argument("--users", type=int, default=42, help="number the usage counter shows")
    ap.add_argument("--ready-file", help="JSON with the ports, written once serving")
    args = ap.parse_args()

    state = os.path.abspath(args.state_dir)
    os.makedirs(state, exist_ok=True)
    logging.basicConfig(filename=os.path.join(state, "servers.log"), level=logging.INFO,
                        format="%(asctime)s %(name)s %(message)s")

    addresses = [addr for addr, _perm, _content in SITES] + [DEEP_SITE]
    ftp_port, ftp_socks = bind_ftp_sockets(addresses, args.ftp_port)
    root = os.path.join(state, "ftp")
    catalogue, expect = build_tree(root, ftp_port)
    notice = NOTICE
    if args.notice:
        with open(args.notice, encoding="utf-8") as f:
            notice = f.read()
    report_log = os.path.join(state, "reports.log")
    bed = Testbed(catalogue, report_log, notice, args.users, ftp_port)

    httpd = ThreadingHTTPServer(("127.0.0.1", args.http_port), make_handler(bed))
    httpd.daemon_threads = True
    http_host = "127.0.0.1:%d" % httpd.server_address[1]
    servers = start_ftp_sites(root, ftp_socks)

    hosts = {name: http_host for name in
             ("AnchorEngine", "ClassLsEngine", "FormEngine", "AdvancedEngine", "PathEngine",
              "ReportHost", "CounterHost") + SITE_LIST_NAMES}
    hosts["NoticeUrl"] = "http://%s/notice.txt" % http_host
    hosts["HomePage"] = "http://%s/" % http_host
    if args.ini:
        write_hosts(args.ini, hosts)

    def stop(_sig, _frame):
        httpd.server_close()
        for s in servers:
            s.close()
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    threading.Thread(target=httpd.serve_forever, daemon=True).start()

    info = {"http": http_host, "ftp_port": ftp_port, "sites": addresses,
            "report_log": report_log, "catalogue": len(catalogue), "ftp_root": root,
            "expect": expect, "deep_site": "ftp://%s:%d/" % (DEEP_SITE, ftp_port)}
    with open(os.path.join(state, "expect.tsv"), "w", encoding="utf-8") as f:
        f.writelines("%s\t%s\n" % kv for kv in expect.items())
    if args.ready_file:
        tmp = args.ready_file + ".tmp"
        with open(tmp, "w") as f:
            json.dump(info, f)
        os.replace(tmp, args.ready_file)
    print("testbed ready: engines and web server on http://%s, FTP sites on %s port %d"
          % (http_host, ", ".join(addresses), ftp_port))
    print("deep site to crawl (a search for zevo shows it; its menu has Crawl site): "
          "ftp://%s:%d/pub/" % (DEEP_SITE, ftp_port))
    print("mirror lists to explore (site lists %s): %s"
          % (", ".join(SITE_LIST_NAMES),
             ", ".join("http://%s%s" % (http_host, path) for path in MIRROR_LISTS)), flush=True)
    IOLoop.instance().loop()


if __name__ == "__main__":
    sys.exit(main())
