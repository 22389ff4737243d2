#!/usr/bin/python3
"""The installed extras of corvane-rest: the manual page renders with man,
and bash completion offers options, property names and configuration keys.

    man_page_test.py MAN_PAGE COMPLETION_SCRIPT CLI
"""
import os
import subprocess
import sys
import unittest

MAN = COMPLETION = CLI = None


class ManPageTest(unittest.TestCase):
    def test_man_renders_the_options_and_sections(self):
        env = dict(os.environ, MANPAGER="cat", PAGER="cat", MANWIDTH="100", LC_ALL="C")
        p = subprocess.run(["man", "-l", MAN], capture_output=True, text=True, env=env, timeout=60)
        self.assertEqual(p.returncode, 0, p.stderr)
        for text in ["corvane-rest", "--location", "--list-config", "EXAMPLES", "EXIT STATUS",
                     "A URL without a scheme is an http URL."]:
            self.assertIn(text, p.stdout)


class CompletionTest(unittest.TestCase):
    def complete(self, *words):
        script = ('source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); '
                  '_corvane_rest; printf "%s\\n" "${COMPREPLY[@]}"')
        p = subprocess.run(["bash", "-c", script, "complete", COMPLETION, CLI, *words],
                           capture_output=True, text=True, timeout=60)
        self.assertEqual(p.returncode, 0, p.stderr)
        return [w for w in p.stdout.splitlines() if w]

    def test_completions(self):
        cases = [
            (["--list-c"], ["--list-config"]),
            (["--ht"], ["--http2"]),
            (["-s", "FollowRed"], ["FollowRedirects="]),
            (["-g", "StatusL"], ["StatusLine"]),
            (["-c", "KeepAliveT"], ["KeepAliveTime"]),
            (["-X", "PA"], ["PATCH"]),
            (["-H", "Acc"], []),
        ]
        for words, expected in cases:
            with self.subTest(words=words):
                self.assertEqual(self.complete(*words), expected)


if __name__ == "__main__":
    MAN, COMPLETION, CLI = sys.argv[1:4]
    unittest.main(argv=[sys.argv[0], "-v"])
