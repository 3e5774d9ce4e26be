/* Stands in for the Windows boot manager starting a bootsector entry: it
   loads the boot-sector file (kvldr.mbr, kept in sectors 1 to 16 of the test
   disk) whole at 0000:7C00 and jumps to it with the boot drive in DL.
   Linked at 0x600, where it copies itself first. */
        .code16
        .text
        .globl _start
_start:
        cli
        xorw    %ax, %ax
        movw    %ax, %ds
        movw    %ax, %es
        movw    %ax, %ss
        movw    $0x7c00, %sp
        sti
        cld
        movw    $0x7c00, %si
        movw    $0x600, %di
        movw    $256, %cx
        rep movsw
        ljmp    $0, $relocated
relocated:
        movb    %dl, drive
        movw    $dap, %si
        movb    $0x42, %ah
        int     $0x13
        jc      failed
        movb    drive, %dl
        ljmp    $0, $0x7c00
failed:
        movw    $0xe9, %dx
        movb    $'!', %al
        outb    %al, %dx
        hlt
        jmp     failed
drive:  .byte   0x80
        .balign 4
dap:    .byte   0x10, 0
        .word   16              /* sectors: 8 KiB */
        .word   0x7c00, 0       /* offset, segment */
        .long   1, 0            /* first sector */
