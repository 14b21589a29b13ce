/* Dies of a real segmentation fault: a write through a null pointer that
 * the compiler cannot see is null. */
#include <signal.h>

int main(void) {
    signal(SIGSEGV, SIG_DFL);
    volatile int* volatile nowhere = 0;
    *nowhere = 1;
    return 1;
}
