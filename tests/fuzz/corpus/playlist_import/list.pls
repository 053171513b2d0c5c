2[playlist]
File1=/music/a.mp3
Title1=A
Length1=60
File2=b.ogg
NumberOfEntries=2
Version=2
