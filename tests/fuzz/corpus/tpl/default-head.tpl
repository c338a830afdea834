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