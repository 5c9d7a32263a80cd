#!/usr/bin/python3
"""Checks of the testbed's own logic: the settings file it rewrites and the
engine pages it serves."""

import os
import re
import sys
import tempfile
import unittest
import urllib.parse

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import testbed  # noqa: E402


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
        cls.dir = tempfile.TemporaryDirectory()
        catalogue, cls.expect = testbed.build_tree(cls.dir.name, 2121)
        cls.bed = testbed.Testbed(catalogue, os.path.join(cls.dir.name, "r.log"), "n\n", 7)

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

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


if __name__ == "__main__":
    unittest.main()
