; hdd_boot.asm: master boot record of the test hard disks.
;
; Boots visibly: prints "HDD BOOTED dl=" and the drive number it was given,
; then stops. The tests set the partition table (bytes 446-509) themselves.

        bits 16
        org 7C00h

start:
        xor ax, ax
        mov ds, ax
        mov ss, ax
        mov sp, 7C00h
        cld
        mov bl, dl
        mov si, message
        call print
        mov al, bl
        shr al, 4
        call hex_digit
        mov al, bl
        call hex_digit
        mov si, eol
        call print
.halt:  hlt
        jmp .halt

hex_digit:
        and al, 0Fh
        add al, '0'
        cmp al, '9'
        jbe .out
        add al, 'A' - '9' - 1
.out:   mov ah, 0Eh
        push bx
        mov bx, 0007h
        int 10h
        pop bx
        ret

print:
        lodsb
        test al, al
        jz .done
        mov ah, 0Eh
        push bx
        mov bx, 0007h
        int 10h
        pop bx
        jmp print
.done:  ret

message: db 13, 10, "HDD BOOTED dl=", 0
eol:     db 13, 10, 0

        times 446 - ($ - $$) db 0       ; partition table: set by the test
        times 64 db 0
        db 55h, 0AAh
