/* Ends the table of delay-load descriptors, which the delay-import libraries place in the
   input sections .text$2: the linker sorts this one (.text$3) right after them. */
__attribute__((section(".text$3"), used, aligned(16)))
const unsigned int tavelin_delay_import_end[8] = {0};
