/* Stands in for the NTFS boot code that Windows writes to its system
   partition: started by the master boot record at 0000:7C00 with the boot
   drive in DL, it finds the file BOOTMGR in the volume's root folder, loads
   it whole at 2000:0000 and jumps there with the drive in DL, as Windows'
   own boot code does. It finds the file by reading the MFT record by record
   (in use, not a folder, a $FILE_NAME in the root, 5) rather than through
   the root folder's index: on a sound volume both name the same file.

   The boot region's 16 sectors: sector 0 carries the format's jump and BPB
   (0x00-0x53, kept from the partition) and the code at 0x54 that loads
   sectors 1-15, which hold the rest. Linked at 0x7C00. Memory: $MFT's own
   record at 0x0800, the record read at 0x1000, BOOTMGR from 0x20000 up to
   0x98000. Any failure prints "VBR: no BOOTMGR" and halts. */
        .code16
        .text
        .globl _start

        BPB_SECTORS_PER_CLUSTER = 0x7c0d
        BPB_HIDDEN_SECTORS      = 0x7c1c
        BPB_MFT_CLUSTER         = 0x7c30
        BPB_MFT_RECORD_SIZE     = 0x7c40   /* 0xF6: 2^10 bytes */
        MFT_RECORD              = 0x0800
        RECORD                  = 0x1000
        LOAD_SEGMENT            = 0x2000
        LOAD_LIMIT              = 0x9800

_start:
        jmp     start
        nop
        .org    0x54
start:
        cli
        xorw    %ax, %ax
        movw    %ax, %ds
        movw    %ax, %es
        movw    %ax, %ss
        movw    $0x7c00, %sp
        sti
        cld
        movb    %dl, drive
        movl    BPB_HIDDEN_SECTORS, %eax
        incl    %eax
        movw    $15, %cx
        movw    $0x7e00, %bx
        call    read_sectors
        jmp     main

/* CX sectors from LBA EAX to ES:BX. */
read_sectors:
        movl    %eax, dap_lba
        movw    %cx, dap_count
        movw    %bx, dap_offset
        movw    %es, dap_segment
        movw    $dap, %si
        movb    drive, %dl
        movb    $0x42, %ah
        int     $0x13
        jc      fail
        ret

fail:
        movw    $message, %si
1:      lodsb
        testb   %al, %al
        jz      2f
        movb    $0x0e, %ah
        movw    $7, %bx
        int     $0x10
        jmp     1b
2:      cli
        hlt
        jmp     2b

message: .asciz "VBR: no BOOTMGR"
drive:  .byte   0x80
dap:    .byte   0x10, 0
dap_count:   .word 0
dap_offset:  .word 0
dap_segment: .word 0
dap_lba:     .long 0, 0

        .org    0x1fe
        .word   0xaa55

/* Sector 1 on. */
main:
        cmpb    $0xf6, BPB_MFT_RECORD_SIZE
        jne     fail
        movzbl  BPB_SECTORS_PER_CLUSTER, %eax
        movl    %eax, sectors_per_cluster
        /* $MFT's own record, then the runs of its data. */
        movl    BPB_MFT_CLUSTER, %eax
        mull    sectors_per_cluster
        addl    BPB_HIDDEN_SECTORS, %eax
        movw    $2, %cx
        movw    $MFT_RECORD, %bx
        call    read_sectors
        movw    $MFT_RECORD, %di
        call    fixup
        jc      fail
        movl    $0x80, %eax
        call    find_attribute
        jc      fail
        addw    0x20(%si), %si
        movl    $0, run_lcn
next_mft_run:
        call    next_run
        jc      fail                    /* every record read: no BOOTMGR */
        movw    %si, mft_runs
        call    run_sectors
next_record:
        cmpl    $2, left
        jb      run_done
        movl    cur_lba, %eax
        movw    $2, %cx
        movw    $RECORD, %bx
        call    read_sectors
        addl    $2, cur_lba
        subl    $2, left
        call    is_bootmgr
        jnc     found
        jmp     next_record
run_done:
        movw    mft_runs, %si
        jmp     next_mft_run

found:
        movw    $RECORD, %di
        movl    $0x80, %eax
        call    find_attribute
        jc      fail
        cmpb    $1, 8(%si)              /* its data lies in runs */
        jne     fail
        addw    0x20(%si), %si
        movl    $0, run_lcn
        movw    $LOAD_SEGMENT, load_segment
next_load_run:
        call    next_run
        jc      loaded
        pushw   %si
        call    run_sectors
next_chunk:
        movl    left, %ecx
        testl   %ecx, %ecx
        jz      chunk_done
        cmpl    $64, %ecx
        jbe     1f
        movl    $64, %ecx
1:      subl    %ecx, left
        movl    cur_lba, %eax
        addl    %ecx, cur_lba
        movw    load_segment, %es
        xorw    %bx, %bx
        call    read_sectors
        xorw    %ax, %ax
        movw    %ax, %es
        movw    dap_count, %cx
        shlw    $5, %cx                 /* 512 bytes: 0x20 paragraphs */
        addw    %cx, load_segment
        cmpw    $LOAD_LIMIT, load_segment
        ja      fail
        jmp     next_chunk
chunk_done:
        popw    %si
        jmp     next_load_run
loaded:
        movb    drive, %dl
        ljmp    $LOAD_SEGMENT, $0

/* The run at DS:SI of a run list: ECX clusters from cluster EAX, SI past
   it, run_lcn updated; CF at the list's end. */
next_run:
        movb    (%si), %al
        incw    %si
        testb   %al, %al
        jz      9f
        movb    %al, run_header
        movb    %al, %cl
        andb    $0x0f, %cl
        xorb    %ch, %ch
        call    read_le
        movl    %eax, run_length
        movb    run_header, %cl
        shrb    $4, %cl
        jz      fail                    /* a sparse run: no such boot file */
        movb    $1, %ch
        call    read_le
        addl    %eax, run_lcn
        movl    run_length, %ecx
        movl    run_lcn, %eax
        clc
        ret
9:      stc
        ret

/* EAX: the CL-byte little-endian number at DS:SI (at most 4 bytes),
   sign-extended when CH is 1; SI past it. */
read_le:
        xorl    %eax, %eax
        movzbw  %cl, %bx
        cmpw    $4, %bx
        ja      fail
        addw    %bx, %si
        testw   %bx, %bx
        jz      3f
        testb   %ch, %ch
        jz      1f
        testb   $0x80, -1(%si)
        jz      1f
        decl    %eax
1:      movw    %si, %di
2:      decw    %di
        shll    $8, %eax
        movb    (%di), %al
        decw    %bx
        jnz     2b
3:      ret

/* The run ECX clusters from cluster EAX as sectors: cur_lba, left. */
run_sectors:
        mull    sectors_per_cluster
        addl    BPB_HIDDEN_SECTORS, %eax
        movl    %eax, cur_lba
        movl    %ecx, %eax
        mull    sectors_per_cluster
        movl    %eax, left
        ret

/* The record at DI with its sector ends put back from the update sequence
   array; CF when it is no record or torn. */
fixup:
        cmpl    $0x454c4946, (%di)      /* "FILE" */
        jne     9f
        movw    4(%di), %si
        addw    %di, %si
        movw    6(%di), %cx
        decw    %cx
        jz      9f
        leaw    510(%di), %bx
        movw    (%si), %dx
1:      addw    $2, %si
        cmpw    %dx, (%bx)
        jne     9f
        movw    (%si), %ax
        movw    %ax, (%bx)
        addw    $512, %bx
        loop    1b
        clc
        ret
9:      stc
        ret

/* SI: the first attribute of the record at DI; CF when it has none. */
first_attribute:
        movw    0x14(%di), %si
        addw    %di, %si
        jmp     1f
/* SI: the attribute after the one at SI in the record at DI; CF at the
   end marker or past the record. */
next_attribute:
        movw    4(%si), %cx
        jcxz    9f
        addw    %cx, %si
        leaw    1024(%di), %cx
        cmpw    %cx, %si
        jae     9f
1:      cmpl    $0xffffffff, (%si)
        je      9f
        clc
        ret
9:      stc
        ret

/* SI: the first unnamed attribute of type EAX in the record at DI; CF when
   it has none. */
find_attribute:
        call    first_attribute
1:      jc      9f
        cmpl    %eax, (%si)
        jne     2f
        cmpb    $0, 9(%si)
        je      9f                      /* CF clear from the compare */
2:      call    next_attribute
        jmp     1b
9:      ret

/* CF clear when the record at RECORD is a file in use named BOOTMGR
   (any case) in the root folder. */
is_bootmgr:
        movw    $RECORD, %di
        call    fixup
        jc      9f
        movb    0x16(%di), %al
        andb    $3, %al
        cmpb    $1, %al                 /* in use, not a folder */
        jne     9f
        call    first_attribute
1:      jc      9f
        cmpl    $0x30, (%si)
        jne     4f
        movw    0x14(%si), %bx
        addw    %si, %bx
        cmpl    $5, (%bx)               /* parent: the root folder */
        jne     4f
        cmpw    $0, 4(%bx)
        jne     4f
        movzbw  0x40(%bx), %cx
        cmpw    $name_end - name, %cx
        jne     4f
        leaw    0x42(%bx), %bx
        movw    $name, %bp
2:      movw    (%bx), %ax
        cmpw    $'a', %ax
        jb      3f
        cmpw    $'z', %ax
        ja      3f
        subw    $0x20, %ax
3:      movzbw  (%bp), %dx
        cmpw    %dx, %ax
        jne     4f
        incw    %bp
        addw    $2, %bx
        loop    2b
        clc
        ret
4:      call    next_attribute
        jmp     1b
9:      stc
        ret

name:   .ascii  "BOOTMGR"
name_end:
        .balign 4
sectors_per_cluster: .long 0
run_lcn:      .long 0
run_length:   .long 0
cur_lba:      .long 0
left:         .long 0
mft_runs:     .word 0
load_segment: .word 0
run_header:   .byte 0
