"""The program's desktop entries: entries left by an older place of the
program are rewritten at start-up for this one and pass
desktop-file-validate; "-u" removes the program's own entries and stored
options and nothing else, and only with the single-instance channel."""
import os
import subprocess
import unittest

from zofharness import ZofTestCase, tool, wait_until, zof_bin

STALE_SHELL = """[Desktop Entry]
Type=Application
Name=ZOF
Exec="/old/place/zof" %F
MimeType=inode/directory;
"""
STALE_AUTOSTART = """[Desktop Entry]
Type=Application
Name=ZOF
Exec="/old/place/zof"
"""


def ini():
    return "ZOF 1.0 - Build #400\r\nauto-save-options=yes\r\n"


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


class DesktopEntries(ZofTestCase):
    def prepare(self, z):
        """Stale entries of the program and entries of another one, in the
        process's own XDG folders."""
        data = os.path.join(z.tmp, "xdg-data")
        z.env["XDG_DATA_HOME"] = data
        self.shell = os.path.join(data, "applications", "zof.desktop")
        self.autostart = os.path.join(z.env["XDG_CONFIG_HOME"], "autostart", "zof.desktop")
        self.other_app = os.path.join(data, "applications", "other.desktop")
        self.other_auto = os.path.join(z.env["XDG_CONFIG_HOME"], "autostart", "other.desktop")
        write(self.shell, STALE_SHELL)
        write(self.autostart, STALE_AUTOSTART)
        write(self.other_app, STALE_SHELL.replace("ZOF", "Other"))
        write(self.other_auto, STALE_AUTOSTART.replace("ZOF", "Other"))

    def exec_lines(self, path):
        return [l for l in read(path).splitlines() if l.startswith("Exec=")]

    def test_moved_program_entries_rewritten_and_valid(self):
        z = self.make_zof(ini=ini())
        self.prepare(z)
        z.start()
        me = os.path.realpath(zof_bin())
        for path in (self.shell, self.autostart):
            execs = self.exec_lines(path)
            self.assertTrue(execs, read(path))
            for line in execs:
                self.assertTrue(line.startswith('Exec="%s"' % me), "%s: %s" % (path, line))
            run = subprocess.run([tool("desktop-file-validate"), path], capture_output=True, text=True)
            self.assertEqual((run.returncode, run.stdout + run.stderr), (0, ""), path)
        shell = read(self.shell)
        self.assertIn("MimeType=inode/directory;", shell)
        self.assertIn("Name=Open with ZOF", shell)
        # Another program's entries stay as they were.
        self.assertEqual(read(self.other_app), STALE_SHELL.replace("ZOF", "Other"))
        self.assertEqual(read(self.other_auto), STALE_AUTOSTART.replace("ZOF", "Other"))

    def test_uninstall_switch_removes_only_own_files(self):
        z = self.make_zof("-u", ini=ini(), single_instance=True)
        self.prepare(z)
        keep = z.cfg_file("notes.txt")
        write(keep, "mine")
        z.start(wait_ready=False)
        self.assertEqual(z.wait_exit(10), 0, z.dump())
        for gone in (self.shell, self.autostart, z.cfg_file()):
            self.assertFalse(os.path.exists(gone), gone + "\n" + z.dump())
        for kept in (self.other_app, self.other_auto, keep):
            self.assertTrue(os.path.exists(kept), kept)
        self.assertEqual(read(keep), "mine")

    def test_uninstall_refused_without_single_instance(self):
        z = self.make_zof("-u", ini=ini())
        self.prepare(z)
        z.start()
        self.assertTrue(wait_until(lambda: "only works with the" in z.stderr_text(), 5), z.dump())
        # Still serving, and nothing removed.
        self.assertEqual(z.get("/")[0], 200)
        for kept in (self.shell, self.autostart, z.cfg_file()):
            self.assertTrue(os.path.exists(kept), kept)


if __name__ == "__main__":
    unittest.main()
