#!/usr/bin/env python3
"""The layering check itself: it passes on a tree that follows the layers and
names the file and line of each include or link that runs against them."""
import pathlib
import subprocess
import sys
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check_layers.py"


def write(root, path, text):
    target = root / path
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_text(text, encoding="utf-8")


def run(root):
    done = subprocess.run([sys.executable, str(SCRIPT), str(root)], capture_output=True, text=True)
    return done.returncode, done.stdout


class CheckLayersTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self.dir.name)
        write(self.root, "platform/tcp.h", "#pragma once\n#include <string>\n")
        write(self.root, "mail/pop3.h", '#pragma once\n#include "platform/tcp.h"\n')
        write(self.root, "mail/CMakeLists.txt", "parvola_library(mail DEPS platform)\n")
        write(self.root, "transfer/piece.h", '#include "mail/pop3.h"\n#include "app/settings.h"\n')
        write(self.root, "app/settings.h", '#pragma once\n#include "catalog/xml/doc.h"\n')
        write(self.root, "catalog/xml/doc.h", '#pragma once\n#include "platform/tcp.h"\n')
        write(self.root, "shell/window.cpp", '#include <QWidget>\n#include "presentation/t.h"\n')
        write(self.root, "presentation/t.h", '#include "transfer/piece.h"\n')

    def tearDown(self):
        self.dir.cleanup()

    def test_a_tree_that_follows_the_layers_passes(self):
        code, out = run(self.root)
        self.assertEqual(code, 0, out)

    def test_each_include_and_link_against_the_layers_is_named_with_its_line(self):
        write(self.root, "mail/smtp.cpp", '#include "mail/pop3.h"\n\n#include "transfer/piece.h"\n')
        write(self.root, "catalog/xml/scan.cpp", '#include "catalog/catalog.h"\n')
        write(self.root, "cli/main.cpp", '#include "shell/window.h"\n')
        write(self.root, "app/helper.h", '#include <QString>\n')
        write(self.root, "mail/CMakeLists.txt", "parvola_library(mail DEPS platform web)\n")
        write(self.root, "site/page.cpp", '#include "catalog/catalog.h"\n')
        code, out = run(self.root)
        self.assertEqual(code, 1)
        for expected in ('mail/smtp.cpp:3: mail/ includes "transfer/piece.h"',
                         'catalog/xml/scan.cpp:1: catalog/xml/ includes "catalog/catalog.h"',
                         'cli/main.cpp:1: cli/ includes "shell/window.h"',
                         'app/helper.h:1: Qt header <QString> outside shell/',
                         'mail/CMakeLists.txt:1: mail/ links web',
                         'site/page.cpp:1: site/ includes "catalog/catalog.h"'):
            self.assertIn(expected, out)
        self.assertIn("6 include(s) or link(s)", out)


if __name__ == "__main__":
    unittest.main()
