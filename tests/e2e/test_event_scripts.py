"""Event scripts seen from outside: a zof.events file in the configuration
folder runs its sections at connections, requests, uploads and on the
clock; what some sections answer renames or refuses an upload, or ends a
request; an edit of the file takes effect without a restart; a broken or
looping script leaves the server answering."""

import json
import os
import shutil
import socket
import tempfile
import time
import unittest

from test_uploads import account, ini_text, multipart, read, write_tree
from zofharness import ZofProcess, ZofTestCase, wait_until


class EventScriptsCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-ev-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(os.path.join(self.pub, "sub"))
        with open(os.path.join(self.pub, "hello.txt"), "wb") as f:
            f.write(b"hello")
        self.tree = os.path.join(self.data, "tree.vfs")
        write_tree(self.tree, {"pub": {"path": self.pub, "upload": ["@anyone"]}})
        self.trace = os.path.join(self.data, "trace.txt")
        self.cfg = os.path.join(self.data, "cfg")
        os.makedirs(self.cfg)

    def write_events(self, text):
        path = os.path.join(self.cfg, "zof.events")
        with open(path, "w", encoding="utf-8") as f:
            # Scripts write disk paths with "\\" ("/" starts a URL of the tree).
            f.write(text.replace("TRACE", self.trace.replace("/", "\\")))
        return path

    def zof(self, events, **options):
        self.write_events(events)
        z = self.start_zof(self.tree, ini=ini_text(account("bob", "pw1"), **options), cfg_dir=self.cfg)
        z.wait_port()
        return z

    def traced(self):
        return read(self.trace).decode().split() if os.path.exists(self.trace) else []

    def upload(self, z, files):
        body, ctype = multipart(files)
        status, _, answer = z.request("POST", "/pub/", body=body, headers={"Content-Type": ctype})
        self.assertEqual(status, 200, answer[:300])
        return json.loads(answer.decode("utf-8").strip())


class TestConnectionEvents(EventScriptsCase):
    def test_connected_and_request_sections_run_with_their_item(self):
        z = self.zof("[connected]\n{.append|TRACE|connected{.chr|10.}.}\n"
                     "[request]\n{.append|TRACE|%event%{.chr|10.}.}\n"
                     "[download completed]\n{.append|TRACE|done:%item-name%{.chr|10.}.}\n")
        status, _, body = z.get("/pub/hello.txt")
        self.assertEqual((status, body), (200, b"hello"))
        self.assertTrue(wait_until(lambda: "done:hello.txt" in self.traced(), 5), self.traced())
        self.assertEqual(self.traced(), ["connected", "request", "done:hello.txt"])

    def test_request_with_a_reason_is_denied_and_the_connection_closed(self):
        z = self.zof("[request]\n{.disconnection reason|go away.}\n")
        with socket.create_connection(("127.0.0.1", z.port), timeout=5) as s:
            s.sendall(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\nConnection: keep-alive\r\n\r\n")
            got = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break  # closed by the server, not by the timeout
                got += chunk
        self.assertTrue(got.startswith(b"HTTP/1.1 403"), got[:200])
        self.assertNotIn(b"hello", got.partition(b"\r\n\r\n")[2])
        # The server goes on answering (every request is refused the same way).
        self.assertEqual(z.get("/pub/hello.txt")[0], 403)

    def test_download_name_sets_the_saved_name_but_only_a_plain_one(self):
        z = self.zof("[download name]\nreport-%item-name%\n")
        _, headers, _ = z.get("/pub/hello.txt")
        self.assertIn("filename=report-hello.txt", headers.get("content-disposition", ""))
        self.write_events("[download name]\n..\n")
        time.sleep(1.1)  # another second for the file's time
        self.assertTrue(wait_until(lambda: z.get("/pub/hello.txt")[1].get("content-disposition", "")
                                   .endswith("filename=hello.txt"), 4))


class TestUploadEvents(EventScriptsCase):
    def test_upload_name_renames_within_the_folder(self):
        z = self.zof("[upload name]\n{.if|{.match|*.log|%item-name%.}|sub\\%item-name%|new?%item-name%.}\n")
        res = self.upload(z, [("a.txt", b"one"), ("b.txt", b"two"), ("c.log", b"three")])
        self.assertEqual([r.get("err") for r in res], [None, None, None], res)
        # A full path ("\\" first) is taken when it stays inside the folder.
        self.write_events("[upload name]\n%s\\sub\\full-%%item-name%%\n" % self.pub.replace("/", "\\"))
        time.sleep(1.1)
        self.assertTrue(wait_until(lambda: not self.upload(z, [("d.txt", b"four")])[0].get("err")
                                   and os.path.exists(os.path.join(self.pub, "sub", "full-d.txt")), 4))
        # "?" in the answer becomes "_"; "\\" puts the file in a subfolder.
        self.assertEqual(read(os.path.join(self.pub, "new_a.txt")), b"one")
        self.assertEqual(read(os.path.join(self.pub, "new_b.txt")), b"two")
        self.assertEqual(read(os.path.join(self.pub, "sub", "c.log")), b"three")

    def test_upload_name_cannot_leave_the_folder(self):
        outside = os.path.join(self.data, "outside")
        os.makedirs(outside)
        z = self.zof("[upload name]\n%s\n" % ("\\" + outside.strip("/").replace("/", "\\") + "\\x.txt"))
        res = self.upload(z, [("a.txt", b"one")])
        self.assertEqual(res[0].get("err"), "File name or extension forbidden.", res)
        self.assertEqual(os.listdir(outside), [])
        for answer in ("..\\x.txt", "sub\\..\\..\\x.txt", "c:\\x.txt"):
            self.write_events("[upload name]\n%s\n" % answer)
            time.sleep(1.1)
            self.assertTrue(wait_until(lambda: self.upload(z, [("a.txt", b"one")])[0].get("err"), 4), answer)
        self.assertEqual(sorted(os.listdir(self.pub)), ["hello.txt", "sub"])

    def test_upload_completed_answer_refuses_the_upload(self):
        z = self.zof("[upload completed]\n{.if|{.match|*.exe|%item-name%.}|no programs here.}\n"
                     "[upload failed]\n{.append|TRACE|failed:%item-name%{.chr|10.}.}\n")
        res = self.upload(z, [("tool.exe", b"MZ" * 100), ("ok.txt", b"fine")])
        self.assertEqual(res[0].get("err"), "no programs here", res)
        self.assertNotIn("err", res[1])
        self.assertEqual(sorted(os.listdir(self.pub)), ["hello.txt", "ok.txt", "sub"])
        # A part that failed on its own runs "upload failed".
        res = self.upload(z, [("bad*.txt", b"x")])
        self.assertTrue(res[0].get("err"))
        self.assertTrue(wait_until(lambda: self.traced() == ["failed:bad*.txt"], 3), self.traced())


class TestProgramEvents(EventScriptsCase):
    def test_start_server_and_quit_sections_run_in_order(self):
        z = self.zof("[start]\n{.append|TRACE|start{.chr|10.}.}\n"
                     "[server start]\n{.append|TRACE|listening{.chr|10.}.}\n"
                     "[quit]\n{.append|TRACE|quit{.chr|10.}.}\n"
                     "[server stop]\n{.append|TRACE|stopped{.chr|10.}.}\n")
        self.assertEqual(self.traced()[-1], "start")
        self.assertIn("listening", self.traced())
        rc, _ = z.stop()
        self.assertEqual(rc, 0, z.dump())
        self.assertEqual(self.traced()[-2:], ["quit", "stopped"])


class TestScriptFileAndClock(EventScriptsCase):
    def test_every_second_section_runs_about_once_a_second(self):
        z = self.zof("[every 1]\n{.append|TRACE|tick{.chr|10.}.}\n")
        time.sleep(4.5)
        n = len(self.traced())
        self.assertGreaterEqual(n, 3, z.dump())
        self.assertLessEqual(n, 6)

    def test_an_edit_takes_effect_without_a_restart(self):
        z = self.zof("[request]\n{.append|TRACE|before{.chr|10.}.}\n")
        z.get("/pub/hello.txt")
        self.assertEqual(self.traced(), ["before"])
        time.sleep(1.1)  # the edit gets a later time than the first file
        self.write_events("[request]\n{.append|TRACE|after{.chr|10.}.}\n")
        start = time.monotonic()
        self.assertTrue(wait_until(lambda: z.get("/pub/hello.txt") and self.traced()[-1] == "after", 2.5),
                        self.traced())
        self.assertLess(time.monotonic() - start, 2.5)
        # A deleted file keeps the scripts that were loaded.
        os.remove(os.path.join(self.cfg, "zof.events"))
        time.sleep(1.5)
        z.get("/pub/hello.txt")
        self.assertEqual(self.traced()[-1], "after")

    def test_broken_and_looping_scripts_leave_the_server_answering(self):
        z = self.zof("[connected]\n{.if|1|unclosed\n"
                     "[request]\n{.for|i|1|100000000|{.set|x|%i%.}.}{.append|TRACE|ran{.chr|10.}.}\n")
        for _ in range(3):
            status, _, body = z.get("/pub/hello.txt", timeout=20)
            self.assertEqual((status, body), (200, b"hello"))
        self.assertEqual(self.traced(), ["ran"] * 3)
        # The loop was cut short, and said so once.
        self.assertEqual(z.stderr_text().count("stopped: too many loop rounds"), 1, z.dump())


if __name__ == "__main__":
    unittest.main()
