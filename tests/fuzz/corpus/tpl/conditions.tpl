[api level]
2
[a|build=1-999]
in range
[a|build=999-]
not taken
[b|ver=1.*]
version
[c|template=zof*]
by id
[template id]
zof test
