#!/usr/bin/env python3
"""Instructions per request of zof binaries, counted by callgrind (valgrind):
unlike requests per second, the count hardly moves when the machine is busy,
so two versions can be compared to a percent. The count covers the whole
process while the requests run (the event loop included).
usage: bench/instructions.py ZOF [BASE]   (two binaries: a column of ratios)
Rows: a 1 KiB file (2,000 requests) without and with a session cookie, and a
folder page of 2,000 files (20), each on one keep-alive connection after
three warm-up requests."""
import http.client, os, re, shutil, signal, subprocess, sys, tempfile

def measure(zof, rows):
    tmp = tempfile.mkdtemp(prefix="zof-instructions-")
    pub = os.path.join(tmp, "pub"); os.makedirs(pub)
    with open(os.path.join(pub, "1k.bin"), "wb") as f: f.write(os.urandom(1024))
    many = os.path.join(pub, "many"); os.makedirs(many)
    for i in range(2000): open(os.path.join(many, "file-%04d.txt" % i), "w").close()
    env = dict(os.environ, HOME=tmp, XDG_CONFIG_HOME=tmp + "/xdg", XDG_RUNTIME_DIR=tmp + "/run",
               ZOF_NO_SINGLE_INSTANCE="1", QT_QPA_PLATFORM="offscreen")
    os.makedirs(tmp + "/run", mode=0o700)
    out = tmp + "/cg.out"
    p = subprocess.Popen(["valgrind", "--tool=callgrind", "--instr-atstart=no", "--callgrind-out-file=" + out,
                          zof, "--headless", "-i", tmp + "/cfg", "-c", "port=0", pub],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
    port = None
    for line in p.stdout:
        m = re.match(r"ZOF listening on http://[^:]+:(\d+)/", line)
        if m: port = int(m.group(1))
        if re.match(r"ZOF \S+ started$", line.strip()): break
    if port is None:
        sys.exit("%s did not start" % zof)
    result = {}
    for name, path, n, headers in rows:
        c = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        for _ in range(3):  # warm-up: caches, first listing
            c.request("GET", path, headers=headers); c.getresponse().read()
        subprocess.run(["callgrind_control", "-i", "on", str(p.pid)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        subprocess.run(["callgrind_control", "-z", str(p.pid)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        for _ in range(n):
            c.request("GET", path, headers=headers); r = c.getresponse(); r.read(); assert r.status == 200, r.status
        subprocess.run(["callgrind_control", "-d", name, str(p.pid)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        subprocess.run(["callgrind_control", "-i", "off", str(p.pid)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        c.close()
        dumps = sorted(f for f in os.listdir(tmp) if f.startswith("cg.out."))
        text = open(os.path.join(tmp, dumps[-1])).read()
        total = int(re.search(r"^(?:summary|totals): (\d+)", text, re.M).group(1))
        result[name] = total / n
        for f in dumps: os.remove(os.path.join(tmp, f))
    p.send_signal(signal.SIGTERM); p.wait(60)
    shutil.rmtree(tmp, ignore_errors=True)
    return result

if not 2 <= len(sys.argv) <= 3 or not shutil.which("callgrind_control"):
    sys.exit("usage: instructions.py ZOF [BASE] (needs valgrind)")
cookie = {"Cookie": "ZOF_SID_=9f1c0e5b7a2d4c68b3e1f0a9d8c7b6a5"}
rows = [("file1k", "/pub/1k.bin", 2000, {}), ("file1k+sid", "/pub/1k.bin", 2000, cookie),
        ("page2000", "/pub/many/", 20, {})]
bins = sys.argv[1:]
res = [measure(b, rows) for b in bins]
print("%-12s" % "row" + "".join("%16s" % os.path.basename(b) for b in bins) + ("%10s" % "zof/base" if len(bins) == 2 else ""))
for name, *_ in rows:
    vals = [r[name] for r in res]
    print("%-12s" % name + "".join("%16.0f" % v for v in vals) + ("%10.3f" % (vals[0] / vals[1]) if len(bins) == 2 else ""))
