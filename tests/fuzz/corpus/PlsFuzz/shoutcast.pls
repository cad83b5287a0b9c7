[Playlist]
numberofentries=2
FILE1 = $P/x.WMA
File02=Артист/01 Вальс.mp3
Filename=nope
Version=2
