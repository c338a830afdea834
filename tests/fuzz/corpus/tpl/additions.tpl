[x]
one
[+x]
two
[+y|no log]
new
[a=b=c|private|cache|no list]
shared
[+b]
more
