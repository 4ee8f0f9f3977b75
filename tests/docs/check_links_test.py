#!/usr/bin/env python3
"""The link checker on small repositories made for each case: it must refuse
what would break on GitHub or in a fresh clone, and pass what works."""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_links  # noqa: E402


class LinkChecker(unittest.TestCase):
    def repo(self, files, git=True):
        root = tempfile.mkdtemp(prefix='links-')
        self.addCleanup(subprocess.run, ['rm', '-rf', root])
        for name, text in files.items():
            path = os.path.join(root, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, 'w', encoding='utf-8') as f:
                f.write(text)
        if git:
            subprocess.run(['git', 'init', '-q', root], check=True)
        return root

    def problems(self, root):
        return check_links.check(root)[1]

    def test_links_that_resolve_pass(self):
        root = self.repo({
            'README.md': '# Top\n![The dialog](docs/a.png)\nSee [the guide](docs/guide.md#two-words-here),\n'
                         '[examples](examples/) and [home](https://example.org/x.md).\n'
                         '[ref]: docs/guide.md\n<img src="docs/a.png" alt="x">\n',
            'docs/guide.md': '# Guide\n## Two words, here\nBack to [the top](../README.md#top) '
                             'and [here](#guide).\n',
            'docs/a.png': 'png',
            'examples/one.json': '{}',
        })
        checked, problems = check_links.check(root)
        self.assertEqual(problems, [])
        self.assertEqual(checked, 7)

    def test_a_missing_page_image_or_reference_is_named_with_its_line(self):
        root = self.repo({
            'README.md': 'intro\n[gone](docs/gone.md)\n![pic](docs/none.png)\n[r]: docs/nope.md\n',
            'docs/ok.md': 'see [x](../src/main.cpp)\n',
        })
        problems = self.problems(root)
        self.assertEqual(len(problems), 4, problems)
        self.assertIn('README.md:2: docs/gone.md: link no such file', problems)
        self.assertIn('README.md:3: docs/none.png: image no such file', problems)
        self.assertIn('README.md:4: docs/nope.md: link no such file', problems)
        self.assertIn(os.path.join('docs', 'ok.md') + ':1: ../src/main.cpp: link no such file', problems)

    def test_a_missing_anchor_is_caught(self):
        root = self.repo({
            'README.md': '[bounds](docs/s.md#bounds) [twice](docs/s.md#limits-1) [self](#nowhere)\n'
                         '[code](docs/s.md#the-tree-bproj)\n',
            'docs/s.md': '# Scenarios\n## Limits\n## Limits\n## The tree `bProj`\n',
        })
        problems = self.problems(root)
        self.assertEqual(len(problems), 2, problems)
        self.assertTrue(any('#bounds' in p for p in problems))
        self.assertTrue(any('#nowhere' in p for p in problems))

    def test_links_into_ignored_folders_or_outside_the_repository_are_refused(self):
        root = self.repo({
            '.gitignore': '/build/\n',
            'build/bin/mvnrt': 'x',
            'outside.md': '',
            'README.md': '[program](build/bin/mvnrt) [up](../outside.md) [abs](/etc/passwd)\n',
        })
        problems = self.problems(root)
        self.assertEqual(len(problems), 3, problems)
        self.assertIn('README.md:1: build/bin/mvnrt: link is ignored by git', problems)
        self.assertTrue(any('outside the repository' in p for p in problems))
        self.assertTrue(any('absolute path' in p for p in problems))

    def test_code_is_not_a_link(self):
        root = self.repo({
            'README.md': '```json\n{"a": [1](x.md)}\n```\nUse `[x](nowhere.md)` as shown.\n',
        })
        self.assertEqual(check_links.check(root), (0, []))

    def test_the_program_exits_1_and_lists_what_is_broken(self):
        root = self.repo({'README.md': '[a](missing.md)\n'})
        run = subprocess.run([sys.executable, os.path.join(HERE, 'check_links.py'), root],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 1)
        self.assertIn('README.md:1: missing.md: link no such file', run.stdout)
        self.assertIn('1 broken', run.stdout)


if __name__ == '__main__':
    unittest.main()
