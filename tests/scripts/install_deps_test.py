#!/usr/bin/env python3
"""scripts/install-deps.sh against fake dpkg-query, apt-get, id and sudo.

The fakes stand first on PATH and write every call into a log, so each test
sees which packages the script asked about, whether it called apt and with
what. INSTALL_DEPS_SCRIPT may name another copy of the script to check.
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
SCRIPT = pathlib.Path(os.environ.get("INSTALL_DEPS_SCRIPT", ROOT / "scripts" / "install-deps.sh"))


class Machine:
    """A temporary folder of fake commands standing for the machine's state."""

    def __init__(self, installed="none", uid=0, sudo_ok=False, apt_fails=None):
        self.dir = tempfile.TemporaryDirectory()
        self.bin = pathlib.Path(self.dir.name)
        self.log = self.bin / "calls.log"
        self.log.touch()
        # installed: "none", "all", or a number k: the first k packages asked about.
        count = {"none": 0, "all": 1 << 30}.get(installed, installed)
        self._fake("dpkg-query", f"""
echo "dpkg-query $*" >> "{self.log}"
i=0; unknown=0
for p in "$@"; do
  case "$p" in -*) continue ;; esac
  echo "$p" >> "{self.bin}/asked.list"
  if [ $i -lt {count} ]; then
    echo "$p install ok installed"
  else
    echo "dpkg-query: no packages found matching $p" >&2; unknown=1
  fi
  i=$((i+1))
done
exit $unknown
""")
        fail = ""
        if apt_fails:
            fail = f"""case "$1" in {apt_fails}) echo "E: Unable to locate package nosuchpkg" >&2; exit 100 ;; esac"""
        self._fake("apt-get", f"""echo "apt-get $*" >> "{self.log}"\n{fail}\necho "apt-get: did $1"\nexit 0""")
        self._fake("id", f'echo {uid}')
        self._fake("sudo", f"""echo "sudo $*" >> "{self.log}"\n{'' if sudo_ok else 'exit 1'}\nif [ "$1" = -n ]; then shift; fi\nexec "$@" """)
        self._fake("locale", "echo de_DE.utf8")
        self._fake("localedef", f'echo "localedef $*" >> "{self.log}"')

    def _fake(self, name, body):
        p = self.bin / name
        p.write_text("#!/bin/sh\n" + body + "\n")
        p.chmod(0o755)

    def run(self):
        env = dict(os.environ, PATH=f"{self.bin}:{os.environ['PATH']}")
        start = time.monotonic()
        r = subprocess.run(["bash", str(SCRIPT)], env=env, capture_output=True, text=True, timeout=60)
        self.seconds = time.monotonic() - start
        return r

    def calls(self, prog):
        return [l.split()[1:] for l in self.log.read_text().splitlines() if l.split()[0] == prog]

    def asked(self):
        """The packages the script asked dpkg-query about."""
        return (self.bin / "asked.list").read_text().split()

    def installs(self):
        return [c for c in self.calls("apt-get") if "install" in c]


def packages_of(install_call):
    return [a for a in install_call[install_call.index("install") + 1:] if not a.startswith("-")]


class InstallDeps(unittest.TestCase):
    def test_nothing_installed_installs_every_package_once_after_an_update(self):
        m = Machine(installed="none")
        r = m.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        apt = m.calls("apt-get")
        self.assertEqual(len(m.installs()), 1, apt)
        self.assertEqual(packages_of(m.installs()[0]), m.asked())
        self.assertEqual(apt[0][0], "update", "the package lists are refreshed before the first install")
        self.assertIn("installing", r.stderr)
        self.assertIn(m.asked()[0], r.stderr, "the packages it installs are named")

    def test_everything_installed_calls_no_apt_and_returns_at_once(self):
        m = Machine(installed="all")
        r = m.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(m.calls("apt-get"), [])
        self.assertEqual(m.calls("sudo"), [])
        self.assertLess(m.seconds, 1.0)

    def test_some_installed_installs_only_the_others(self):
        m = Machine(installed=5)
        r = m.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(m.installs()), 1)
        self.assertEqual(packages_of(m.installs()[0]), m.asked()[5:])

    def test_apt_failing_exits_non_zero_naming_the_packages_and_the_error(self):
        for failing in ("install", "update"):
            with self.subTest(failing=failing):
                m = Machine(installed=3, apt_fails=failing)
                r = m.run()
                self.assertNotEqual(r.returncode, 0)
                self.assertIn(f"apt-get {failing} failed", r.stderr)
                self.assertIn(m.asked()[3], r.stderr)
                self.assertIn("E: Unable to locate package nosuchpkg", r.stderr)

    def test_not_root_without_password_less_sudo_prints_the_one_command(self):
        m = Machine(installed=2, uid=1000, sudo_ok=False)
        r = m.run()
        self.assertEqual(r.returncode, 1)
        self.assertEqual(m.installs(), [])
        command = [l for l in r.stderr.splitlines() if "apt-get install" in l]
        self.assertEqual(len(command), 1, r.stderr)
        self.assertEqual(command[0].split("apt-get install -y ")[1].split(), m.asked()[2:])

    def test_not_root_with_password_less_sudo_installs_through_sudo(self):
        m = Machine(installed="none", uid=1000, sudo_ok=True)
        r = m.run()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(any("install" in c for c in m.calls("sudo")), m.calls("sudo"))
        self.assertEqual(len(m.installs()), 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
