; boot_sector.asm: BOOTSECTOR.BIN, the boot-menu boot image of a Kolvenar CD.
;
; Booted by the PC firmware as an El Torito "no emulation" boot image: the
; firmware loads all four 512-byte units (2048 bytes, one CD sector) at linear
; 7C00h and enters at 07C0:0000 or at 0000:7C00, with DL = the CD's BIOS drive.
;
; What it does:
;   1. checks where and how it was loaded (error codes 1 to 5);
;   2. runs BOOTFIX.BIN from the first system's boot folder when there is one
;      (it may boot the hard disk instead);
;   3. shows the menu and reads the chosen letter;
;   4. finds SETUPLDR.BIN in the chosen system's boot folder by walking the
;      ISO 9660 file system itself, loads it at 2000:0000 and starts it.
; Every failure prints a message, waits about two seconds and boots the first
; hard disk.
;
; Memory while it runs:
;   0000:0000-04FF  interrupt vectors, BIOS data
;   0000:7C00 down  stack
;   07C0:0000-07FF  this image (data fields from offset 1264 on)
;   1000:0000 up    directory buffer: volume descriptor, root, boot folder
;   2000:0000 up    BOOTFIX.BIN, then SETUPLDR.BIN; the error path's copy of
;                   this image
;   3000:0000       BOOTFIX's copy of the hard disk's first sector
;
; The layout (boot_sector_layout.inc) is fixed: the program writes the menu
; text, the number of systems and the id table into it. Code lives in two
; areas, 0-520 and 623-1263, between the messages and the data.

        bits 16
        cpu 386
        org 0

%include "boot_sector_layout.inc"
%include "image_layout.mac"

; ---------------------------------------------------------------------------
; Constants

%assign SECTOR_SIZE     2048            ; ISO 9660 logical sector, El Torito CD sector
%assign SECTOR_SHIFT    11
%if (1 << SECTOR_SHIFT) != SECTOR_SIZE
  %error SECTOR_SHIFT does not match SECTOR_SIZE
%endif

IMAGE_SEG       equ 07C0h               ; 07C0:0000 = linear 7C00h, the boot address
BOOT_OFFSET     equ 7C00h               ; the same address as seen from segment 0
DIR_SEG         equ 1000h               ; where directories are read
LOAD_SEG        equ 2000h               ; where BOOTFIX.BIN and SETUPLDR.BIN are loaded
FIRST_HDD       equ 80h                 ; BIOS number of the first hard disk
ERROR_TICKS     equ 36                  ; error-path wait: 36 ticks of 18.2 Hz = 2 s
KEY_FLUSH_MAX   equ 128                 ; keys discarded at most before the menu
TIMER_VECTOR    equ 08h * 4             ; INT 08h (IRQ 0, 18.2 Hz) in the vector table

; Extended reads go in pieces of 32 sectors: 32 x 2048 bytes = 64 KiB, exactly
; one segment, so a piece at offset 0 never wraps within its segment.
%assign MAX_PIECE       32
%assign PIECE_SEG_STEP  (MAX_PIECE * SECTOR_SIZE) >> 4
%if MAX_PIECE * SECTOR_SIZE > 10000h
  %error a read piece must fit in one 64 KiB segment
%endif

; Primary volume descriptor: the root directory record lies at byte 156.
PVD_SECTOR      equ 16
PVD_ROOT_RECORD equ 156

; ISO 9660 directory record (offsets within one record).
DR_LENGTH       equ 0                   ; byte: length of the record, 0 = none here
DR_EXTENT       equ 2                   ; dword (LE): first sector of the extent
DR_DATA_LENGTH  equ 10                  ; dword (LE): length of the extent in bytes
DR_FLAGS        equ 25                  ; byte: bit 1 = directory
DR_NAME_LENGTH  equ 32                  ; byte: length of the identifier
DR_NAME         equ 33                  ; the identifier

; Disk address packet of INT 13h function 42h (EDD extended read).
struc dap
.size           resb 1                  ; size of this packet: 16
.reserved       resb 1                  ; 0
.count          resw 1                  ; sectors to read
.offset         resw 1                  ; buffer offset
.segment        resw 1                  ; buffer segment
.lba            resd 1                  ; start sector, low 32 bits
.lba_high       resd 1                  ; start sector, high 32 bits: 0
endstruc

; ===========================================================================
; First code area: start, checks, menu, error path, timer handler.

; Entry. CS:IP is 07C0:0000 or 0000:7C00 (or something unexpected).
start:
        cli
        xor ax, ax
        mov ss, ax
        mov sp, BOOT_OFFSET             ; stack grows down below the image
        sti
        push cs
        pop ds                          ; data segment = code segment
        cld
        ; DL (the boot drive) is kept untouched until it is stored below.

        ; Find the offset the image runs at: IP of a known label minus its
        ; assembled offset. BP holds it for the error path until we run at
        ; 07C0:0000.
        call .where
.where: pop bp
        sub bp, .where
        mov bx, cs
        test bp, bp
        jz .offset_zero
        mov al, '1'                     ; neither offset 0 nor 7C00h
        cmp bp, BOOT_OFFSET
        jne fail_code
        mov al, '2'                     ; offset 7C00h needs segment 0
        test bx, bx
        jnz fail_code
        jmp IMAGE_SEG:.at_image_seg     ; from here on run at 07C0:0000
.offset_zero:
        mov al, '3'                     ; offset 0 needs segment 07C0h
        cmp bx, IMAGE_SEG
        jne fail_code
.at_image_seg:
        push cs
        pop ds
        xor bp, bp

        mov al, '4'                     ; a CD is never a floppy drive (00h-7Fh)
        cmp dl, 80h
        jb fail_code
        mov al, '5'                     ; the last 512-byte unit must be there too
        cmp word [SIGNATURE], 0AA55h
        jne fail_code
        mov [BOOT_DRIVE], dl

        ; BOOTFIX.BIN of the first menu entry (SELECTED_INDEX is still 0) may
        ; offer to boot the hard disk. It returns when the CD is to be booted.
        mov si, BOOTFIX_NAME
        mov cl, BOOTFIX_NAME_LEN
        call find_file
        jc .menu
        pusha
        push ds
        push es
        mov dl, [BOOT_DRIVE]
        call LOAD_SEG:0
        pop es
        pop ds
        popa

.menu:
        call run_menu
        mov si, SETUPLDR_NAME
        mov cl, SETUPLDR_NAME_LEN
        call find_file
        jnc .start_loader
        xor bp, bp
        mov si, MSG_NO_NTLDR
        jmp boot_error

.start_loader:
        mov dl, [BOOT_DRIVE]
        push word LOAD_SEG              ; far return to 2000:0000
        push word 0
        retf

; ---------------------------------------------------------------------------
; run_menu: prints the menu and waits for a valid letter and Enter.
; Out: SELECTED_INDEX = the chosen index. Clobbers AX, CX, SI.
run_menu:
        mov si, MENU_LEAD               ; CR LF CR LF, then the menu text
        call print_string

        ; Keys typed earlier (for BOOTFIX, say) must not choose a system.
        mov cx, KEY_FLUSH_MAX
.flush: mov ah, 01h                     ; key waiting? (ZF set when none)
        int 16h
        jz .read_key
        xor ah, ah                      ; read and discard it
        int 16h
        loop .flush

.read_key:
        xor ah, ah
        int 16h                         ; AL = character code
.choice:
        cmp al, 'A'                     ; signed: 80h and above are refused too
        jl .read_key
        cmp al, 'z'
        jg .read_key
        dec al                          ; 'A'/'a' -> 0 ... 'Z'/'z' -> 25,
        and al, 1Fh                     ; the six characters between -> 26..31
        cmp al, [SYSTEM_COUNT]
        jge .read_key
        mov [SELECTED_INDEX], al
        add al, 'A'                     ; show the letter in upper case
        call print_char

        xor ah, ah
        int 16h
        cmp al, 0Dh                     ; Enter takes the letter shown
        je .done
        push ax
        mov al, 08h                     ; back over the letter: the next valid
        call print_char                 ; one replaces it
        pop ax
        jmp .choice
.done:  ret

; ---------------------------------------------------------------------------
; print_string: prints the NUL-terminated string at DS:SI.
; Clobbers AX, SI.
print_string:
        lodsb
        test al, al
        jz .done
        call print_char
        jmp print_string
.done:  ret

; print_char: prints AL through the BIOS teletype (page 0, attribute 7).
; Preserves every register but AX. Some BIOSes destroy BP when the screen
; scrolls, and BP carries the image offset on the error path.
print_char:
        push bx
        push bp
        mov ah, 0Eh
        mov bx, 0007h
        int 10h
        pop bp
        pop bx
        ret

; ---------------------------------------------------------------------------
; fail_code: reports an error code and takes the error path.
; In: AL = the code as an ASCII digit, BP = offset the image runs at, DS = CS.
; Falls through to boot_error.
fail_code:
        mov [ds:bp + MSG_CODE_DIGIT], al
        mov si, MSG_CANNOT_BOOT

; boot_error: prints a message, waits about two seconds, boots the first hard
; disk. Never returns.
; In: SI = offset of the message in the image, BP = offset the image runs at,
; DS = CS. Works wherever the image runs.
boot_error:
        add si, bp
        call print_string

        ; Wait on our own timer handler: 36 ticks, about two seconds.
        mov word [ds:bp + ERROR_COUNTDOWN], ERROR_TICKS
        xor ax, ax
        mov es, ax
        cli
        mov eax, [es:TIMER_VECTOR]
        mov [ds:bp + SAVED_TIMER], eax
        lea ax, [bp + timer_tick]
        mov [es:TIMER_VECTOR], ax
        mov [es:TIMER_VECTOR + 2], cs
        sti
.wait:  hlt                             ; until the next interrupt
        cmp word [ds:bp + ERROR_COUNTDOWN], 0
        jne .wait
        cli
        mov eax, [ds:bp + SAVED_TIMER]
        mov [es:TIMER_VECTOR], eax
        sti

        ; The hard disk's first sector goes to 0000:7C00, over this image:
        ; go on from a copy at 2000:0000.
        mov si, bp
        mov ax, LOAD_SEG
        mov es, ax
        xor di, di
        mov cx, IMAGE_SIZE / 2
        rep movsw
        jmp LOAD_SEG:.from_copy
.from_copy:
        xor ax, ax
        mov es, ax
        mov bx, BOOT_OFFSET             ; ES:BX = 0000:7C00
        mov ax, 0201h                   ; read, one sector
        mov cx, 0001h                   ; cylinder 0, sector 1
        mov dx, FIRST_HDD               ; head 0, drive 80h (DL = 80h for the MBR)
        int 13h
        jc .halt
        jmp 0:BOOT_OFFSET
.halt:  hlt                             ; no hard disk to boot: stop here
        jmp .halt

; timer_tick: INT 08h handler of the error path. Lowers the countdown once per
; tick until it is 0, then passes the tick on to the previous handler. It finds
; its data through its own address, so it works wherever the image runs.
timer_tick:
        push bx
        call .base
.base:  pop bx
        sub bx, .base                   ; BX = offset the image runs at
        cmp word [cs:bx + ERROR_COUNTDOWN], 0
        je .chain
        dec word [cs:bx + ERROR_COUNTDOWN]
.chain: pushf                           ; the old handler ends with IRET
        call far [cs:bx + SAVED_TIMER]
        pop bx
        iret

; ===========================================================================
; Messages.

        pad_to MSG_CANNOT_BOOT
        db "CDBOOT: Cannot boot from CD - Code: "
        field_at MSG_CODE_DIGIT
        db "0", 13, 10, 0
        field_at MSG_NO_NTLDR
        db "CDBOOT: Couldn't find NTLDR", 13, 10, 0
        field_at MSG_OVERFLOW
        db "CDBOOT: Memory overflow error", 13, 10, 0
        field_at LOOKUP_CODE

; ===========================================================================
; Second code area: file system lookup, disk reads.

; ---------------------------------------------------------------------------
; find_file: loads a file of the selected system's boot folder to 2000:0000.
; The folder is the root directory's entry named by the id at ID_TABLE +
; SELECTED_INDEX * [ID_ENTRY_SIZE].
; In: SI = offset of the file name in this image, CL = its length.
; Out: CF clear when the file was loaded; CF set when the folder or the file
; is missing. A failed read does not return (error path).
; Clobbers EAX, EBX, CX, EDX, SI, DI, ES.
find_file:
        push si
        push cx

        ; The primary volume descriptor tells where the root directory lies.
        mov dword [EXTENT_START], PVD_SECTOR
        mov dword [EXTENT_LENGTH], SECTOR_SIZE
        mov ax, DIR_SEG
        call read_extent
        mov ax, DIR_SEG
        mov es, ax
        mov eax, [es:PVD_ROOT_RECORD + DR_EXTENT]
        mov [EXTENT_START], eax
        mov eax, [es:PVD_ROOT_RECORD + DR_DATA_LENGTH]
        mov [EXTENT_LENGTH], eax
        mov ax, DIR_SEG
        call read_extent

        ; The boot folder: named by the system's id.
        mov al, [SELECTED_INDEX]
        mul byte [ID_ENTRY_SIZE]        ; AX = index * entry size
        add ax, ID_TABLE
        mov [SEARCH_NAME], ax
        mov byte [SEARCH_LENGTH], ID_LENGTH
        mov byte [SEARCH_IS_DIR], 1
        call scan_dir
        pop cx
        pop si
        jc .done
        mov [SEARCH_NAME], si
        mov [SEARCH_LENGTH], cl
        mov byte [SEARCH_IS_DIR], 0
        mov ax, DIR_SEG
        call read_extent

        ; The file itself.
        call scan_dir
        jc .done
        mov ax, LOAD_SEG
        call read_extent
        clc
.done:  ret

; ---------------------------------------------------------------------------
; scan_dir: searches the directory just read to 1000:0000, whose length is in
; EXTENT_LENGTH, for the record named SEARCH_NAME (SEARCH_LENGTH bytes, case
; and all) whose directory flag equals SEARCH_IS_DIR.
; Out: CF clear and EXTENT_START/EXTENT_LENGTH = the record's extent; CF set
; when no record matches. Clobbers EAX, EBX, CX, EDX, SI, DI, ES.
;
; ES:DI is kept normalised (DI below 16), so a record never runs past the end
; of a segment and directories larger than 64 KiB are walked like any other;
; the boundary flag of the layout is therefore never needed.
scan_dir:
        mov ax, DIR_SEG
        mov es, ax
        xor di, di
        mov edx, [EXTENT_LENGTH]        ; bytes of the directory still to walk
.next:
        mov ax, di
        shr ax, 4
        mov bx, es
        add bx, ax
        mov es, bx
        and di, 0Fh
        test edx, edx
        jz .not_found
        movzx eax, byte [es:di + DR_LENGTH]
        test al, al
        jnz .record
        inc di                          ; zero tail of a sector: no record
        dec edx                         ; starts here, step over one byte
        jmp .next

.record:
        mov cl, [SEARCH_LENGTH]
        cmp cl, [es:di + DR_NAME_LENGTH]
        jne .skip
        mov bl, [es:di + DR_FLAGS]
        shr bl, 1
        and bl, 1                       ; BL = directory flag (bit 1)
        cmp bl, [SEARCH_IS_DIR]
        jne .skip
        push di
        mov si, [SEARCH_NAME]
        add di, DR_NAME
        movzx cx, cl
        repe cmpsb                      ; DS:SI (the name) against ES:DI
        pop di
        jne .skip
        mov ebx, [es:di + DR_EXTENT]
        mov [EXTENT_START], ebx
        mov ebx, [es:di + DR_DATA_LENGTH]
        mov [EXTENT_LENGTH], ebx
        clc
        ret

.skip:
        add di, ax                      ; on to the next record
        sub edx, eax
        jnc .next                       ; a record past the end: not found
.not_found:
        stc
        ret

; ---------------------------------------------------------------------------
; read_extent: reads the extent EXTENT_START/EXTENT_LENGTH (rounded up to
; whole sectors) to AX:0000 with extended reads, in pieces of at most 32
; sectors; each further piece goes 64 KiB (one segment) higher.
; A failed read takes the error path, and so does an extent that would not end
; below the top of conventional memory (which also keeps every piece below
; 1 MiB). Clobbers EAX, EDX, SI.
read_extent:
        mov [NEXT_SEGMENT], ax
        mov eax, [EXTENT_START]
        mov [NEXT_SECTOR], eax
        mov eax, [EXTENT_LENGTH]
        mov edx, eax
        shr eax, SECTOR_SHIFT
        test dx, SECTOR_SIZE - 1        ; a partial last sector is read whole
        jz .whole
        inc eax
.whole: mov [SECTORS_LEFT], eax

        ; The whole extent must end below the top of conventional memory
        ; (INT 12h, in KiB): above it lie the extended BIOS data, the screen
        ; and the ROMs, which a read must never overwrite, or the overflow
        ; message could not even be printed.
        shl eax, SECTOR_SHIFT - 4       ; paragraphs of the extent
        movzx edx, word [NEXT_SEGMENT]
        add eax, edx                    ; segment just past its end
        push eax
        int 12h                         ; AX = KiB below the EBDA
        movzx edx, ax
        shl edx, 6                      ; KiB -> paragraphs
        pop eax
        cmp eax, edx
        ja .overflow

.piece:
        mov eax, [SECTORS_LEFT]
        test eax, eax
        jz .done
        mov byte [SPLIT_READ], 0
        cmp eax, MAX_PIECE
        jbe .count
        mov byte [SPLIT_READ], 1        ; more pieces follow this one
        mov al, MAX_PIECE
.count: mov [PIECE_SECTORS], al

        mov byte [DISK_PACKET + dap.size], dap_size
        mov byte [DISK_PACKET + dap.reserved], 0
        movzx ax, byte [PIECE_SECTORS]
        mov [DISK_PACKET + dap.count], ax
        mov word [DISK_PACKET + dap.offset], 0
        mov ax, [NEXT_SEGMENT]
        mov [DISK_PACKET + dap.segment], ax
        mov eax, [NEXT_SECTOR]
        mov [DISK_PACKET + dap.lba], eax
        mov dword [DISK_PACKET + dap.lba_high], 0

        ; Some CD BIOSes change segment registers in INT 13h: keep ours.
        push ds
        push es
        mov si, DISK_PACKET
        mov dl, [BOOT_DRIVE]
        mov ah, 42h                     ; extended read
        int 13h
        pop es
        pop ds
        jc .read_failed                 ; also: no extended reads at all

        movzx eax, byte [PIECE_SECTORS]
        sub [SECTORS_LEFT], eax
        add [NEXT_SECTOR], eax
        cmp byte [SPLIT_READ], 0
        je .done
        add word [NEXT_SEGMENT], PIECE_SEG_STEP
        jnc .piece                      ; no carry: the next piece is below 1 MiB
.overflow:
        mov si, MSG_OVERFLOW
        jmp .error
.done:  ret

.read_failed:
        mov si, msg_read_error
.error: xor bp, bp                      ; we run at 07C0:0000 by now
        jmp boot_error

msg_read_error:
        db "CDBOOT: Disk read error", 13, 10, 0

; ===========================================================================
; Data. Every field at its offset; the program patches the menu text, the
; number of systems and the id table.

        pad_to SAVED_TIMER
        dd 0                            ; previous INT 08h vector
        field_at ERROR_COUNTDOWN
        dw ERROR_TICKS
        field_at DISK_PACKET
        times dap_size db 0
        field_at SPLIT_READ
        db 0
        field_at SETUPLDR_NAME
        db "SETUPLDR.BIN"
SETUPLDR_NAME_LEN equ $ - $$ - SETUPLDR_NAME
        field_at BOOTFIX_NAME
        db "BOOTFIX.BIN"
BOOTFIX_NAME_LEN equ $ - $$ - BOOTFIX_NAME
        field_at I386_NAME
        db "I386"
        field_at BOOT_DRIVE
        db 0
        field_at EXTENT_START
        dd 0
        field_at EXTENT_LENGTH
        dd 0
        field_at SECTORS_LEFT
        dd 0
        field_at NEXT_SEGMENT
        dw 0
        field_at NEXT_SECTOR
        dd 0
        field_at PIECE_SECTORS
        db 0
        field_at SEARCH_NAME
        dw 0
        field_at SEARCH_LENGTH
        db 0
        field_at SEARCH_IS_DIR
        db 0
        field_at SCAN_BOUNDARY
        db 0
        field_at MENU_LEAD
        db 13, 10, 13, 10
        field_at MENU_TEXT
        times MENU_TEXT_AREA db 0
        field_at SELECTED_INDEX
        db 0
        field_at SYSTEM_COUNT
        db 0
        field_at ID_ENTRY_SIZE
        db ID_LENGTH
        field_at ID_TABLE
        times ID_TABLE_AREA db 0
        field_at SIGNATURE
        db 55h, 0AAh
        field_at IMAGE_SIZE

%if MAX_PIECE > 255
  %error PIECE_SECTORS is a byte
%endif
