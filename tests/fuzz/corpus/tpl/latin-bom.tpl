ï»¿leading
[s|no log]
[t]

[ spaced name ]
x
[]