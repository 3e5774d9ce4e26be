/* A real-mode marker: writes a line to the debug console (port 0xE9) and
   ends QEMU through the isa-debug-exit device (port 0xF4). Assembled twice:
   - as the boot code of the test KV.ima, reached only when the loader chain
     started the floppy image; linked at 0x7C3E, behind the FAT16 BIOS
     parameter block that mkfs.fat wrote;
   - with --defsym BOOTMGR=1, as the stand-in for the Windows boot manager
     file \bootmgr, which the loader hands the machine back to when no KV.ima
     is found: GRUB's ntldr command loads it at 2000:0000 and jumps there;
     linked at 0. */
        .code16
        .text
        .globl _start
_start:
.ifdef BOOTMGR
        movw    %cs, %ax
.else
        xorw    %ax, %ax
.endif
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
.ifdef BOOTMGR
        .asciz  "WINDOWS-BOOT-MANAGER\n"
.else
        .asciz  "KAVI-FLOPPY-BOOTED\n"
.endif
