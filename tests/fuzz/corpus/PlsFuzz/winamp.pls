[playlist]
File1=D:\Музыка\Кино\01 Группа крови.mp3
Title1=Кино - Группа крови
Length1=245
File2=a.mp3
Title2=a
Length2=-1
NumberOfEntries=2
Version=2
