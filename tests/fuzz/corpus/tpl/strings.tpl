[special:strings]
hello=Hi
x=2
[+special:strings]
more=3
[special:alias]
a=b|$1
[api level]
 3 
