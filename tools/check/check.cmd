@echo off
rem The release's check on a test machine, from an elevated command prompt:
rem   check.cmd [/devices] [/installer] [suite[:case] ...]
rem   check.cmd /cleanup     (after a run that did not end: puts the machine back)
rem Runs every suite of this folder, prints one line per suite and "N passed, M failed",
rem and writes the same, with what the machine is, to velmora-check-report.txt here.
rem windows-check.md says what it does to the machine and what to send back.
setlocal
cd /d "%~dp0"
"%~dp0velmora-check.exe" %*
exit /b %ERRORLEVEL%
