"""The README.txt maker on small pieces of markdown: what each kind of block becomes, and the
markdown it refuses with a message instead of writing a wrong guide."""
import unittest

import guide

TITLE = "T"


def text(body):
    """The guide made of one marked section, without its title, with LF line ends."""
    out = guide.to_text("<!-- guide -->\n" + body + "<!-- /guide -->\n", TITLE)
    return out.replace("\r\n", "\n").split("\n", 3)[3]


class Blocks(unittest.TestCase):
    CASES = [
        ("a level-2 heading is underlined with =",
         "## Using it\n", "Using it\n========\n"),
        ("a level-3 heading is underlined with -",
         "### The setting\n", "The setting\n-----------\n"),
        ("a paragraph's lines are joined and emphasis dropped",
         "Press **Begin\nUpdate** `now`.\n", "Press Begin Update now.\n"),
        ("a placeholder in italics is shown in angle brackets",
         "Unable to open serial port COM*n* or *path*\n", "Unable to open serial port COM<n> or <path>\n"),
        ("a dash becomes ASCII",
         "file \u2014 disabled\n", "file - disabled\n"),
        ("a link keeps its address",
         "See [the site](http://x.example).\n", "See the site (http://x.example).\n"),
        ("items of one list follow one another, a picture inside an item is left out",
         "1. One\n   more.\n\n   ![shot](a.png)\n\n2. Two\n", "1. One more.\n2. Two\n"),
        ("a picture between paragraphs is left out",
         "Before.\n\n![shot](a.png)\n\nAfter.\n", "Before.\n\nAfter.\n"),
        ("an indented command is kept as written",
         "Run:\n\n    certutil -hashfile *x* SHA256\n\nDone.\n", "Run:\n\n    certutil -hashfile *x* SHA256\n\nDone.\n"),
        ("a table row becomes one block of header: cell lines",
         "| Message | What to do |\n|---|---|\n| Gone. | Put it back. |\n| Bad. | Retry. |\n",
         "Message:    Gone.\nWhat to do: Put it back.\n\nMessage:    Bad.\nWhat to do: Retry.\n"),
        ("text outside the marks is not in the guide",
         "In.\n<!-- /guide -->\nOut.\n<!-- guide -->\nIn again.\n", "In.\n\nIn again.\n"),
    ]

    def test_each_block(self):
        for name, markdown, expected in self.CASES:
            with self.subTest(name):
                self.assertEqual(text(markdown), expected)

    def test_windows_line_ends_title_and_width(self):
        words = " ".join("word%d" % i for i in range(60))
        out = guide.to_text("<!-- guide -->\n| A | Cause |\n|---|---|\n| x | %s |\n\n%s\n<!-- /guide -->\n"
                            % (words, words), "Title")
        self.assertTrue(out.startswith("Title\r\n=====\r\n\r\n"))
        self.assertTrue(out.endswith("\r\n"))
        self.assertNotIn("\n", out.replace("\r\n", ""))
        lines = out.split("\r\n")
        self.assertLessEqual(max(len(line) for line in lines), guide.WIDTH)
        cause = [line for line in lines if line.startswith("Cause:") or line.startswith("       word")]
        self.assertGreater(len(cause), 1, "a long cell wraps under its own column")
        self.assertTrue(all(line[:7] in ("Cause: ", "       ") for line in cause))


class Refused(unittest.TestCase):
    CASES = [
        ("no marked section", "Just text.\n"),
        ("a section that never ends", "<!-- guide -->\nText.\n"),
        ("an end without a beginning", "Text.\n<!-- /guide -->\n"),
        ("a section inside another", "<!-- guide -->\n<!-- guide -->\nText.\n<!-- /guide -->\n"),
        ("a character a plain text can't hold", "<!-- guide -->\nCaf\u00e9.\n<!-- /guide -->\n"),
        ("a row with a cell too few", "<!-- guide -->\n| A | B |\n|---|---|\n| only |\n<!-- /guide -->\n"),
    ]

    def test_each_refusal_says_why(self):
        for name, markdown in self.CASES:
            with self.subTest(name):
                with self.assertRaises(guide.GuideError) as caught:
                    guide.to_text(markdown, TITLE)
                self.assertTrue(str(caught.exception))


if __name__ == "__main__":
    unittest.main()
