[a] trailing
 [b]
[c
]d[
[]
[]
