; boot1xalt: exFAT partition boot record of the "Clover" set, two sectors.
; Loads the root file "boot" (or, after a digit key, "boot0" to "boot9") to 2000:0200
; and enters it there. Every LBA comes from the volume's PartitionOffset.
; Sectors of 512 to 4096 bytes: from 1024 bytes on, both halves lie in the first sector.
; Entry: 0:7C00, DL = BIOS drive; our MBRs load both sectors, other MBRs only the first.
; Exit:  2000:0200 with DL = BIOS drive. Errors print "boot1x: error" and halt.

        bits    16
        cpu     386
        org     0x7C00

LOAD_SEGMENT    equ     0x2020          ; 2000:0200
MAX_FILE_SIZE   equ     0xA0000 - 0x20200   ; up to the video memory
DIR_BUFFER      equ     0x8000          ; the root directory's first sectors
DIR_BYTES       equ     0x4000          ; 512 entries; the end mark stays below 0x10000
FAT_BUFFER      equ     0x6000          ; one FAT sector, up to 4096 bytes below the stack
NO_DATA_CLUSTER equ     0xFFFFFFF7      ; this number and above: bad cluster, end of chain
SECOND_SECTOR   equ     0x7E00

; exFAT boot sector fields, relative to BP = 0x7C00.
%define partition_offset        bp + 64
%define fat_offset              bp + 80
%define heap_offset             bp + 88
%define root_cluster            bp + 96
%define sector_shift            bp + 108
%define cluster_shift           bp + 109

; Variables below the sector, above the stack.
%define fat_lba                 bp - 4
%define heap_lba                bp - 8
%define fat_cached              bp - 12
%define drive                   bp - 13
%define file_flags              bp - 14   ; the stream entry's flags; bit 1: NoFatChain
%define name_hash               bp - 16
%define file_cluster            bp - 20
%define file_size               bp - 24
; What the sector size (512 to 4096 bytes) makes of the shared loader code.
%define RUN_SECTORS             bp - 26   ; sectors in 32 KiB
%define SECTOR_PARAGRAPHS       bp - 28   ; 16-byte paragraphs in a sector
%define ENTRY_MASK              bp - 30   ; FAT entries in a sector, less one
%define ENTRY_SHIFT             bp - 31   ; FAT entries in a sector, as a power of two
STACK_TOP       equ     0x7C00 - 32
%define CONTIGUOUS_FLAG         file_flags

; Directory entry types.
FILE_ENTRY      equ     0x85
STREAM_ENTRY    equ     0xC0
NAME_ENTRY      equ     0xC1

        jmp     short main
        nop
        times 120 - ($ - $$) db 0       ; the volume's header goes here

main:
        xor     ax, ax
        mov     ss, ax                  ; no interrupt until SP is set too
        mov     sp, STACK_TOP
        sti
        mov     ds, ax
        mov     es, ax
        cld
        mov     bp, 0x7C00
        mov     [drive], dl

        ; Read the second sector unless the MBR did.
        cmp     dword [SECOND_SECTOR + 508], 0xAA550000
        je      second_sector
        mov     eax, [partition_offset]
        inc     eax
        mov     bx, 1
        mov     di, SECOND_SECTOR
        call    read_lba
        jc      halt
        cmp     dword [SECOND_SECTOR + 508], 0xAA550000
        je      second_sector
halt:   hlt
        jmp     halt

; cluster_lba: EAX = a data cluster's number less 2; returns EAX = the LBA of its first
; sector and CX = how many of its sectors to read: all, or SI when fewer. Changes EDX.
cluster_lba:
        mov     cl, [cluster_shift]
        shl     eax, cl
        add     eax, [heap_lba]
        xor     edx, edx
        inc     dx
        shl     edx, cl                 ; sectors per cluster, up to 2^25
        movzx   ecx, si
        cmp     edx, ecx
        jae     .tail
        mov     cx, dx
.tail:  ret

%include "load_chain.inc"
%include "next_cluster.inc"
%include "read_run.inc"
%include "wait_key.inc"
%include "read_lba.inc"
%include "print.inc"

        times 510 - ($ - $$) db 0
        dw      0xAA55

; ---- Second sector --------------------------------------------------------------------

second_sector:
        mov     si, msg_init
        call    print_message
        mov     cl, [sector_shift]      ; 512- to 4096-byte sectors
        cmp     cl, 9
        jb      fail
        cmp     cl, 12
        ja      fail
        mov     ax, 0x8000
        shr     ax, cl
        mov     [RUN_SECTORS], ax
        sub     cl, 2                   ; four bytes per FAT entry
        mov     [ENTRY_SHIFT], cl
        mov     ax, 1
        shl     ax, cl
        dec     ax
        mov     [ENTRY_MASK], ax
        sub     cl, 2                   ; sixteen bytes per paragraph
        mov     ax, 1
        shl     ax, cl
        mov     [SECTOR_PARAGRAPHS], ax
        mov     ebx, [partition_offset]
        mov     eax, [fat_offset]
        add     eax, ebx
        mov     [fat_lba], eax
        mov     [fat_cached], ebx       ; no FAT sector read yet (this one is none)
        add     ebx, [heap_offset]
        mov     [heap_lba], ebx

        call    wait_key
        cmp     al, '0'
        jb      .named
        cmp     al, '9'
        ja      .named
        mov     [file_name + 8], al     ; "BOOT" + digit
        inc     byte [name_length]
.named:
        ; NameHash of the up-cased name: rotate right and add, over its UTF-16 bytes.
        mov     si, file_name
        movzx   cx, byte [name_length]
        shl     cx, 1
        xor     ax, ax
        xor     dx, dx
.hash:  lodsb
        ror     dx, 1
        add     dx, ax
        loop    .hash
        mov     [name_hash], dx

        ; Read the start of the root directory.
        mov     eax, [root_cluster]
        push    DIR_BUFFER / 16
        pop     es
        mov     cl, [sector_shift]
        mov     si, DIR_BYTES
        shr     si, cl
        mov     byte [file_flags], 0    ; the directory is a FAT chain
        call    load_chain
        mov     byte [es:0], 0          ; end mark after what was read
        push    ds
        pop     es

        ; Find the entry set: a file entry (not a directory), its stream entry with the
        ; name's length and hash, then a name entry with the name. BL counts how far the
        ; current set matches: 1 after the file entry, 2 after the stream entry.
        mov     di, DIR_BUFFER
        xor     bx, bx
.entry: mov     al, [di]
        test    al, al                  ; end of the directory
        jz      fail
        mov     bh, bl                  ; the match so far, cleared below unless it grows
        xor     bl, bl
        cmp     al, FILE_ENTRY
        je      .file
        cmp     al, STREAM_ENTRY
        je      .stream
        cmp     al, NAME_ENTRY
        jne     .next
        cmp     bh, 2
        jne     .next
        pusha                           ; compare the name, ignoring the case of a-z
        lea     si, [di + 2]
        mov     di, file_name
        movzx   cx, byte [name_length]
.char:  lodsw
        cmp     ax, 'a'
        jb      .upper
        cmp     ax, 'z'
        ja      .upper
        sub     al, 'a' - 'A'
.upper: scasw
        loope   .char
        popa
        je      found
        jmp     .next
.file:  test    byte [di + 4], 0x10     ; directory attribute
        jnz     .next
        mov     bl, 1
        jmp     .next
.stream:
        cmp     bh, 1
        jne     .next
        mov     al, [name_length]
        cmp     [di + 3], al
        jne     .next
        mov     ax, [name_hash]
        cmp     [di + 4], ax
        jne     .next
        cmp     dword [di + 28], 0      ; DataLength above 4 GiB
        jne     .next
        mov     al, [di + 1]
        mov     [file_flags], al
        mov     eax, [di + 20]
        mov     [file_cluster], eax
        mov     eax, [di + 24]
        mov     [file_size], eax
        mov     bl, 2
.next:  add     di, 32
        jmp     .entry

found:
        mov     esi, [file_size]        ; 1 to MAX_FILE_SIZE bytes
        dec     esi
        cmp     esi, MAX_FILE_SIZE
        jae     fail
        mov     cl, [sector_shift]
        shr     esi, cl
        inc     si                      ; whole sectors
        mov     eax, [file_cluster]
        push    LOAD_SEGMENT
        pop     es
        call    load_chain
        test    si, si                  ; the chain ended early
        jnz     fail
        mov     dl, [drive]
        jmp     0x2000:0x0200

fail:   mov     si, msg_error
        call    print_message
        jmp     halt

; print_message: prints "boot1x: " and then the text at SI.
print_message:
        push    si
        mov     si, msg_prefix
        call    print
        pop     si
        jmp     print

msg_prefix:
        db      "boot1x: ", 0
msg_init:
        db      "init", 13, 10, 0
msg_error:
        db      "error", 13, 10, 0
file_name:                              ; up-cased, UTF-16
        dw      'B', 'O', 'O', 'T', 0
name_length:
        db      4

        times 1020 - ($ - $$) db 0
        dd      0xAA550000              ; signature of an exFAT boot sector after the first
