Built-in template for download managers and text browsers: plain HTML,
one link per item, no scripts.

[api level]
2

[]
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>{.encode html|%folder%.}</title></head>
<body>
<h1>{.encode html|%folder%.}</h1>
%up%
%files%
<p>%number% items, %total-size%</p>
</body></html>

[up]
<p><a href="%parent-folder%">Up</a></p>

[nofiles]
<p>No files in this folder.</p>

[files]
<ul>
%list%
</ul>

[file]
<li><a href="%item-url%">%item-name%</a> (%item-size%)%comment%</li>

[folder]
<li><a href="%item-url%">%item-name%/</a>%comment%</li>

[comment]
 &mdash; %item-comment%

[error-page]
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>ZOF</title></head>
<body>
%content%
</body></html>

[not found]
<h1>Not found</h1>
<p><a href="/">Home</a></p>

[overload]
<h1>Server busy</h1>
<p>Please try again in a moment.</p>
