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
