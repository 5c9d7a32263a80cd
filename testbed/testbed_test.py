#!/usr/bin/python3
"""Checks of the testbed's own logic: the settings file it rewrites, the
engine pages it serves and the deep site it writes."""

import ftplib
import logging
import os
import re
import socket
import sys
import tempfile
import threading
import unittest
import urllib.parse
import urllib.request

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import testbed  # noqa: E402
from pyftpdlib.ioloop import IOLoop  # noqa: E402

TREE = {}


def setUpModule():
    # One tree for every test: the deep site takes seconds to write.
    TREE["dir"] = tempfile.TemporaryDirectory()
    TREE["catalogue"], TREE["expect"] = testbed.build_tree(TREE["dir"].name, 2121)


def tearDownModule():
    TREE["dir"].cleanup()


class WriteHostsTest(unittest.TestCase):
    def test_keeps_other_sections_and_replaces_hosts(self):
        with tempfile.TemporaryDirectory() as d:
            ini = os.path.join(d, "FTP-ZEVO.ini")
            with open(ini, "w", newline="") as f:
                f.write("[Config]\r\nMinConnect=3\r\n[hosts]\r\nAnchorEngine=old:1\r\nStale=x\r\n"
                        "[Other]\r\nKey=1\r\n")
            testbed.write_hosts(ini, {"AnchorEngine": "127.0.0.1:9", "ReportHost": "127.0.0.1:9"})
            with open(ini, newline="") as f:
                text = f.read()
            self.assertIn("[Config]\r\nMinConnect=3\r\n", text)
            self.assertIn("[Other]\r\nKey=1\r\n", text)
            self.assertNotIn("old:1", text)
            self.assertNotIn("Stale", text)
            self.assertEqual(text.lower().count("[hosts]"), 1)
            self.assertTrue(text.endswith("[Hosts]\r\nAnchorEngine=127.0.0.1:9\r\n"
                                          "ReportHost=127.0.0.1:9\r\n"))

    def test_creates_a_missing_file(self):
        with tempfile.TemporaryDirectory() as d:
            ini = os.path.join(d, "bin", "FTP-ZEVO.ini")
            testbed.write_hosts(ini, {"CounterHost": "h:1"})
            with open(ini) as f:
                self.assertEqual(f.read(), "[Hosts]\nCounterHost=h:1\n")


class EnginePagesTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.expect = TREE["expect"]
        cls.bed = testbed.Testbed(TREE["catalogue"], os.path.join(TREE["dir"].name, "r.log"),
                                  "n\n", 7)

    # What each engine's result rule takes from a page, as the program cuts it.
    MARKERS = {
        "/s/s": r'<a href="ftp://([^"]*)"',
        "/cgi-bin/s": r"class=ls.*?q=(.*?) class",
        "/s.php3": r'HREF="ftp://([^"]*)"',
        "/swadv/AdvResults.asp": r';oquery=([^"]*)"',
        "/ls": r"path=([^&]*)&",
    }

    def pages(self, path, term):
        key, first, step = testbed.ENGINES[path]
        term_key = testbed.TERM_KEY.get(path, "q")
        value, out = first, []
        while True:
            page = self.bed.engine_page(path, {term_key: [term], key: [str(value)]})
            found = re.findall(self.MARKERS[path], page)
            if not found:
                return out
            self.assertLessEqual(len(found), step)
            out.extend(found)
            value += step

    def test_every_engine_pages_through_matching_results_and_ends(self):
        for path in testbed.ENGINES:
            found = self.pages(path, "mp3 player")
            self.assertGreater(len(found), 0, path)
            for text in found:
                decoded = urllib.parse.unquote(text).lower()
                self.assertRegex(decoded, r"^(\w+:\w+@)?127\.0\.0\.\d:2121/", path)
                if path in ("/s/s", "/s.php3", "/ls"):
                    self.assertIn("mp3", decoded, (path, text))

    def test_a_term_without_matches_gives_an_empty_first_page(self):
        for path in testbed.ENGINES:
            self.assertEqual(self.pages(path, "no-such-file"), [], path)

    def test_every_folder_has_an_expected_status(self):
        self.assertEqual(set(self.expect.values()), {"Ok", "Refused", "Failed", "Replaced"})

    def test_a_search_for_zevo_shows_the_deep_site(self):
        found = [urllib.parse.unquote(t) for path in testbed.ENGINES
                 for t in self.pages(path, "zevo")]
        self.assertTrue(any(t.startswith(testbed.DEEP_SITE + ":2121/pub/") for t in found))
        self.assertEqual(self.expect["ftp://%s:2121/pub/" % testbed.DEEP_SITE], "Ok")


class MirrorListsTest(unittest.TestCase):
    """The copies of the public mirror lists, served as the program fetches them."""

    PORT = 3131  # not the lists' own, so that the rewrite shows

    @classmethod
    def setUpClass(cls):
        bed = testbed.Testbed(TREE["catalogue"], os.path.join(TREE["dir"].name, "r.log"),
                              "n\n", 7, cls.PORT)
        cls.httpd = testbed.ThreadingHTTPServer(("127.0.0.1", 0), testbed.make_handler(bed))
        cls.thread = threading.Thread(target=cls.httpd.serve_forever, daemon=True)
        cls.thread.start()

    @classmethod
    def tearDownClass(cls):
        cls.httpd.shutdown()
        cls.httpd.server_close()
        cls.thread.join(5)

    def fetch(self, path):
        url = "http://127.0.0.1:%d%s" % (self.httpd.server_address[1], path)
        with urllib.request.urlopen(url, timeout=10) as answer:
            return answer.status, answer.headers.get_content_type(), answer.read().decode()

    def test_each_list_is_served_naming_the_testbed_sites(self):
        schemes = set()
        for path, (_name, kind) in testbed.MIRROR_LISTS.items():
            with self.subTest(path=path):
                status, served_kind, text = self.fetch(path)
                self.assertEqual((status, served_kind), (200, kind))
                schemes.update(re.findall(r"\b(https|rsync)://", text))
                local = re.findall(r"ftp://(127\.0\.0\.\d+):(\d+)(/[^\s\"<&?]*)", text,
                                   re.IGNORECASE)
                self.assertGreaterEqual(len(local), 3)
                for addr, port, url_path in local:
                    self.assertEqual(int(port), self.PORT)
                    folder = urllib.parse.unquote(url_path[:url_path.rindex("/") + 1])
                    on_disk = os.path.join(TREE["dir"].name, addr, *folder.strip("/").split("/"))
                    self.assertTrue(os.path.isdir(on_disk), addr + folder)
                self.assertNotIn(":%d/" % testbed.LIST_PORT, text)
        self.assertEqual(schemes, {"https", "rsync"})  # entries a reader must skip


class DeepSiteTest(unittest.TestCase):
    def setUp(self):
        self.root = TREE["dir"].name
        self.site = os.path.join(self.root, testbed.DEEP_SITE)

    def test_deep_wide_and_with_its_traps(self):
        folders, deepest, widest = 0, 0, 0
        for dirpath, dirs, files in os.walk(self.site):  # links not followed
            folders += 1
            deepest = max(deepest, os.path.relpath(dirpath, self.site).count(os.sep) + 1)
            widest = max(widest, len(dirs) + len(files))
        self.assertGreaterEqual(folders, 500)
        self.assertGreaterEqual(deepest, 4)
        self.assertGreaterEqual(widest, 20000)
        link = os.path.join(self.site, *testbed.DEEP_LOOP[0].split("/"))
        self.assertTrue(os.path.islink(link))
        self.assertEqual(os.path.realpath(link), os.path.realpath(os.path.dirname(
            os.path.dirname(link))))
        nest = os.path.join(self.site, *["pub"] * testbed.DEEP_PUB_NEST)
        self.assertTrue(os.path.isdir(nest) and not os.path.islink(nest))

    def test_a_second_start_keeps_the_deep_site(self):
        huge = os.path.join(self.site, *testbed.DEEP_HUGE[0].split("/"))
        before = os.stat(huge).st_ino
        testbed.build_deep_site(self.root, 2121)
        self.assertEqual(os.stat(huge).st_ino, before)

    def test_the_refused_folder_answers_550_and_the_others_list(self):
        quiet = logging.getLogger("pyftpdlib")
        quiet.addHandler(logging.NullHandler())
        quiet.propagate = False
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.bind(("127.0.0.1", 0))
        server = testbed.deep_site_server(self.root, sock, ioloop=IOLoop())
        loop = threading.Thread(target=server.serve_forever,
                                kwargs={"timeout": 0.05, "handle_exit": False}, daemon=True)
        loop.start()
        try:
            ftp = ftplib.FTP()
            ftp.connect("127.0.0.1", sock.getsockname()[1], timeout=10)
            ftp.login()
            refused = "/" + testbed.DEEP_REFUSED
            for command in ("LIST " + refused, "MLSD " + refused):
                with self.assertRaises(ftplib.error_perm) as caught:
                    ftp.retrlines(command, lambda line: None)
                self.assertTrue(str(caught.exception).startswith("550"), command)
            with self.assertRaises(ftplib.error_perm):
                ftp.cwd(refused)
            names = []
            ftp.retrlines("NLST /" + testbed.DEEP_HUGE[0], names.append)
            self.assertEqual(len(names), testbed.DEEP_HUGE[1])
            ftp.quit()
        finally:
            server.close_all()
            loop.join(5)


if __name__ == "__main__":
    unittest.main()
