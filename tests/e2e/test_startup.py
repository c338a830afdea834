"""Start-up, orderly stop, "-q", stored options and the single instance."""

import os
import signal
import time
import unittest

from zofharness import READY_LINE, ZofTestCase, free_port, read_cfg


class StartStop(ZofTestCase):
    def test_signals_stop_in_order(self):
        for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            with self.subTest(signal=sig.name):
                z = self.start_zof()
                rc, took = z.stop(sig)
                self.assertEqual(rc, 0, z.dump())
                self.assertLess(took, 1.0, z.dump())

    def test_q_quits_by_itself_after_startup(self):
        z = self.start_zof("-q", wait_ready=False)
        self.assertEqual(z.wait_exit(5), 0, z.dump())
        self.assertIn(READY_LINE, z.stdout_text().splitlines())
        # An orderly close saves the options into the folder given with -i.
        self.assertTrue(os.path.isfile(z.cfg_file()), z.dump())
        with open(z.cfg_file(), "rb") as f:
            self.assertTrue(f.read().startswith(b"ZOF 1.0 - Build #400\r\n"))

    def test_options_file_is_private(self):
        z = self.start_zof("-q", wait_ready=False)
        self.assertEqual(z.wait_exit(5), 0, z.dump())
        self.assertEqual(os.stat(z.cfg_file()).st_mode & 0o777, 0o600)

    def test_c_switch_sets_an_option(self):
        z = self.start_zof("-c", "log-max-lines=77", "-q", wait_ready=False)
        self.assertEqual(z.wait_exit(5), 0, z.dump())
        self.assertEqual(read_cfg(z.cfg_file())["log-max-lines"], "77")

    def test_c_switch_is_kept_like_any_option_change(self):
        # Over stored options the value is saved at once, the server still
        # running; "auto-save-options=no" before it keeps it out of the file.
        ini = "ZOF 1.0 - Build #400\r\nlog-max-lines=11\r\n"
        z = self.start_zof("-c", "log-max-lines=77", ini=ini)
        self.assertEqual(read_cfg(z.cfg_file())["log-max-lines"], "77")
        z = self.start_zof("-c", "auto-save-options=no\\nlog-max-lines=77", ini=ini)
        self.assertEqual(z.stop()[0], 0, z.dump())
        self.assertEqual(read_cfg(z.cfg_file())["log-max-lines"], "11")

    def test_missing_parameter_is_reported(self):
        z = self.start_zof("-q", "-c", wait_ready=False)
        # "-q" came before the broken switch and is still obeyed.
        self.assertEqual(z.wait_exit(5), 0, z.dump())
        self.assertIn("missing parameter needed", z.stderr_text())


class StoredOptions(ZofTestCase):
    SEED = ["ZOF 1.0 - Build #400", "log-max-lines=1234", "default-sorting=size",
            "tray-message=a\\nb", "forwarded-mask=127.0.0.1", "no-such-key=1", ""]

    def test_seeded_ini_is_read_with_either_line_end(self):
        for eol in ("\r\n", "\n"):
            with self.subTest(eol=repr(eol)):
                z = self.start_zof("-q", ini=eol.join(self.SEED), wait_ready=False)
                self.assertEqual(z.wait_exit(5), 0, z.dump())
                cfg = read_cfg(z.cfg_file())
                self.assertEqual(cfg["log-max-lines"], "1234")
                self.assertEqual(cfg["default-sorting"], "size")
                self.assertEqual(cfg["tray-message"], "a\\nb")
                self.assertEqual(cfg["forwarded-mask"], "::1;127.0.0.1")
                self.assertNotIn("no-such-key", cfg)
                self.assertIn("only-1-instance", cfg)  # every key is written

    def test_seeded_port_is_listened_on(self):
        port = free_port()
        z = self.start_zof(ini="ZOF 1.0 - Build #400\r\nport=%d\r\n" % port, use_port=False)
        self.assertIsNotNone(z.listen_url, z.dump())
        self.assertTrue(z.listen_url.endswith(":%d/" % port), z.dump())
        self.assertEqual(z.port, port)
        # The harness's two ways of speaking HTTP reach the server.
        status, headers, _ = z.get("/")
        self.assertTrue(100 <= status < 600)
        self.assertTrue(z.raw(b"GET / HTTP/1.0\r\n\r\n").startswith(b"HTTP/1."))
        self.assertEqual(z.stop()[0], 0)

    def test_port_on_the_command_line_replaces_a_taken_stored_port(self):
        # The stored port is busy, so the start with it fails; "-c port=N"
        # (added by the harness) must still end with a server on N.
        import socket
        taken = socket.socket()
        self.addCleanup(taken.close)
        taken.bind(("127.0.0.1", 0))
        taken.listen(1)
        busy = taken.getsockname()[1]
        port = free_port()
        z = self.start_zof(ini="ZOF 1.0 - Build #400\r\nport=%d\r\nlisten-on=127.0.0.1\r\n" % busy, port=port)
        self.assertTrue(z.listen_url.endswith(":%d/" % port), z.dump())
        status, _, _ = z.get("/")
        self.assertEqual(status, 200, z.dump())
        self.assertEqual(z.stop()[0], 0)

    def test_ignore_stored_options(self):
        ini = "ZOF 1.0 - Build #400\r\nlog-max-lines=1234\r\nonly-1-instance=no\r\n"
        z = self.start_zof("-q", ini=ini, env={"ZOF_IGNORE_STORED_OPTIONS": "1"}, wait_ready=False)
        self.assertEqual(z.wait_exit(5), 0, z.dump())
        self.assertIn("Clean start", z.stderr_text())
        # Quitting after a clean start does not write the defaults over the stored options.
        with open(z.cfg_file(), encoding="utf-8", newline="") as f:
            self.assertEqual(f.read(), ini)
        # A change made during a clean start is saved.
        z2 = self.start_zof("-c", "max-ips=4", "-q", cfg_dir=z.cfg_dir,
                            env={"ZOF_IGNORE_STORED_OPTIONS": "1"}, wait_ready=False)
        self.assertEqual(z2.wait_exit(5), 0, z2.dump())
        cfg = read_cfg(z2.cfg_file())
        self.assertEqual(cfg["max-ips"], "4")
        self.assertEqual(cfg["log-max-lines"], "2000")


class SingleInstance(ZofTestCase):
    def second(self, first, *args, **kw):
        """Another start sharing the first one's runtime folder."""
        return self.make_zof(*args, single_instance=True, runtime_dir=first.runtime_dir, **kw)

    def test_second_start_hands_over_its_command_line(self):
        first = self.start_zof(single_instance=True)
        second = self.second(first, "some file.txt")
        t0 = time.monotonic()
        second.start(wait_ready=False, cwd=second.tmp)
        self.assertEqual(second.wait_exit(5), 0, second.dump())
        self.assertLess(time.monotonic() - t0, 3.0)
        self.assertNotIn(READY_LINE, second.stdout_text())
        line = first.err.wait_for(lambda l: l.startswith("ZOF received command line: "), 5)
        self.assertIsNotNone(line, first.dump())
        self.assertIn(second.tmp, line)
        self.assertIn("some file.txt", line)
        # "-q" handed over makes the running instance close.
        third = self.second(first, "-q")
        third.start(wait_ready=False)
        self.assertEqual(third.wait_exit(5), 0, third.dump())
        self.assertEqual(first.wait_exit(5), 0, first.dump())

    def test_independent_instances(self):
        cases = [
            ("option off", "ZOF 1.0 - Build #400\r\nonly-1-instance=no\r\n", {}),
            ("skip requested", None, {"ZOF_NO_SINGLE_INSTANCE": "1"}),
        ]
        for name, ini, env in cases:
            with self.subTest(name):
                first = self.start_zof(single_instance=True)
                second = self.second(first, ini=ini, env=env)
                second.start()  # reaches the end of its own start-up
                self.assertIsNone(second.proc.poll())
                self.assertEqual(second.stop()[0], 0, second.dump())
                self.assertEqual(first.stop()[0], 0, first.dump())

    def test_channel_folder_is_private(self):
        first = self.start_zof(single_instance=True)
        folder = os.path.join(first.runtime_dir, "zof")
        self.assertEqual(os.stat(folder).st_mode & 0o777, 0o700)
        self.assertEqual(first.stop()[0], 0)


if __name__ == "__main__":
    unittest.main()
