; boot1f32alt: FAT32 partition boot record of the "Clover" set.
; Loads the root file BOOT (or, after a key, the file named with that key as fifth
; character) to 2000:0200 and enters it there.

%define FILE_NAME       "BOOT       "
LOAD_OFFSET     equ     0x0200
%define KEY_CHOICE

%include "fat32_pbr.inc"
