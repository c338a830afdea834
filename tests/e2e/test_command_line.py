"""The command line as a user meets it: --help, --version and --root."""

import os
import re
import subprocess
import tempfile
import unittest

from zofharness import LISTEN_PREFIX, READY_LINE, ZofTestCase, wait_until, zof_bin

# Every switch the program knows, and the HTTPS options the usage names.
SWITCHES = ["--help", "--version", "--headless", "--root", "--self-test", "--check-update",
            "--https-self-signed", "--run-script",
            "-i", "-a", "-c", "-d", "-q", "-u", "-b", "-B"]
HTTPS_OPTIONS = ["https-port", "https-cert", "https-key"]


def files_under(folder):
    found = []
    for base, dirs, files in os.walk(folder):
        found += [os.path.relpath(os.path.join(base, n), folder) for n in dirs + files]
    return sorted(found)


class InformationSwitches(ZofTestCase):
    """--help and --version print and end: no window, no options read or
    written, no single-instance channel, even beside a running instance."""

    def run_isolated(self, *args, runtime_dir=None):
        tmp = tempfile.mkdtemp(prefix="zof-cl-")
        self.addCleanup(subprocess.run, ["rm", "-rf", tmp])
        home, xdg = os.path.join(tmp, "home"), os.path.join(tmp, "xdg")
        run = runtime_dir or os.path.join(tmp, "run")
        for d in (home, xdg, run):
            os.makedirs(d, mode=0o700, exist_ok=True)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=xdg, XDG_RUNTIME_DIR=run,
                   # A display that is not there: a window would fail on it.
                   DISPLAY=":97", WAYLAND_DISPLAY="")
        env.pop("ZOF_NO_SINGLE_INSTANCE", None)
        before = files_under(run)
        p = subprocess.run([zof_bin()] + list(args), cwd=tmp, env=env, stdin=subprocess.DEVNULL,
                           capture_output=True, timeout=20)
        self.assertEqual(files_under(home), [], "HOME was written to")
        self.assertEqual(files_under(xdg), [], "the configuration folder was written to")
        self.assertEqual(files_under(run), before, "the runtime folder changed")
        self.assertEqual([n for n in os.listdir(tmp) if n not in ("home", "xdg", "run")], [],
                         "files appeared in the working folder")
        return p

    def test_help_lists_every_switch_and_exits_0(self):
        p = self.run_isolated("--help")
        self.assertEqual(p.returncode, 0, p.stderr)
        text = p.stdout.decode()
        self.assertTrue(text.startswith("Usage: zof "), text)
        self.assertNotIn(READY_LINE, text)
        for sw in SWITCHES:
            with self.subTest(switch=sw):
                # Listed as an entry: at a line's start after the indent.
                self.assertRegex(text, r"(?m)^  " + re.escape(sw) + r"( [A-Z]+)?(  |$)")
        for key in HTTPS_OPTIONS:
            self.assertIn(key + "=", text)
        self.assertTrue(all(len(l) <= 79 for l in text.splitlines()), text)
        # The same text wherever --help stands, unless it is a switch's argument.
        self.assertEqual(self.run_isolated("somefolder", "--help").stdout, p.stdout)

    def test_version_prints_exactly_the_version(self):
        for args in (["--version"], ["--headless", "--version"]):
            with self.subTest(args=args):
                p = self.run_isolated(*args)
                self.assertEqual(p.returncode, 0, p.stderr)
                self.assertEqual(p.stdout, b"ZOF 1.0 (build 400)\n")
                self.assertEqual(p.stderr, b"")

    def test_version_beside_a_running_instance_is_not_handed_over(self):
        z = self.start_zof(single_instance=True)
        p = self.run_isolated("--version", runtime_dir=z.runtime_dir)
        self.assertEqual(p.stdout, b"ZOF 1.0 (build 400)\n")
        self.assertNotIn("received command line", z.stderr_text())
        status, _, _ = z.get("/")
        self.assertEqual(status, 200)

    def test_man_page_is_the_same_usage_in_roff(self):
        p = self.run_isolated("--man-page")
        self.assertEqual(p.returncode, 0, p.stderr)
        page = p.stdout.decode()
        self.assertTrue(page.startswith('.TH ZOF 1 "" "ZOF 1.0 (build 400)"'), page[:80])
        for sw in SWITCHES:
            self.assertIn("\\fB" + sw.replace("-", "\\-") + "\\fR", page)
        # groff renders it without complaint.
        r = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z"], input=p.stdout,
                           capture_output=True, timeout=20)
        self.assertEqual((r.returncode, r.stderr), (0, b""))


class RootSwitch(ZofTestCase):
    def make_share(self):
        share = tempfile.mkdtemp(prefix="zof-share-")
        self.addCleanup(subprocess.run, ["rm", "-rf", share])
        with open(os.path.join(share, "alpha.txt"), "wb") as f:
            f.write(b"alpha contents\n")
        os.mkdir(os.path.join(share, "beta"))
        with open(os.path.join(share, "beta", "gamma.bin"), "wb") as f:
            f.write(b"\x00\x01gamma")
        return share

    def test_root_serves_the_folder_at_slash(self):
        share = self.make_share()
        z = self.start_zof("--root", share)
        status, _, body = z.get("/")
        self.assertEqual(status, 200, z.dump())
        self.assertIn(b"alpha.txt", body)
        self.assertIn(b"beta", body)
        self.assertEqual(z.get("/alpha.txt")[2], b"alpha contents\n")
        self.assertEqual(z.get("/beta/gamma.bin")[2], b"\x00\x01gamma")
        # A file added to the folder later is listed: the root is the folder.
        with open(os.path.join(share, "delta.txt"), "wb") as f:
            f.write(b"d")
        self.assertIn(b"delta.txt", z.get("/")[2])

    def test_root_is_for_this_run_only(self):
        share = self.make_share()
        z = self.start_zof("--root", share)
        self.assertIn(b"alpha.txt", z.get("/")[2])
        z.finish()
        # The tree did not change: nothing kept for the next start...
        self.assertFalse(os.path.exists(os.path.join(z.cfg_dir, "~temp.vfs")), os.listdir(z.cfg_dir))
        # ...which, without --root, does not serve the folder.
        again = self.start_zof(cfg_dir=z.cfg_dir)
        status, _, body = again.get("/")
        self.assertEqual(status, 200)
        self.assertNotIn(b"alpha.txt", body)
        self.assertEqual(again.get("/alpha.txt")[0], 404)

    def test_root_with_relative_folder_and_named_files(self):
        share = self.make_share()
        extra = os.path.join(tempfile.mkdtemp(prefix="zof-extra-"), "extra.txt")
        self.addCleanup(subprocess.run, ["rm", "-rf", os.path.dirname(extra)])
        with open(extra, "wb") as f:
            f.write(b"extra")
        z = self.make_zof("--root", os.path.basename(share), extra)
        z.start(cwd=os.path.dirname(share))
        body = z.get("/")[2]
        self.assertIn(b"alpha.txt", body)
        # A file named beside it goes into the bound root.
        self.assertIn(b"extra.txt", body)
        self.assertEqual(z.get("/extra.txt")[2], b"extra")

    def test_root_is_not_handed_to_a_running_instance(self):
        share = self.make_share()
        first = self.start_zof(single_instance=True)
        second = self.make_zof("--root", share, single_instance=True, runtime_dir=first.runtime_dir)
        second.start(wait_ready=False)
        self.assertEqual(second.wait_exit(10), 0, second.dump())
        self.assertIn("--root is not handed to the running instance", second.stderr_text())
        # The running one received the rest of the line and kept its root.
        self.assertTrue(wait_until(lambda: "received command line" in first.stderr_text()), first.dump())
        self.assertNotIn(b"alpha.txt", first.get("/")[2])
        self.assertNotIn(share, first.stderr_text())

    def test_root_without_a_usable_folder_fails_at_once(self):
        share = self.make_share()
        for args, word in ((["--root"], "needs a folder"),
                           (["--root", os.path.join(share, "missing")], "not a folder"),
                           (["--root", os.path.join(share, "alpha.txt")], "not a folder")):
            with self.subTest(args=args):
                z = self.make_zof(*args, expect_exit=2)
                z.start(wait_ready=False)
                self.assertEqual(z.wait_exit(10), 2, z.dump())
                self.assertIn(word, z.stderr_text())
                self.assertNotIn(LISTEN_PREFIX, z.stdout_text())
                self.assertEqual(os.listdir(z.cfg_dir), [])


if __name__ == "__main__":
    unittest.main()
