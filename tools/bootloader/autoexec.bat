@ECHO OFF
REM KV.ima start-up: run the Ghost task that the program left in the root of
REM the drive holding KV.IMA, after putting back the boot configuration it
REM changed, so the boot entry is gone after this one use.
SET PATH=A:\
IF EXIST A:\KVINIT.BAT CALL A:\KVINIT.BAT
SET KV=
FOR %%D IN (C D E F G H I J K L M N O P Q R S T U V W X Y Z) DO IF EXIST %%D:\KV.IMA SET KV=%%D:
IF "%KV%"=="" GOTO NODRIVE

IF NOT EXIST %KV%\BOOT.IN_ GOTO BCD
ATTRIB -H -S -R %KV%\BOOT.INI
ATTRIB -H -S -R %KV%\BOOT.IN_
COPY /Y /B %KV%\BOOT.IN_ %KV%\BOOT.INI >NUL
DEL %KV%\BOOT.IN_
ATTRIB +H +S +R %KV%\BOOT.INI
:BCD
IF NOT EXIST %KV%\BOOT\BCD_B GOTO TASK
ATTRIB -H -S -R %KV%\BOOT\BCD
ATTRIB -H -S -R %KV%\BOOT\BCD_B
COPY /Y /B %KV%\BOOT\BCD_B %KV%\BOOT\BCD >NUL
DEL %KV%\BOOT\BCD_B
ATTRIB +H +S %KV%\BOOT\BCD
:TASK
ATTRIB -H -S -R %KV%\GHOST.BA_
IF NOT EXIST %KV%\GHOST.BA_ GOTO NOTASK
COPY /Y /B %KV%\GHOST.BA_ A:\GHOSTRUN.BAT >NUL
DEL %KV%\GHOST.BA_
A:
CD \
GHOSTRUN.BAT
:NOTASK
ECHO No Ghost task was found on %KV%.
GOTO END
:NODRIVE
ECHO KV.IMA was not found on any drive.
:END
