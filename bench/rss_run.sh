#!/usr/bin/env bash
# Peak memory of `tovidesk-cli run`, served from a loopback server:
#   bench/rss_run.sh [build-dir] cycle   200 plans whose list pages are 1 MB each (500 matches), 8 fetches in flight
#   bench/rss_run.sh [build-dir] big     one plan whose list page is 50 MB
set -euo pipefail
build=${1:-build}
mode=${2:-cycle}
cli="$build/bin/tovidesk-cli"
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
size=$((1 << 20)); plans=200
if [ "$mode" = big ]; then size=$((50 << 20)); plans=1; fi
python3 - "$work" "$size" <<'PY'
import sys, os
size = int(sys.argv[2])
rows = []
for i in range(500, 0, -1):
    rows.append(f'<li>\t<a href="thread-{100000+i}-1-1.html" title="x">第{i}篇 新闻标题 测试文章</a>  <span>作者{i}</span></li>\r\n')
head = '<html><body>\r\n<!--list-start-->\r\n'
page = (head + ''.join(rows) + '<!--list-end-->\r\n').encode('gbk')
pad = b'<p>footer text</p>\r\n'
page += pad * ((size - len(page)) // len(pad) + 1)
open(os.path.join(sys.argv[1], 'list.html'), 'wb').write(page[:size])
PY
(cd "$work" && exec python3 -m http.server 0 --bind 127.0.0.1 >"$work/server.log" 2>&1) &
server=$!
for _ in $(seq 50); do grep -q 'port' "$work/server.log" 2>/dev/null && break; sleep 0.1; done
port=$(grep -o 'port [0-9]*' "$work/server.log" | head -1 | cut -d' ' -f2)
"$cli" --dir "$work" init >/dev/null
sql="BEGIN;"
for i in $(seq "$plans"); do
  sql+="insert into rule(id,class,code,name,url,ua,buquan,regular,before,after,tindex,uindex,oindex,isdo,lastid,type) values($i,1,'1','plan$i','http://127.0.0.1:$port/list.html','bench','http://x/thread-[1]-1-1.html','<a href=\"thread-(\\d+)-1-1\\.html\"[^>]*>(.*?)</a> <span>(.*?)</span>','<!--list-start-->','<!--list-end-->','2','1','3',1,'','0');"
done
sql+="COMMIT;"
"$cli" --dir "$work" sql "$sql" >/dev/null
/usr/bin/time -v "$cli" --dir "$work" run --pause-ms 0 --parallel 8 >/dev/null 2>"$work/time.txt" || true
grep -E 'Maximum resident|Elapsed' "$work/time.txt"
echo "articles stored: $("$cli" --dir "$work" sql 'select count(*) from info' | sed -n 3p)"
