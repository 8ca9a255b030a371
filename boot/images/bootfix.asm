; bootfix.asm: BOOTFIX.BIN, the "boot from CD or hard disk" prompt.
;
; The boot-menu boot sector loads this file from the first system's boot
; folder at 2000:0000 and enters it with a far call at offset 0, DL = the CD
; drive. When the first hard disk holds an installed system (exactly one
; active partition), it asks "Press any key to boot from CD." and prints a dot
; about every second; without a key (or Ctrl held) for about four seconds it
; boots the hard disk. In every other case it returns at once, and the boot
; sector goes on to its menu.
;
; Memory: this file at 2000:0000, the hard disk's first sector at 3000:0000,
; which is copied to 0000:7C00 when the hard disk is booted.

        bits 16
        cpu 386
        org 0

%include "bootfix_layout.inc"
%include "image_layout.mac"

FIRST_HDD       equ 80h                 ; BIOS number of the first hard disk
MBR_SEG         equ 3000h               ; where its first sector is read
BOOT_OFFSET     equ 7C00h               ; where a boot sector runs (segment 0)
PART_TABLE      equ 446                 ; partition table in the master boot record
PART_ENTRY_SIZE equ 16
PART_COUNT      equ 4
PART_ACTIVE     equ 80h                 ; boot indicator bit: active
KEY_FLUSH_MAX   equ 128
CTRL_HELD       equ 04h                 ; INT 16h function 02h shift flags: Ctrl
TIMER_VECTOR    equ 08h * 4

; Entered by a far call. In: DL = boot drive (not needed here).
bootfix:
        push ds
        push es
        push cs
        pop ds
        push cs
        pop es
        cld
        sti

        ; The hard disk's first sector: sector 1, cylinder 0, head 0.
        mov ax, MBR_SEG
        mov es, ax
        xor bx, bx                      ; ES:BX = 3000:0000
        mov ax, 0201h                   ; read, one sector
        mov cx, 0001h
        mov dx, FIRST_HDD
        int 13h
        jc .return                      ; no hard disk: boot the CD

        ; Go on only for exactly one non-zero boot indicator, with bit 7 set.
        mov si, PART_TABLE
        mov cx, PART_COUNT
        xor dx, dx                      ; DL = non-zero indicators, DH = the last
.indicator:
        mov al, [es:si]
        test al, al
        jz .next_entry
        inc dl
        mov dh, al
.next_entry:
        add si, PART_ENTRY_SIZE
        loop .indicator
        cmp dl, 1
        jne .return
        test dh, PART_ACTIVE
        jz .return

        ; The prompt; its first byte doubles as the print flag (a zero first
        ; byte makes the whole wait silent).
        mov al, [PROMPT]
        mov [PRINT_FLAG], al
        test al, al
        jz .flush_keys
        mov si, PROMPT
        call print_string

.flush_keys:
        mov cx, KEY_FLUSH_MAX
.flush: mov ah, 01h
        int 16h
        jz .install_timer
        xor ah, ah
        int 16h
        loop .flush

.install_timer:
        xor ax, ax
        mov es, ax
        cli
        mov eax, [es:TIMER_VECTOR]
        mov [SAVED_TIMER], eax
        mov word [es:TIMER_VECTOR], timer_tick
        mov [es:TIMER_VECTOR + 2], cs
        sti

.wait:
        cmp byte [PRINT_FLAG], 0
        je .check_ctrl
        mov ah, 01h                     ; a key: boot the CD. The key stays in
        int 16h                         ; the buffer; the menu discards it.
        jnz .boot_cd
.check_ctrl:
        mov ah, 02h
        int 16h
        test al, CTRL_HELD
        jnz .boot_cd
        cmp word [DOT_TIMER], 0
        jg .idle
        cmp byte [PRINT_FLAG], 0
        je .rearm_dot
        mov si, DOT
        call print_string
.rearm_dot:
        mov word [DOT_TIMER], DOT_TICKS
.idle:  hlt                             ; until the next tick or key
        cmp word [COUNTDOWN], 0
        jne .wait

        ; Time is up: boot the hard disk from the sector read above.
        call restore_timer
        mov ax, MBR_SEG
        mov ds, ax
        xor si, si
        xor ax, ax
        mov es, ax
        mov di, BOOT_OFFSET
        mov cx, 512 / 2
        rep movsw
        mov dl, FIRST_HDD
        jmp 0:BOOT_OFFSET

.boot_cd:
        call restore_timer
.return:
        pop es
        pop ds
        retf

; restore_timer: puts the previous INT 08h vector back. Clobbers EAX, ES.
restore_timer:
        xor ax, ax
        mov es, ax
        cli
        mov eax, [SAVED_TIMER]
        mov [es:TIMER_VECTOR], eax
        sti
        ret

; print_string: prints the NUL-terminated string at DS:SI through the BIOS
; teletype (page 0, attribute 7). Clobbers AX, SI.
print_string:
        lodsb
        test al, al
        jz .done
        push bx
        mov ah, 0Eh
        mov bx, 0007h
        int 10h
        pop bx
        jmp print_string
.done:  ret

; timer_tick: INT 08h handler. While the countdown runs, lowers it and the dot
; timer once per tick; then passes the tick on to the previous handler.
timer_tick:
        cmp word [cs:COUNTDOWN], 0
        je .chain
        dec word [cs:COUNTDOWN]
        dec word [cs:DOT_TIMER]
.chain: jmp far [cs:SAVED_TIMER]

; ---------------------------------------------------------------------------
; Data, every field at its offset.

        pad_to PROMPT
        db 13, 10, "Press any key to boot from CD.", 0
        field_at PRINT_FLAG
        db 0
        field_at DOT
        db ".", 0
        field_at SAVED_TIMER
        dd 0
        field_at COUNTDOWN
        dw COUNTDOWN_TICKS
        field_at DOT_TIMER
        dw DOT_TICKS
        field_at TAIL
        pad_to IMAGE_SIZE
