; USB-HDD+: generic MBR code of the "Windows" set.
; Starts the active partition by its first sector, which the format service wrote.
; Entry: 0:7C00 (or 07C0:0000), DL = BIOS drive.
; Exit:  0:7C00 with DL = BIOS drive, DS:SI = the partition's entry in the copy at 0:0600.

        bits    16
        cpu     386
        org     0x0600

%include "mbr.inc"

        relocate_mbr

        mov     si, msg_start
        call    print
        mov     si, PARTITION_TABLE
        mov     cx, 4
find_active:
        test    byte [si], 0x80
        jnz     load
        add     si, 16
        loop    find_active
        jmp     fail
load:   mov     bx, 1
        call    load_pbr
        jc      fail
        start_pbr fail

fail:   mov     si, msg_failed
        call    print
halt:   hlt
        jmp     halt

%include "load_pbr.inc"
%include "read_lba.inc"
%include "print.inc"

msg_start:
        db      "Start booting from USB device...", 13, 10, 0
msg_failed:
        db      "Boot failed", 13, 10, 0
drive:  db      0

        mbr_tail
