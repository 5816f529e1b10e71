; Bs32.bin: FAT32 partition boot record of the "XPC" set.
; Loads the root file EFILDR20 to 2000:0000 and enters it at its first byte; that first
; sector of the XPC loader then goes on to the rest of the file.

%define FILE_NAME       "EFILDR20   "
LOAD_OFFSET     equ     0x0000

; A sample parameter block for a 2 GB volume; on disk the new volume's own replaces it.
%macro sample_bpb 0
        db      "INTEL   "              ; OEM name
        dw      512                     ; bytes per sector
        db      8                       ; sectors per cluster
        dw      32                      ; reserved sectors
        db      2                       ; FATs
        dw      0                       ; root entries (none on FAT32)
        dw      0                       ; 16-bit sector count (none on FAT32)
        db      0xF8                    ; media: fixed disk
        dw      0                       ; 16-bit FAT size (none on FAT32)
        dw      63                      ; sectors per track
        dw      255                     ; heads
        dd      0                       ; hidden sectors
        dd      4194304                 ; sectors
        dd      4088                    ; sectors per FAT
        dw      0                       ; FAT mirroring on
        dw      0                       ; version 0.0
        dd      2                       ; root directory cluster
        dw      1                       ; FSInfo sector
        dw      6                       ; backup boot sector
        times 12 db 0
        db      0x80                    ; BIOS drive
        db      0
        db      0x29                    ; extended signature
        dd      0x12345678              ; serial number
        db      "EFI        "           ; volume label
        db      "FAT32   "              ; file-system type
%endmacro

%include "fat32_pbr.inc"
