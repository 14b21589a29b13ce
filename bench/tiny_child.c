/* A program that does nothing at all and touches almost no memory: what is
 * left of a launcher's figures when it runs this is the launcher's own. */
__asm__(".globl _start\n"
        "_start:\n"
        "  mov $60, %eax\n"
        "  xor %edi, %edi\n"
        "  syscall\n");
