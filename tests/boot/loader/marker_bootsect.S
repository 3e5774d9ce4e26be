/* Boot code of the test KV.ima: reached only when the loader chain started
   the floppy image. It writes a marker to the debug console (port 0xE9) and
   ends QEMU through the isa-debug-exit device (port 0xF4). Linked at 0x7C3E,
   behind the FAT16 BIOS parameter block that mkfs.fat wrote. */
        .code16
        .text
        .globl _start
_start:
        xorw    %ax, %ax
        movw    %ax, %ds
        cld
        movw    $message, %si
        movw    $0xe9, %dx
next:
        lodsb
        testb   %al, %al
        jz      done
        outb    %al, %dx
        jmp     next
done:
        movw    $0xf4, %dx
        movb    $0x10, %al
        outb    %al, %dx
        hlt
        jmp     done
message:
        .asciz  "KAVI-FLOPPY-BOOTED\n"
