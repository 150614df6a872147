-- Starter plans for a new tovi.sdb (UTF-8 here; stored as GBK). None is ticked by default:
-- point a plan at a real list page in the options window (or with the SQL console) first.
insert into rule(id,class,code,name,url,cookie,ua,arttile,arturl,lasttime,buquan,regular,before,after,tindex,uindex,oindex,isdo,lastid,type)
values(1,1,'1','示例论坛 最新帖子','http://bbs.example.com/forum-2-1.html','','Mozilla/5.0 (X11; Linux x86_64) Tovidesk','','','',
'http://bbs.example.com/thread-[1]-1-1.html','<a href="thread-(\d+)-1-1\.html"[^>]*>(.*?)</a>','<!--list-start-->','<!--list-end-->','2','1','1',0,'','8');
insert into rule(id,class,code,name,url,cookie,ua,arttile,arturl,lasttime,buquan,regular,before,after,tindex,uindex,oindex,isdo,lastid,type)
values(2,2,'0','示例新闻 滚动新闻','https://news.example.com/roll/','','Mozilla/5.0 (X11; Linux x86_64) Tovidesk','','','',
'https://news.example.com[1]','<li><a href="([^"]+)">(.*?)</a><span>(.*?)</span></li>','<ul class="roll">','</ul>','2','0','3',0,'','0');
insert into rule(id,class,code,name,url,cookie,ua,arttile,arturl,lasttime,buquan,regular,before,after,tindex,uindex,oindex,isdo,lastid,type)
values(3,2,'0','示例公告 按时间正序','https://www.example.com/notice.html','','Mozilla/5.0 (X11; Linux x86_64) Tovidesk','','','',
'https://www.example.com/notice/[1].html','<p id="n(\d+)">(.*?)</p>','<div id="notices">','</div>','2','1','0',0,'','2');
