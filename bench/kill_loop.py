#!/usr/bin/env python3
"""Nothing lost, nothing twice, under SIGKILL: runs of `tovidesk-cli run` killed at random
moments over pages that keep changing, with and without validators.

Usage: bench/kill_loop.py [build-dir] [seconds]   (default: build, 600)

Eighteen plans watch pages on 127.0.0.1 that grow by one article every 0.4 s (each page shows
its newest 30): six answer with an ETag, six with a Last-Modified, six with neither; half the
plans judge by article id, half newest first. Meanwhile, again and again, a run is started and
killed with SIGKILL after a random delay (a third of them are left to finish). At the end the
pages stop changing, one clean run follows, and the check is: every article on the final pages
stored exactly once, and no article stored twice anywhere. Everything listens on loopback only.
"""
import os, random, signal, sqlite3, subprocess, sys, tempfile, threading, time
from email.utils import formatdate
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

KINDS = ["etag", "lm", "plain"]
PER_KIND = 6
SHOWN = 30
lock = threading.Lock()
newest = {}  # page -> newest article id
changed = {}  # page -> time of the last change
frozen = False


def page_items(page):
    with lock:
        top = newest[page]
    return list(range(top, max(0, top - SHOWN), -1))


class Site(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        page = self.path.strip("/")
        if page not in newest:
            self.send_response(404)
            self.end_headers()
            return
        kind = page.split("-")[0]
        with lock:
            top, when = newest[page], changed[page]
        body = "<html><body><ul>" + "".join(
            f'<li><a href="t-{i}">article {page} {i}</a></li>' for i in page_items(page)) + "</ul></body></html>"
        if kind == "etag" and self.headers.get("If-None-Match") == f'"{top}"':
            self.send_response(304)
            self.end_headers()
            return
        if kind == "lm" and self.headers.get("If-Modified-Since") == formatdate(when, usegmt=True):
            self.send_response(304)
            self.end_headers()
            return
        data = body.encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data)))
        if kind == "etag":
            self.send_header("ETag", f'"{top}"')
        if kind == "lm":
            self.send_header("Last-Modified", formatdate(when, usegmt=True))
        self.end_headers()
        self.wfile.write(data)


class QuietServer(ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        pass  # a client killed in the middle of an answer


def grow():
    pages = list(newest)
    while not frozen:
        page = random.choice(pages)
        with lock:
            newest[page] += 1
            changed[page] = time.time()
        time.sleep(0.4)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 600
    cli = os.path.abspath(os.path.join(build, "bin", "tovidesk-cli"))
    work = tempfile.mkdtemp(prefix="tovi-kill-")
    for kind in KINDS:
        for k in range(PER_KIND):
            newest[f"{kind}-{k}"] = 5
            changed[f"{kind}-{k}"] = time.time() - 60
    server = QuietServer(("127.0.0.1", 0), Site)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = server.server_address[1]
    run = lambda *args: subprocess.run([cli, "--dir", work, *args], capture_output=True, text=True)
    run("init")
    for n, page in enumerate(newest):
        mode = "8" if n % 2 else "0"
        sql = ("insert into rule(class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,"
               f"isdo,lastid,type) values(1,'0','{page}','http://127.0.0.1:{port}/{page}','UA',"
               f"'http://127.0.0.1:{port}/t-[1]','<li><a href=\"t-(\\d+)\">(.*?)</a></li>',"
               f"'<ul>','</ul>','2','1','0',1,'','{mode}')")
        assert run("sql", sql).returncode == 0
    threading.Thread(target=grow, daemon=True).start()
    kills = finished = 0
    end = time.time() + seconds
    while time.time() < end:
        p = subprocess.Popen([cli, "--dir", work, "run", "--pause-ms", "0"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if random.random() < 0.67:
            time.sleep(random.uniform(0.0, 0.6))
            p.send_signal(signal.SIGKILL)
            kills += 1
        p.wait()
        finished += p.returncode == 0
    global frozen
    frozen = True
    time.sleep(1.5)  # a Last-Modified second passes
    last = run("run", "--pause-ms", "0")
    db = sqlite3.connect(os.path.join(work, "tovi.sdb"))
    db.text_factory = bytes
    rows = db.execute("select planname, url from info").fetchall()
    twice = len(rows) - len(set(rows))
    missing = 0
    for page in newest:
        stored = {u.decode() for n, u in rows if n.decode() == page}
        for i in page_items(page):
            missing += f"http://127.0.0.1:{port}/t-{i}" not in stored
    print(f"{seconds:.0f} s: {kills} runs killed, {finished} finished; last run exit {last.returncode}")
    print(f"rows {len(rows)}, stored twice {twice}, missing from the final pages {missing}")
    server.shutdown()
    sys.exit(0 if twice == 0 and missing == 0 else 1)


if __name__ == "__main__":
    main()
