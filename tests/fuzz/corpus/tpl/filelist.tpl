[]
%files%

[files]
%list%

[file]
%item-full-url%

[folder]
%item-full-url%

