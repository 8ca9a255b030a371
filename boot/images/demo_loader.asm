; demo_loader.asm: a stand-in for SETUPLDR.BIN, for demo install sources and
; boot tests.
;
; Started like the real setup loader: by a far jump or return to 2000:0000,
; DL = the boot drive. It prints one line that tells what it received, then
; stops:
;
;     LOADER id=WXPP dl=E0 end=OK
;
; id   the 4 bytes that stood as "I386" in the file: relocating the loader
;      for a system writes the system's id over them;
; dl   the drive number in DL, in hexadecimal;
; end  OK when the marker in the file's last bytes arrived intact, else BAD.
;      The file is larger than 64 KiB and not a whole number of CD sectors,
;      so the marker proves reads split into pieces and a partial last sector.
;
; "I386" appears exactly once in the file, and nothing else in it looks like
; an id, so a relocation that replaces every "I386" changes only ID_SLOT.

        bits 16
        cpu 386
        org 0

%include "image_layout.mac"

%assign LOADER_SIZE    3 * 32768 + 1000 ; 99304 bytes: 48.5 CD sectors
ID_SLOT         equ 8                   ; where "I386" stands
%assign END_MARKER_LEN 16
END_MARKER_AT   equ LOADER_SIZE - END_MARKER_LEN

start:
        jmp short main
        pad_to ID_SLOT
        db "I386"

main:
        push cs
        pop ds
        cld
        sti
        mov [drive], dl

        mov si, msg_id
        call print_string
        mov cx, 4
        mov si, ID_SLOT
.id:    lodsb
        cmp al, ' '                     ; show control bytes as '?'
        jb .odd
        cmp al, '~'
        jbe .show
.odd:   mov al, '?'
.show:  call print_char
        loop .id

        mov si, msg_dl
        call print_string
        mov al, [drive]
        shr al, 4
        call print_hex_digit
        mov al, [drive]
        call print_hex_digit

        mov si, msg_end
        call print_string
        mov si, msg_bad
        call end_marker_arrived
        jne .verdict
        mov si, msg_ok
.verdict:
        call print_string
        mov si, msg_eol
        call print_string
.halt:  hlt
        jmp .halt

; end_marker_arrived: compares the file's last bytes with the expected marker.
; Out: ZF set when they match. Clobbers AX, CX, DI, ES (SI kept).
end_marker_arrived:
        push si
        mov ax, cs
        add ax, END_MARKER_AT >> 4      ; the marker lies beyond this segment
        mov es, ax
        mov di, END_MARKER_AT & 0Fh
        mov si, expected_marker
        mov cx, END_MARKER_LEN
        repe cmpsb
        pop si
        ret

; print_hex_digit: prints the low 4 bits of AL as a hexadecimal digit.
print_hex_digit:
        and al, 0Fh
        add al, '0'
        cmp al, '9'
        jbe print_char
        add al, 'A' - '9' - 1
        ; falls through to print_char

; print_char: prints AL through the BIOS teletype (page 0, attribute 7).
print_char:
        push bx
        mov ah, 0Eh
        mov bx, 0007h
        int 10h
        pop bx
        ret

; print_string: prints the NUL-terminated string at DS:SI. Clobbers AX, SI.
print_string:
        lodsb
        test al, al
        jz .done
        call print_char
        jmp print_string
.done:  ret

msg_id:         db 13, 10, "LOADER id=", 0
msg_dl:         db " dl=", 0
msg_end:        db " end=", 0
msg_ok:         db "OK", 0
msg_bad:        db "BAD", 0
msg_eol:        db 13, 10, 0
expected_marker:
%macro end_marker 0
        db "KOLVENAR-LDR-END"
%endmacro
        end_marker
drive:          db 0

        pad_to END_MARKER_AT
        end_marker
        field_at LOADER_SIZE

%if END_MARKER_LEN != 16
  %error the marker text must be END_MARKER_LEN bytes
%endif
%if LOADER_SIZE <= 65536
  %error the loader must be larger than 64 KiB to prove split reads
%endif
