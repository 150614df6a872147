#!/usr/bin/env python3
"""A pass of 20 plans over pages a script builds: rendered in the browser, then the same 20 read
directly from the JSON request behind them. Prints the time of each pass and the peak memory
(proportional set size, shared pages counted once) of the program, of all the browser's processes
and of both together.

    python3 bench/render_pass.py build/bin/tovidesk-cli
"""
import http.server, json, os, subprocess, sys, tempfile, threading, time

CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bin/tovidesk-cli")
PLANS = 20
JSON_EXPR = r'"id": ([0-9]+), "title": "((?:[^"\\]|\\.)*)"'

PAGE = """<!DOCTYPE html><html><head><meta charset="utf-8"><title>board {n}</title></head><body>
<div id="app">loading</div><script>
fetch('/data/{n}.json').then(r=>r.json()).then(d=>{{document.getElementById('app').innerHTML=
'<ul class="threads">'+d.threads.map(t=>'<li class="thread"><a href="/t/'+t.id+'" class="title">'+t.title+
'</a> <span>'+t.replies+' replies</span></li>').join('')+'</ul>';}});</script></body></html>"""


def data(n):
    return json.dumps({"threads": [{"id": n * 1000 + k, "title": f"Thread {k} of board {n}: a question",
                                    "replies": k} for k in range(40, 0, -1)]})


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        n = int(''.join(c for c in self.path.split('/')[-1] if c.isdigit()) or 0)
        body, kind = (data(n), "application/json") if self.path.startswith("/data/") else (PAGE.format(n=n), "text/html")
        raw = body.encode()
        self.send_response(200)
        self.send_header("Content-Type", kind + "; charset=utf-8")
        self.send_header("Content-Length", str(len(raw)))
        self.end_headers()
        self.wfile.write(raw)

    def log_message(self, *args):
        pass


def pss(pid):
    """Proportional set size: pages shared between the browser's processes counted once in all."""
    try:
        for line in open(f"/proc/{pid}/smaps_rollup"):
            if line.startswith("Pss:"):
                return int(line.split()[1]) * 1024
    except OSError:
        pass
    return 0


def browser_pss():
    total = 0
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if b"tovidesk-browser-" in open(f"/proc/{pid}/cmdline", "rb").read():
                total += pss(pid)
        except OSError:
            pass
    return total


def cli(d, *args):
    return subprocess.run([CLI, "--dir", d, *args], capture_output=True, text=True)


def timed_pass(d, ids):
    args = [CLI, "--dir", d, "run", "--quiet"] + sum((["--plan", str(i)] for i in ids), [])
    peak_browser = peak_program = peak_all = 0
    start = time.monotonic()
    p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while p.poll() is None:
        program, browser = pss(p.pid), browser_pss()
        peak_program, peak_browser = max(peak_program, program), max(peak_browser, browser)
        peak_all = max(peak_all, program + browser)
        time.sleep(0.05)
    return time.monotonic() - start, peak_program, peak_browser, peak_all


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    with tempfile.TemporaryDirectory() as d:
        cli(d, "init")
        expr = '<a href="(/t/([0-9]+))" class="title">([^<]+)</a>'
        rendered, direct = [], []
        for n in range(1, PLANS + 1):
            r = cli(d, "plan", "add", "--name", f"r{n}", "--url", f"{base}/board/{n}.html", "--expr", expr,
                    "--title-group", "3", "--id-group", "2", "--mode", "id", "--render", "--before", "<ul", "--after", "</ul>")
            rendered.append(len(rendered) + len(direct) + 1) if r.returncode == 0 else sys.exit(r.stderr)
            r = cli(d, "plan", "add", "--name", f"j{n}", "--url", f"{base}/data/{n}.json",
                    "--expr", JSON_EXPR, "--url-template", base + "/t/[1]",
                    "--title-group", "2", "--id-group", "1", "--mode", "id", "--before", "[", "--after", "]}")
            direct.append(len(rendered) + len(direct) + 1) if r.returncode == 0 else sys.exit(r.stderr)
            cli(d, "plan", "set", str(direct[-1]), "json", "yes")
        for name, ids in (("rendered", rendered), ("direct JSON", direct)):
            elapsed, program, browser, together = timed_pass(d, ids)
            out = cli(d, "sql", f"select count(*) from info where planid in ({','.join(map(str, ids))})").stdout
            rows = [t for t in out.split() if t.isdigit()]
            print(f"{name:12s} {PLANS} plans: {elapsed:6.2f} s, peak PSS: program {program / 2**20:6.1f} MB, "
                  f"browser {browser / 2**20:7.1f} MB, all {together / 2**20:7.1f} MB; rows {rows[-1] if rows else '?'}")
    server.shutdown()


if __name__ == "__main__":
    main()
