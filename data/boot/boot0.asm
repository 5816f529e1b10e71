; boot0: MBR code of the "Clover" set.
; Starts the active partition or, when none is active, the first FAT32 (0x0C), exFAT
; (0x07) or HFS+ (0xAF) partition that carries a loader. It reads three sectors from the
; partition start, because the exFAT and HFS+ loaders are longer than one sector.
; Entry: 0:7C00 (or 07C0:0000), DL = BIOS drive.
; Exit:  0:7C00 with DL = BIOS drive, DS:SI = the partition's entry in the copy at 0:0600.

        bits    16
        cpu     386
        org     0x0600

%include "mbr.inc"

PBR_SECTORS     equ     3

        relocate_mbr

        ; The active entry, when there is one, is started whatever it holds.
        mov     si, PARTITION_TABLE
        mov     cx, 4
find_active:
        test    byte [si], 0x80
        jnz     load_active
        add     si, 16
        loop    find_active

        ; No active entry: look for our loaders' marks in the entries' first sectors.
        mov     si, PARTITION_TABLE
        mov     cl, 4
scan:   mov     al, [si + 4]
        cmp     al, 0x0C
        je      probe
        cmp     al, 0x07
        je      probe
        cmp     al, 0xAF
        jne     next_entry
probe:  mov     bx, PBR_SECTORS
        call    load_pbr
        jc      next_entry
        mov     al, [si + 4]
        cmp     al, 0x0C
        jne     .not_fat32
        cmp     word [PBR_BASE + 0x5A], 'BO'    ; the FAT32 loader's file name
        je      start
        jmp     next_entry
.not_fat32:
        cmp     al, 0x07
        jne     .hfs
        cmp     word [PBR_BASE + 3], 'EX'       ; the exFAT file-system name
        je      start
        jmp     next_entry
.hfs:   cmp     word [PBR_BASE + 1024], 'H+'    ; HFS+ or HFSX volume header
        je      start
        cmp     word [PBR_BASE + 1024], 'HX'
        je      start
next_entry:
        add     si, 16
        loop    scan
        jmp     fail

load_active:
        mov     bx, PBR_SECTORS
        call    load_pbr
        jc      fail
start:  start_pbr fail

fail:   mov     si, msg_error
        call    print
halt:   hlt
        jmp     halt

%include "load_pbr.inc"
%include "read_lba.inc"
%include "print.inc"

msg_error:
        db      "boot0: error", 13, 10, 0
drive:  db      0

        mbr_tail
