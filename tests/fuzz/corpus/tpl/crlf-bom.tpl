[]
body
[s]  	
text
[last]