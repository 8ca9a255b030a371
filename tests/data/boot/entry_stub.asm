; entry_stub.asm: enters the boot-menu image the way another firmware might.
;
; Mastered as the CD's boot image together with the boot-menu image right
; behind it (512 + 2048 bytes, loaded at 0000:7C00). It copies the boot-menu
; image to the linear address ENTRY_SEG * 16 + ENTRY_OFF and jumps to
; ENTRY_SEG:ENTRY_OFF, so the tests can try every load address the image must
; accept or refuse.
;
; nasm -D options:
;   ENTRY_SEG, ENTRY_OFF  where to enter the image
;   BOOT_DL               DL to hand over (default: the firmware's)
;   IMAGE_BYTES           bytes of the image to copy (default 2048); the rest
;                         of its 2048 bytes is zero, as if not loaded

        bits 16
        cpu 386
        org 7C00h

%ifndef IMAGE_BYTES
  %define IMAGE_BYTES 2048
%endif
%assign TARGET (ENTRY_SEG * 16 + ENTRY_OFF)
%assign LOADED_IMAGE 7E00h              ; right behind this stub
%assign BOUNCE 1000h                    ; free memory that nothing else uses
%assign STUB_COPY 0600h                 ; where the stub goes on running

start:
        cli
        xor ax, ax
        mov ss, ax
        mov sp, 7C00h
        mov ds, ax
        mov es, ax
        sti
        cld
        mov bp, dx                      ; keep the firmware's DL

        ; The image may be copied over this stub: go on from a copy of it.
        mov si, 7C00h
        mov di, STUB_COPY
        mov cx, 256
        rep movsw
        jmp 0:(relocated - start + STUB_COPY)

relocated:
        mov si, LOADED_IMAGE            ; image -> bounce buffer
        mov di, BOUNCE
        mov cx, 1024
        rep movsw

        mov ax, TARGET >> 4             ; clear the target, then copy
        mov es, ax
        mov di, TARGET & 0Fh
        xor ax, ax
        mov cx, 1024
        rep stosw
        mov di, TARGET & 0Fh
        mov si, BOUNCE
        mov cx, IMAGE_BYTES
        rep movsb

        mov dx, bp
%ifdef BOOT_DL
        mov dl, BOOT_DL
%endif
        jmp ENTRY_SEG:ENTRY_OFF

        times 512 - ($ - $$) db 0
