/* Stands in for the Windows boot manager file \bootmgr: the loader hands the
   machine back to it when no KV.ima is found. GRUB's ntldr command loads the
   file at 2000:0000 and jumps there. Writes a marker to the debug console
   and ends QEMU. Linked at 0. */
        .code16
        .text
        .globl _start
_start:
        movw    %cs, %ax
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
        .asciz  "WINDOWS-BOOT-MANAGER\n"
