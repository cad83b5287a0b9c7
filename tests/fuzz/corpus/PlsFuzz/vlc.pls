[playlist]
File1=file://$P/%D0%90%D1%80%D1%82%D0%B8%D1%81%D1%82/a%26b.wav
Title1=a&b
Length1=12
File2=http://radio.example/stream.mp3
Title2=Радио
Length2=-1
File3=$P/b c.wav
NumberOfEntries=3
Version=2
