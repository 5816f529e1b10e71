@echo off
REM Unpack_Clover_ISO.bat: turns a Clover ISO archive into a Clover data set ZIP.
REM Usage: Unpack_Clover_ISO.bat CloverISO-XXXX.tar.lzma
REM   The archive lies in this script's folder, beside 7z.exe and 7z.dll.
REM   The ISO image inside the archive's tar is unpacked into the folder CloverISO-XXXX,
REM   completed with Clover's empty folders, the OEM copies of config.plist and the boot
REM   files at its root, then packed as CloverISO-XXXX.zip (Deflate, level 9) into this
REM   script's folder. The folder CloverISO-XXXX is left for the caller to delete.
REM Exit codes: 0 done, 1 no archive named, 2 archive not found.
REM Paths are quoted, so folders with spaces work.
pushd "%~dp0"
if "%~1"=="" goto Usage
if not exist "%~1" goto NotFound
set CloverPackName=%~n1
set CloverPackName=%CloverPackName:~0,-4%
if "%CloverPackName%"=="" goto Usage
set UnpackDir=%CloverPackName%

md "%UnpackDir%\EFI\CLOVER\ACPI" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\ACPI\origin" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\ACPI\patched" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\ACPI\WINDOWS" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\drivers32UEFI" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\kexts" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\misc" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\ACPI" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\ACPI\origin" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\ACPI\patched" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\ROM" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\kexts" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\UEFI" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\UEFI\ACPI" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\UEFI\ACPI\origin" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\UEFI\ACPI\patched" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\UEFI\kexts" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\UEFI\kexts\Other" >nul 2>&1
md "%UnpackDir%\EFI\CLOVER\ROM" >nul 2>&1

REM The tar out of the LZMA archive, the ISO image out of the tar, then the ISO's contents.
7z e "%~1" -o"%UnpackDir%" -i!*.tar
7z e "%UnpackDir%\*.tar" -o"%UnpackDir%" -ai!*.tar *.iso -r
del /S /Q "%UnpackDir%\*.tar" >nul 2>&1
7z x "%UnpackDir%\*.iso" -o"%UnpackDir%" -y
del /S /Q "%UnpackDir%\*.iso" >nul 2>&1
rd /S /Q "%UnpackDir%\[BOOT]" >nul 2>&1

REM The OEM copies of config.plist; the boot files at the root, 64-bit over 32-bit.
copy /Y "%UnpackDir%\EFI\CLOVER\config.plist" "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\config.plist" >nul 2>&1
copy /Y "%UnpackDir%\EFI\CLOVER\config.plist" "%UnpackDir%\EFI\CLOVER\OEM\SystemProductName\UEFI\config.plist" >nul 2>&1
copy /Y "%UnpackDir%\usr\standalone\i386\ia32\boot*" "%UnpackDir%\" >nul 2>&1
copy /Y "%UnpackDir%\usr\standalone\i386\x64\boot*" "%UnpackDir%\" >nul 2>&1
copy /Y "%UnpackDir%\usr\standalone\i386\x64\boot6" "%UnpackDir%\boot" >nul 2>&1

REM Everything in the folder, folders included, into CloverISO-XXXX.zip beside this script.
cd "%UnpackDir%"
..\7z a  -r -mx9 -tzip "%CloverPackName%" *
move /Y "%CloverPackName%.zip" .. >nul 2>&1
cd ..
popd
exit /b 0

:Usage
echo Usage: UnpackCloverISO.bat CloverISO-XXXX.tar.lzma
popd
exit /b 1

:NotFound
echo File "%~1" not found
popd
exit /b 2
