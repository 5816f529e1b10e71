@echo off
REM Unpack_Clover_ISO.bat: turns a Clover ISO archive into a Clover data set ZIP.
REM Usage: Unpack_Clover_ISO.bat CloverISO-XXXX.tar.lzma
REM   The archive lies in this script's folder, beside 7z.exe and 7z.dll:
REM   CloverISO-XXXX.tar.lzma (a tar holding the ISO image, compressed as LZMA-alone or in
REM   an xz container) or an ISO image in a 7z, such as Clover-XXXX-X64.iso.7z. The ISO
REM   image is unpacked into the folder named as the archive less its last two extensions
REM   (CloverISO-XXXX), completed with Clover's empty folders, the OEM copies of
REM   config.plist and the boot files at its root, then packed as that name .zip (Deflate,
REM   level 9) into this script's folder. The unpack folder is left for the caller to delete.
REM Exit codes: 0 done, 1 no archive named, 2 archive not found, 3 no ISO image could be
REM unpacked from the archive or the ZIP could not be made ("Extract Error").
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

REM The tar or the ISO image out of the archive, the ISO image out of a tar, then the
REM ISO's contents. 7-Zip exits 1 on warnings (an xz stream named .lzma is one); a
REM crashed one ends with a negative code, which "if errorlevel 2" would let pass.
7z e "%~1" -o"%UnpackDir%" -ir!*.tar -ir!*.iso
if %errorlevel% neq 0 if %errorlevel% neq 1 goto ExtractError
if not exist "%UnpackDir%\*.tar" goto Image
7z e "%UnpackDir%\*.tar" -o"%UnpackDir%" -ai!*.tar *.iso -r
if %errorlevel% neq 0 if %errorlevel% neq 1 goto ExtractError
del /S /Q "%UnpackDir%\*.tar" >nul 2>&1
:Image
if not exist "%UnpackDir%\*.iso" goto ExtractError
7z x "%UnpackDir%\*.iso" -o"%UnpackDir%" -y
if %errorlevel% neq 0 if %errorlevel% neq 1 goto ExtractError
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
if %errorlevel% neq 0 if %errorlevel% neq 1 goto ZipError
move /Y "%CloverPackName%.zip" .. >nul 2>&1
if errorlevel 1 goto ZipError
cd ..
popd
exit /b 0

:ZipError
cd ..
:ExtractError
echo Extract Error
popd
exit /b 3

:Usage
echo Usage: UnpackCloverISO.bat CloverISO-XXXX.tar.lzma
popd
exit /b 1

:NotFound
echo File "%~1" not found
popd
exit /b 2
