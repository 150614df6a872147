#!/usr/bin/env python3
"""Tovidesk's one-pass run side by side with a page watcher written the usual Python way
(10 threads, no per-site limit, ETag/Last-Modified cache kept between processes), on the same
loopback sites, in one run.

Usage: bench/watcher_compare.py [build-dir]

For each case the sites answer after a fixed delay with 20 articles per page (and an ETag).
Reported per case: wall time, CPU time and peak RSS of
  - tovidesk-cli run (default: 16 in flight, 2 per site),
  - tovidesk-cli run --parallel 1 (the sequential reference; its stored rows must be identical),
  - the reference watcher,
then a second process of each over the unchanged pages: how many answers were 304.
Everything listens on 127.0.0.x (loopback) only.
"""
import json, os, re, shutil, sqlite3, subprocess, sys, tempfile, threading, time
import urllib.request
from concurrent.futures import ThreadPoolExecutor
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

EXPR = r'<li><a href="(t-[0-9-]+)">(.*?)</a></li>'


# ---- the reference watcher (runs in a process of its own) ----------------------------------

def watcher(work):
    plans = json.load(open(os.path.join(work, "plans.json")))
    cache_path = os.path.join(work, "cache.json")
    cache = json.load(open(cache_path)) if os.path.exists(cache_path) else {}
    db = sqlite3.connect(os.path.join(work, "watcher.db"), check_same_thread=False)
    db.execute("create table if not exists seen(plan, title, url, unique(plan, title, url))")
    lock = threading.Lock()
    pattern = re.compile(EXPR, re.S | re.I)

    def visit(plan):
        pid, url = plan
        req = urllib.request.Request(url, headers={"User-Agent": "watcher"})
        old = cache.get(url, {})
        if "etag" in old: req.add_header("If-None-Match", old["etag"])
        if "modified" in old: req.add_header("If-Modified-Since", old["modified"])
        try:
            with urllib.request.urlopen(req, timeout=60) as r:
                body = r.read().decode("gbk", "replace")
                validators = {k: v for k, v in (("etag", r.headers.get("ETag")),
                                                 ("modified", r.headers.get("Last-Modified"))) if v}
        except urllib.error.HTTPError as e:
            if e.code == 304: return 0
            raise
        rows = [(pid, m.group(2), "http://x/" + m.group(1)) for m in pattern.finditer(body)]
        with lock:
            with db:
                n = db.total_changes
                db.executemany("insert or ignore into seen values(?,?,?)", rows)
                stored = db.total_changes - n
            cache[url] = validators
        return stored

    with ThreadPoolExecutor(10) as pool:
        stored = sum(pool.map(visit, plans))
    json.dump(cache, open(cache_path, "w"))
    print(stored)


# ---- the loopback sites ----------------------------------------------------------------------

class Sites:
    """Sites on 127.0.0.1 .. 127.0.0.N, one port; every page answers after `delay` seconds."""

    def __init__(self, count, delay):
        self.delay, self.answers, self.not_modified = delay, 0, 0
        self.lock = threading.Lock()
        outer = self

        class Handler(BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *a): pass

            def do_GET(self):
                time.sleep(outer.delay)
                page = self.path.rsplit("/", 1)[-1]
                etag = '"p%s"' % page
                with outer.lock:
                    outer.answers += 1
                    if self.headers.get("If-None-Match") == etag:
                        outer.not_modified += 1
                        self.send_response(304); self.send_header("ETag", etag)
                        self.send_header("Content-Length", "0"); self.end_headers(); return
                items = "".join('<li><a href="t-%s-%d">第%d篇 %s</a></li>' % (page, i, i, page) for i in range(20, 0, -1))
                body = ("<html><body><ul>%s</ul></body></html>" % items).encode("gbk")
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=gbk")
                self.send_header("ETag", etag)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        ThreadingHTTPServer.daemon_threads = True
        ThreadingHTTPServer.request_queue_size = 256
        first = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = first.server_address[1]
        self.servers = [first] + [ThreadingHTTPServer(("127.0.0.%d" % k, self.port), Handler)
                                  for k in range(2, count + 1)]
        for s in self.servers:
            threading.Thread(target=s.serve_forever, daemon=True).start()

    def close(self):
        for s in self.servers: s.shutdown(); s.server_close()

    def counts(self):
        with self.lock:
            a, n = self.answers, self.not_modified
            self.answers = self.not_modified = 0
        return a, n


# ---- measuring ---------------------------------------------------------------------------------

def timed(cmd):
    """Wall seconds, CPU seconds and peak RSS (MB) of a child process."""
    out = subprocess.run(["/usr/bin/time", "-f", "@@ %e %U %S %M"] + cmd, capture_output=True, text=True)
    if out.returncode != 0: sys.exit("failed: %s\n%s" % (" ".join(cmd), out.stderr))
    wall, user, system, rss = out.stderr.rsplit("@@ ", 1)[1].split()
    return float(wall), float(user) + float(system), int(rss) / 1024


def tovi_dir(cli, work, name, urls):
    d = os.path.join(work, name)
    os.makedirs(d)
    subprocess.run([cli, "--dir", d, "init"], check=True, capture_output=True)
    con = sqlite3.connect(os.path.join(d, "tovi.sdb"))
    with con:
        for i, url in enumerate(urls, 1):
            con.execute("insert into rule(id,class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,"
                        "oindex,isdo,lastid,type) values(?,1,'1',?,?,'bench','http://x/[1]',?,'<ul>','</ul>',"
                        "'2','1','0',1,'','0')", (i, "plan%d" % i, url, EXPR))
    con.close()
    return d


def rows(d):
    con = sqlite3.connect(os.path.join(d, "tovi.sdb"))
    con.text_factory = bytes  # GBK, as stored
    r = con.execute("select planid, title, url, other from info order by planid, id").fetchall()
    con.close()
    return r


def case(cli, title, plans, sites, delay):
    work = tempfile.mkdtemp(prefix="tovi-watcher-")
    s = Sites(sites, delay)
    try:
        per = plans // sites
        urls = ["http://127.0.0.%d:%d/p/%d" % (i // per + 1, s.port, i + 1) for i in range(plans)]  # site after site
        json.dump(list(enumerate(urls, 1)), open(os.path.join(work, "plans.json"), "w"))
        ours, seq = tovi_dir(cli, work, "ours", urls), tovi_dir(cli, work, "seq", urls)
        run = lambda d, *extra: [cli, "--dir", d, "run", "--pause-ms", "0", *extra]
        o = timed(run(ours)); s.counts()
        q = timed(run(seq, "--parallel", "1")); s.counts()
        w = timed([sys.executable, __file__, "--watcher", work]); s.counts()
        same = rows(ours) == rows(seq) and len(rows(ours)) == plans * 20
        timed(run(ours)); ours304 = s.counts()
        timed([sys.executable, __file__, "--watcher", work]); w304 = s.counts()
        print("\n%s (%d plans on %d sites, answers %d ms late, queued site after site)" % (title, plans, sites, delay * 1000))
        print("  %-28s %8s %8s %8s" % ("", "wall s", "cpu s", "RSS MB"))
        for name, m in (("tovidesk-cli run", o), ("tovidesk-cli --parallel 1", q), ("reference watcher", w)):
            print("  %-28s %8.2f %8.2f %8.1f" % (name, *m))
        print("  speed: %.1fx sequential, %.2fx the watcher; CPU %.1fx less, memory %.1fx less than the watcher"
              % (q[0] / o[0], w[0] / o[0], w[1] / max(o[1], 1e-3), w[2] / o[2]))
        print("  stored rows identical to --parallel 1: %s" % ("yes" if same else "NO"))
        print("  second process, unchanged pages: ours %d/%d answered 304, watcher %d/%d"
              % (ours304[1], ours304[0], w304[1], w304[0]))
    finally:
        s.close()
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "--watcher":
        return watcher(sys.argv[2])
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    cli = os.path.abspath(os.path.join(build, "bin", "tovidesk-cli"))
    case(cli, "40 plans", 40, 4, 0.3)
    case(cli, "200 plans", 200, 8, 0.3)
    # A program directory holds at most 200 plans: the most there can be, on 50 sites.
    case(cli, "200 plans, fast sites", 200, 50, 0.02)


if __name__ == "__main__":
    main()
