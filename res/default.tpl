Built-in page template of ZOF.
Browsing and downloading work without JavaScript; the panels for new folders,
renaming, comments, moving, deleting, uploading and logging in use the bundled
jQuery (served at /?mode=jquery) and the handlers of the "ajax.*" sections.
A template file may redefine any section below; "[+name]" extends one.

[+special:strings]
option.newfolder=1
option.move=1
option.comment=1
option.rename=1
title=Files
home=Home
up=Up
search=Search
search here=Search this folder
recursive=in subfolders
login=Log in
logout=Log out
username=Username
password=Password
change password=Change password
logged in as=Logged in as
new folder=New folder
rename=Rename
move=Move
comment=Comment
delete=Delete
upload=Upload
upload files=Upload files
archive=Download as archive
archive zip=Download as zip
archive selection=Download selection
archive selection zip=Download selection as zip
select all=Select all
name=Name
size=Size
modified=Modified
hits=Downloads
no files=This folder is empty.
items=items
files=files
folders=folders
total=total
free space=free space
forbidden=Forbidden
forbidden text=You are not allowed to see this resource.
not found=Not found
not found text=The item you asked for does not exist here.
back to root=Go to the home folder
overload=Server busy
overload text=Too many requests are being served now. Please try again in a moment.
max contemp=Too many downloads
max contemp text=You have reached the number of simultaneous downloads allowed to you.
unauth=Unauthorized
unauth text=The credentials you gave are not valid here.
banned=You are banned
login required=Login required
login text=This resource is protected: please log in.
wrong login=Wrong username or password
progress=Transfers
no transfers=No transfer is in progress.
uploading=Uploading
downloading=Downloading
time left=left
uploaded by=uploaded by
upload done=Upload finished
confirm delete=Delete the selected items?
enter name=Name
enter comment=Comment
enter destination=Destination folder (a path in this site)
ok=OK
cancel=Cancel
failed=Failed
bad name=This name is not allowed
bad password=This password is not allowed
not allowed=Not allowed
already exists=An item with this name already exists
minimum disk space reached=Not enough disk space left
file name or extension forbidden=This file name or type is not accepted here
file already exists=A file with this name already exists
could not write file=The file could not be written
size limit exceeded=The file is too large
file is empty=The file is empty
generated=Page built in
seconds=seconds

[template id]
zof default template
built in

[api level]
2

[sort by]
n

[style]
<link rel="stylesheet" href="/~normalize.css"><link rel="stylesheet" href="/~style.css">

[common-head|private]
<!DOCTYPE html>
<html lang="en"><head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="ZOF %version%">
<link rel="icon" href="/favicon.ico">
<link rel="stylesheet" href="/~normalize.css">
<link rel="stylesheet" href="/~icons.css">
<link rel="stylesheet" href="/~style.css">

[title-bar|private]
<header class="title-bar">
 <a class="home" href="/">{.!home.}</a>
 <nav class="crumbs">{.breadcrumbs|{:<a href="%bread-url%">%bread-name%</a>:}|from=1.}</nav>
 <span class="who">%loggedin%%login-link%</span>
</header>

[loggedin|private]
{.!logged in as.} <b>%user%</b> · <a href="#" class="js-only" id="changepwd">{.!change password.}</a> · <a href="/?mode=logout" id="logout">{.!logout.}</a>

[login-link|private]
<a href="/~login" id="login">{.!login.}</a>

[search panel|private]
<form class="panel search" method="get" action="%encoded-folder%">
 <input type="search" name="search" value="{.encode html|{.?search.}.}" placeholder="{.!search here.}" aria-label="{.!search.}">
 {.if|{.get|can recur.}|<input type="hidden" name="recursive" value="">.}
 <button type="submit">{.!search.}</button>
</form>

[folder panel|private]
<section class="panel folder">
 %up%
 <h1>{.encode html|%folder-name%.}{.if|%folder-name%||{.!home.}.}</h1>
 %folder-comment%
 <p class="totals">%number% {.!items.} · %number-folders% {.!folders.} · %number-files% {.!files.} · %total-size% {.!total.}{.if|%upload-link%| · %diskfree% {.!free space.}.}</p>
</section>

[menu panel|private]
<nav class="panel menu js-only">
 <button type="button" class="select-all">{.!select all.}</button>
 {.if|%upload-link%|{:{.if|{.!option.newfolder.}|<button type="button" id="mkdir">{.!new folder.}</button>.}:}.}
 {.if|{.get|can delete.}|{:{.if|{.!option.rename.}|<button type="button" id="rename">{.!rename.}</button>.}{.if|{.!option.comment.}|<button type="button" id="comment">{.!comment.}</button>.}{.if|{.!option.move.}|<button type="button" id="move">{.!move.}</button>.}<button type="button" id="delete" class="danger">{.!delete.}</button>:}.}
 %archive%
</nav>

[archive|private]
<a class="button" href="%encoded-folder%~folder.tar{.if|{.?recursive.}|?recursive.}">{.!archive.}</a>
<a class="button" href="%encoded-folder%~folder.zip{.if|{.?recursive.}|?recursive.}">{.!archive zip.}</a>
<button type="button" class="archive-selection" data-format="tar">{.!archive selection.}</button>
<button type="button" class="archive-selection" data-format="zip">{.!archive selection zip.}</button>

[upload panel|private]
{.if|%upload-link%|{:
<section class="panel upload">
 <form method="post" enctype="multipart/form-data" action="%encoded-folder%" id="upload-form">
  <input type="hidden" name="csrf-token" value="%csrf-token%">
  <label>{.!upload files.} <input type="file" name="file" multiple></label>
  <button type="submit">{.!upload.}</button>
  <output id="upload-status"></output>
 </form>
</section>
:}.}

[upload-link|private]
<a class="button" href="#upload-form">{.!upload.}</a>

[list panel|private]
<main class="panel list">
%files%
</main>

[files|private]
<form method="post" action="%encoded-folder%" id="files-form">
<input type="hidden" name="csrf-token" value="%csrf-token%">
<input type="hidden" name="action" value="">
<table class="items">
 <thead><tr>
  <th><a href="?sort=n{.if|{.and|{.?sort=n.}|{.not|{.?rev.}.}.}|&amp;rev=1.}">{.!name.}</a></th>
  <th><a href="?sort=s{.if|{.and|{.?sort=s.}|{.not|{.?rev.}.}.}|&amp;rev=1.}">{.!size.}</a></th>
  <th><a href="?sort=t{.if|{.and|{.?sort=t.}|{.not|{.?rev.}.}.}|&amp;rev=1.}">{.!modified.}</a></th>
  <th><a href="?sort=d{.if|{.and|{.?sort=d.}|{.not|{.?rev.}.}.}|&amp;rev=1.}">{.!hits.}</a></th>
 </tr></thead>
 <tbody>
%list%
 </tbody>
</table>
</form>

[nofiles|private]
<p class="nofiles">{.!no files.}</p>

[up|private]
<a class="up" href="%parent-folder%" rel="up">&uarr; {.!up.}</a>

[newfile|private]
<span class="new">new</span>

[comment|private]
<div class="comment">%item-comment%</div>

[folder-comment|private]
<div class="comment folder-comment">%item-comment%</div>

[protected|private]
<span class="lock" title="protected">&#128274;</span>

[item-archive|private]

[file=folder=link|private]
<tr class="%item-type%"><td class="name"><a href="%item-url%">%item-name%</a>%protected%%new%%comment%<small>{.encode html|%item-relative-folder%.}</small></td>

[+file|private]
<td>%item-size%</td><td>%item-modified%</td><td>%item-dl-count%</td></tr>

[+folder|private]
<td>&mdash;</td><td>%item-modified%</td><td></td></tr>

[+link|private]
<td>&mdash;</td><td></td><td></td></tr>

[]
{.$common-head.}
<title>{.encode html|%folder-name%.}{.if|%folder-name%||{.!title.}.} · ZOF</title>
</head>
<body>
{.$title-bar.}
<div class="page">
{.$folder panel.}
{.$search panel.}
{.$menu panel.}
{.$list panel.}
{.$upload panel.}
</div>
<footer>{.!generated.} %build-time% {.!seconds.} · ZOF %version%</footer>
<script src="/?mode=jquery"></script>
<script src="/~sha256.js"></script>
<script src="/~lib.js"></script>
</body></html>

[normalize.css|no log|cache]
*,*::before,*::after{box-sizing:border-box}
html{-webkit-text-size-adjust:100%;line-height:1.4}
body{margin:0}
table{border-collapse:collapse}
button,input{font:inherit;margin:0}
a{background-color:transparent}

[icons.css|no log|cache]
.name a::before{content:"";display:inline-block;width:1.2em;height:1.2em;margin-right:.4em;vertical-align:-.2em;background:center/contain no-repeat}
.file .name a::before{background-image:url(/~img_file)}
.folder .name a::before{background-image:url(/~img_folder)}
.link .name a::before{background-image:url(/~img_link)}
.name input{margin:0 .5em 0 0;vertical-align:-.1em}
.lock{margin-left:.4em}

[style.css|no log|cache]
:root{--fg:#1d2330;--muted:#667085;--bg:#f6f7fb;--card:#fff;--line:#e4e7ee;--accent:#2f6fed;--danger:#c8322b}
@media (prefers-color-scheme:dark){:root{--fg:#e6e8ee;--muted:#9aa3b5;--bg:#14171e;--card:#1c2029;--line:#2b3140;--accent:#6b9cff;--danger:#ff6b63}}
body{font-family:system-ui,-apple-system,"Segoe UI",Roboto,sans-serif;background:var(--bg);color:var(--fg)}
a{color:var(--accent);text-decoration:none}a:hover{text-decoration:underline}
.title-bar{display:flex;flex-wrap:wrap;gap:.6em 1em;align-items:center;padding:.7em 1.2em;background:var(--card);border-bottom:1px solid var(--line)}
.title-bar .home{font-weight:600}.crumbs a+a::before{content:"/";color:var(--muted);margin:0 .4em}
.who{margin-left:auto;color:var(--muted)}
.page{max-width:1100px;margin:0 auto;padding:1em}
.panel{background:var(--card);border:1px solid var(--line);border-radius:10px;padding:.8em 1em;margin-bottom:1em}
h1{font-size:1.4em;margin:.2em 0}
.totals,.name small,footer{color:var(--muted);font-size:.9em}
.search{display:flex;gap:.5em}.search input{flex:1;min-width:0}
input[type=search],input[type=text],input[type=password]{padding:.45em .6em;border:1px solid var(--line);border-radius:6px;background:var(--bg);color:var(--fg)}
button,.button{padding:.45em .9em;border:1px solid var(--line);border-radius:6px;background:var(--bg);color:var(--fg);cursor:pointer;display:inline-block}
button:hover,.button:hover{border-color:var(--accent);text-decoration:none}
.danger{color:var(--danger)}
.menu{display:flex;flex-wrap:wrap;gap:.5em}
.items{width:100%}.items th,.items td{padding:.45em .5em;border-bottom:1px solid var(--line);text-align:left;vertical-align:top}
.items th{font-weight:600;font-size:.9em}
.items td:nth-child(2),.items td:nth-child(4),.items th:nth-child(2),.items th:nth-child(4){text-align:right;white-space:nowrap}
.items tr:hover td{background:var(--bg)}
.name a{word-break:break-word}.name small{display:block}.name small:empty{display:none}
.comment{color:var(--muted);font-size:.9em;white-space:pre-wrap}
.new{margin-left:.5em;font-size:.75em;padding:0 .4em;border-radius:4px;background:var(--accent);color:#fff}
.nofiles{color:var(--muted)}
.up{float:right}
footer{text-align:center;padding:1em}
.js-only{display:none}html.js .js-only{display:revert}
.error-box{max-width:560px;margin:10vh auto;text-align:center}
.dialog{position:fixed;inset:0;background:rgba(0,0,0,.45);display:flex;align-items:center;justify-content:center}
.dialog form{background:var(--card);padding:1.2em;border-radius:10px;min-width:280px;display:grid;gap:.6em}
@media (max-width:640px){.items td:nth-child(n+3),.items th:nth-child(n+3){display:none}.page{padding:.5em}.who{margin-left:0;width:100%}}

[sha256.js]
// SHA-256 of a text's UTF-8 bytes, in lower-case hexadecimal.
function sha256(s){
 var K=[],H=[],i,j,n=0,p=2;
 function frac(x){return (x-Math.floor(x))*4294967296|0}
 while(n<64){for(j=2;j*j<=p;j++)if(p%j==0)break;if(j*j>p){if(n<8)H[n]=frac(Math.pow(p,1/2));K[n++]=frac(Math.pow(p,1/3))}p++}
 var b=unescape(encodeURIComponent(s)),l=b.length,w=[];
 for(i=0;i<l;i++)w[i>>2]|=b.charCodeAt(i)<<(24-8*(i&3));
 w[l>>2]|=0x80<<(24-8*(l&3));w[((l+8)>>6<<4)+15]=l*8;
 for(i=0;i<w.length;i+=16){
  var W=w.slice(i,i+16),a=H.slice(0),t1,t2,x;
  for(j=0;j<64;j++){
   if(j>15){x=W[j-15];var y=W[j-2];
    W[j]=(W[j-16]+((x>>>7|x<<25)^(x>>>18|x<<14)^(x>>>3))+W[j-7]+((y>>>17|y<<15)^(y>>>19|y<<13)^(y>>>10)))|0}
   x=a[4];t1=a[7]+((x>>>6|x<<26)^(x>>>11|x<<21)^(x>>>25|x<<7))+((x&a[5])^(~x&a[6]))+K[j]+(W[j]|0);
   x=a[0];t2=((x>>>2|x<<30)^(x>>>13|x<<19)^(x>>>22|x<<10))+((x&a[1])^(x&a[2])^(a[1]&a[2]));
   a=[(t1+t2)|0].concat(a);a[4]=(a[4]+t1)|0;a.length=8}
  for(j=0;j<8;j++)H[j]=(H[j]+a[j])|0}
 var out='';for(i=0;i<8;i++)out+=('00000000'+(H[i]>>>0).toString(16)).slice(-8);return out}

[lib.js|no log|cache]
// Page behaviour over jQuery. Everything here is optional: links and the
// plain forms keep browsing, searching and downloading working without it.
document.documentElement.className+=' js';
(function($){
 if(!$)return;
 var here=location.pathname;
 // The session's form token: requests the script sends carry it as the forms do.
 var token=$('input[name="csrf-token"]').first().val();
 function signed(data){if(token)data['csrf-token']=token;return data}
 // Selection boxes are added here: they are of no use without the script.
 $('#files-form td.name').each(function(){var a=this.getElementsByTagName('a')[0],c=document.createElement('input');
  c.type='checkbox';c.name='selection';c.value=a.getAttribute('href');c.setAttribute('aria-label',a.textContent);this.insertBefore(c,a)});
 function selected(){return $('#files-form input[name=selection]:checked').map(function(){return this.value}).get()}
 function nameOf(u){u=decodeURIComponent(u.replace(/\/$/,''));return u.substr(u.lastIndexOf('/')+1)}
 function ask(label,value,cb){
  var d=$('<div class="dialog"><form><label></label><input type="text"><div><button type="submit">OK</button> <button type="button" class="cancel">Cancel</button></div></form></div>');
  d.find('label').text(label);d.find('input').val(value||'');
  d.find('.cancel').on('click',function(){d.remove()});
  d.find('form').on('submit',function(e){e.preventDefault();var v=d.find('input').val();d.remove();cb(v)});
  $('body').append(d);d.find('input').focus();
 }
 function call(section,data){
  return $.post(here+'?mode=section&id='+encodeURIComponent(section),signed(data)).then(function(res){
   res=$.trim(res);if(res!=='ok'&&res!=='')alert(res);location.reload()});
 }
 $('.select-all').on('click',function(){var b=$('#files-form input[name=selection]');b.prop('checked',!b.first().prop('checked'))});
 $('#mkdir').on('click',function(){ask('New folder','',function(n){if(n)call('ajax.mkdir',{name:n})})});
 $('#rename').on('click',function(){var s=selected();if(s.length!=1)return alert('Select one item');
  ask('New name',nameOf(s[0]),function(n){if(n)call('ajax.rename',{from:nameOf(s[0]),to:n})})});
 $('#comment').on('click',function(){var s=selected();if(!s.length)return alert('Select items');
  ask('Comment','',function(c){call('ajax.comment',{files:s.map(nameOf).join(':'),text:c})})});
 $('#move').on('click',function(){var s=selected();if(!s.length)return alert('Select items');
  ask('Destination folder',here,function(d){if(d)call('ajax.move',{files:s.map(nameOf).join(':'),dst:d})})});
 // The selected items as one archive: the form posts them to the archive address.
 $('.archive-selection').on('click',function(){if(!selected().length)return alert('Select items');
  var f=$('#files-form'),a=f.attr('action');f.find('input[name=action]').val('');
  f.attr('action',here+'~folder.'+$(this).data('format')+location.search).submit();f.attr('action',a)});
 $('#delete').on('click',function(){var s=selected();if(!s.length||!confirm('Delete the selected items?'))return;
  var f=$('#files-form');f.find('input[name=action]').val('delete');f.submit()});
 $('#upload-form').on('submit',function(e){
  if(!window.FormData)return;e.preventDefault();
  var fd=new FormData(this),st=$('#upload-status').text('…');
  $.ajax({url:here,type:'POST',data:fd,processData:false,contentType:false,
   xhr:function(){var x=$.ajaxSettings.xhr();if(x.upload)x.upload.onprogress=function(ev){if(ev.lengthComputable)st.text(Math.floor(ev.loaded*100/ev.total)+'%')};return x}
  }).then(function(res){var msg=[];try{$.each($.parseJSON($.trim(res)),function(i,r){msg.push($('<textarea>').html(r.name).text()+': '+(r.err||'OK'))})}catch(x){}
   alert(msg.join('\n')||'Upload finished');location.reload()},function(){st.text('Failed')});
 });
 function login(){
  var d=$('<div class="dialog"><form><b>Log in</b><input type="text" placeholder="Username" autocomplete="username"><input type="password" placeholder="Password" autocomplete="current-password"><div><button type="submit">OK</button> <button type="button" class="cancel">Cancel</button></div></form></div>');
  d.find('.cancel').on('click',function(){d.remove()});
  d.find('form').on('submit',function(e){e.preventDefault();
   var u=d.find('input[type=text]').val(),p=d.find('input[type=password]').val(),data={user:u};
   var sid=(document.cookie.match(/(?:^|; *)ZOF_SID_=([^;]*)/)||[])[1];
   if(sid&&window.sha256)data.passwordSHA256=sha256(sha256(p)+decodeURIComponent(sid));else data.password=p;
   $.post('/?mode=login',signed(data)).then(function(r){r=$.trim(r);if(r=='ok')location.reload();else alert(r)})});
  $('body').append(d);d.find('input').first().focus();
 }
 window.zofLogin=login;
 $('#login').on('click',function(e){e.preventDefault();login()});
 $('#logout').on('click',function(e){e.preventDefault();$.post('/?mode=logout',signed({})).then(function(){location.reload()})});
 $('#changepwd').on('click',function(e){e.preventDefault();ask('New password','',function(p){if(p)call('ajax.changepwd',{'new':p})})});
})(window.jQuery);

[error-page]
{.$common-head.}
<title>ZOF</title>
</head>
<body>
<div class="page"><div class="panel error-box">
%content%
<p class="totals">%timestamp%</p>
</div></div>
<script src="/?mode=jquery"></script>
<script src="/~sha256.js"></script>
<script src="/~lib.js"></script>
</body></html>

[login]
<h1>{.!login required.}</h1>
<p>{.!login text.}</p>
<p><a href="/~login" onclick="if(window.zofLogin){zofLogin();return false}">{.!login.}</a></p>
<script>window.addEventListener('load',function(){if(window.zofLogin)zofLogin()})</script>

[not found]
<h1>{.!not found.}</h1>
<p>{.!not found text.}</p>
<p><a href="/">{.!back to root.}</a></p>

[overload]
<h1>{.!overload.}</h1>
<p>{.!overload text.}</p>

[max contemp downloads]
<h1>{.!max contemp.}</h1>
<p>{.!max contemp text.} ({.disconnection reason.})</p>

[unauth]
<h1>{.!unauth.}</h1>
<p>{.!unauth text.}</p>

[deny]
<h1>{.!forbidden.}</h1>
<p>{.if|%reason%|%reason%|{.!forbidden text.}.}</p>

[ban]
<h1>{.!banned.}</h1>
<p>%reason%</p>

[upload]

[upload-file]

[upload-results]
 [{.cut|1|-1|%uploaded-files%.}]

[upload-success]
{"url":"{.js encode|%item-url%|\'".}","name":"{.js encode|%item-name%|\'".}","size":"%item-size%","speed":"%smart-speed%B/s"}{.if|%user%|{:{.set item|%folder%{.decodeuri|%item-url%.}|comment={.!uploaded by.} %user%.}:}.},

[upload-failed]
{"name":"{.js encode|%item-name%|\'".}","err":"{.js encode|{.!%reason%.}|\'".}"},

[progress|no log]
<style>.transfers{list-style:none;padding:0;font:13px system-ui,sans-serif}.transfers li{margin:.4em 0}.bar{display:inline-block;width:100px;height:8px;background:#e4e7ee;vertical-align:middle}.bar i{display:block;height:8px;background:#2f6fed}</style>
<ul class="transfers">%progress-files%</ul>

[progress-nofiles]
<li>{.!no transfers.}</li>

[progress-upload-file]
{.if not|{.=|{.?only.}|down.}|{:<li class="up">&uarr; {.!uploading.} %total% @ %speed-kb% KB/s <b>%filename%</b> <span class="bar"><i style="width:%perc%px"></i></span> %time-left% {.!time left.}</li>:}.}

[progress-download-file]
{.if not|{.=|{.?only.}|up.}|{:<li class="down">&darr; {.!downloading.} %total% @ %speed-kb% KB/s <b>%filename%</b> <span class="bar"><i style="width:%perc%px"></i></span> %time-left% {.!time left.}</li>:}.}

[special:alias]
bad name={.or|{.pos|/|$1.}|{.pos|\|$1.}|{.pos|..|$1.}|{.regexp|[\x00-\x1F\x7F]|$1.}|{.is file protected|$1.}|{.not|{.trim|$1.}.}.}

[ajax.mkdir|no log]
{.set|name|{.trim|{.postvar|name.}.}.}
{.if not|{.=|{.get|can upload.}|1.}|{:{.!not allowed.}{.break.}:}.}
{.if|{.bad name|{.^name.}.}|{:{.!bad name.}{.break.}:}.}
{.if|{.exists|%folder%{.^name.}.}|{:{.!already exists.}{.break.}:}.}
{.if|{.length|{.mkdir|{.vfs to disk|%folder%.}\{.^name.}.}.}|ok|{.!failed.}.}

[ajax.rename|no log]
{.set|from|{.postvar|from.}.}{.set|to|{.trim|{.postvar|to.}.}.}
{.if not|{.=|{.get|can delete|path={.^from.}.}|1.}|{:{.!not allowed.}{.break.}:}.}
{.if|{.or|{.bad name|{.^from.}.}|{.bad name|{.^to.}.}.}|{:{.!bad name.}{.break.}:}.}
{.if|{.exists|%folder%{.^to.}.}|{:{.!already exists.}{.break.}:}.}
{.if|{.length|{.rename|%folder%{.^from.}|{.^to.}.}.}|ok|{.!failed.}.}

[ajax.move|no log]
{.set|dst|{.trim|{.postvar|dst.}.}.}
{.if|{.or|{.pos|..|{.^dst.}.}|{.regexp|[\x00-\x1F\x7F\\]|{.^dst.}.}.}|{:{.!bad name.}{.break.}:}.}
{.if not|{.=|{.get|can upload|path={.^dst.}.}|1.}|{:{.!not allowed.}{.break.}:}.}
{.for each|f|{.replace|:|{:|:}|{.postvar|files.}.}|{:
 {.if|{.or|{.bad name|{.^f.}.}|{.<>|{.get|can delete|path={.^f.}.}|1.}.}|{:{.set|failed|1.}:}|{:{.if not|{.length|{.move|%folder%{.^f.}|{.^dst.}.}.}|{:{.set|failed|1.}:}.}:}.}
:}.}
{.if|{.^failed.}|{.!failed.}|ok.}

[ajax.comment|no log]
{.set|text|{.postvar|text.}.}
{.for each|f|{.replace|:|{:|:}|{.postvar|files.}.}|{:
 {.if|{.or|{.bad name|{.^f.}.}|{.<>|{.get|can delete|path={.^f.}.}|1.}.}|{:{.set|failed|1.}:}|{:{.set item|%folder%{.^f.}|comment={.^text.}.}:}.}
:}.}
{.if|{.^failed.}|{.!failed.}|ok.}

[ajax.changepwd|no log]
{.if|{.not|%user%.}|{:{.!not allowed.}{.break.}:}.}
{.set|new|{.postvar|new.}.}
{.if not|{.length|{.^new.}.}|{:{.!bad password.}{.break.}:}.}
{.if|{.length|{.set account||password={.^new.}.}.}|ok|{.!bad password.}.}

[special:import]
{.comment|The built-in template needs nothing imported.}
