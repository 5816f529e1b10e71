; Mbr.bin: MBR code of the "XPC" set.
; Starts the active partition, or the first one when none is active, by its first sector.
; Entry: 0:7C00 (or 07C0:0000), DL = BIOS drive.
; Exit:  0:7C00 with DL = BIOS drive, DS:SI = the partition's entry in the copy at 0:0600.
; Bytes 440-443 hold "DUET" until the program writes the disk signature over them.

        bits    16
        cpu     386
        org     0x0600

%include "mbr.inc"

        relocate_mbr

        mov     si, PARTITION_TABLE
        mov     cx, 4
find_active:
        test    byte [si], 0x80
        jnz     load
        add     si, 16
        loop    find_active
        mov     si, PARTITION_TABLE
        cmp     byte [si + 4], 0        ; an empty first entry would start this MBR again
        je      fail
load:   mov     bx, 1
        call    load_pbr
        jc      fail
        start_pbr fail

fail:   mov     si, msg_error
        call    print
halt:   hlt
        jmp     halt

%include "load_pbr.inc"
%include "read_lba.inc"
%include "print.inc"

msg_error:
        db      "MBR: no bootable partition", 13, 10, 0
drive:  db      0

        mbr_tail "DUET"
