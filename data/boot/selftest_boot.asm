; Self-test `boot` file, for tests and demonstrations only: never installed by default,
; never embedded in the program. It checks that the loader brought in the whole file in
; order and entered it at 2000:0200, prints "Stickforge boot chain OK" and the drive in
; DL, then writes to the debug-exit port 0xF4 so that QEMU ends with status
; (code << 1) | 1. On a PC the write does nothing and the program halts.
; With -DEFILDR20 the file gets the XPC loader's layout: one more 512-byte sector in
; front, entered at 2000:0000, which announces itself and goes on to 2000:0200.

        bits    16
        cpu     386

EXIT_OK         equ     0x10            ; QEMU exit status 33
EXIT_BAD_LOAD   equ     0x11            ; QEMU exit status 35
SECTORS         equ     400             ; of the boot part, checked one by one
LAST_BYTES      equ     8               ; the last sector is a partial one

%ifdef EFILDR20
        org     0
        mov     ax, cs
        mov     ds, ax
        mov     si, msg_efildr20
.next:  lodsb
        test    al, al
        jz      .done
        mov     ah, 0x0E
        mov     bx, 0x0007
        int     0x10
        jmp     .next
.done:  jmp     0x2000:0x0200
msg_efildr20:
        db      "EFILDR20 first sector", 13, 10, 0
        times 512 - ($ - $$) db 0
%else
        org     0x0200
%endif

boot:   mov     ax, cs
        mov     ds, ax
        mov     ss, ax                  ; stack below the boot part, at 2000:0000-01FF
        mov     sp, 0x0200
        sti
        cld
        mov     [drive], dl

        ; Sectors 1 and up of the boot part start with their number and "SF".
        mov     ax, cs
        add     ax, 0x0200 / 16 + 512 / 16
        mov     cx, 1
.check: mov     es, ax
        cmp     [es:0], cx
        jne     bad_load
        cmp     word [es:2], "SF"
        jne     bad_load
        add     ax, 512 / 16
        inc     cx
        cmp     cx, SECTORS
        jb      .check

        mov     si, msg_ok
        call    print
        mov     al, [drive]
        shr     al, 4
        call    print_digit
        mov     al, [drive]
        and     al, 0x0F
        call    print_digit
        mov     si, msg_newline
        call    print
        mov     al, EXIT_OK
        jmp     exit

bad_load:
        mov     si, msg_bad
        call    print
        mov     al, EXIT_BAD_LOAD
exit:   mov     cx, 3                   ; SeaBIOS passes text to the serial console on timer ticks
.flush: hlt
        loop    .flush
        out     0xF4, al
.halt:  hlt
        jmp     .halt

; print_digit: prints the hexadecimal digit AL (0-15).
print_digit:
        add     al, '0'
        cmp     al, '9'
        jbe     .out
        add     al, 'A' - '9' - 1
.out:   mov     ah, 0x0E
        mov     bx, 0x0007
        int     0x10
        ret

%include "print.inc"

msg_ok: db      "Stickforge boot chain OK", 13, 10, "drive=", 0
msg_newline:
        db      13, 10, 0
msg_bad:
        db      "Stickforge boot chain: file not loaded whole", 13, 10, 0
drive:  db      0

; The numbered sectors; the file ends LAST_BYTES into the last one.
%assign sector 1
%rep SECTORS - 1
        times (sector * 512) - ($ - boot) db 0
        dw      sector
        db      "SF"
%assign sector sector + 1
%endrep
        times (SECTORS - 1) * 512 + LAST_BYTES - ($ - boot) db 0
