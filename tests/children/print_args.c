/* Prints each argument it got (its own name excluded) on a line of its own,
 * every byte as two lower-case hex digits, so that any byte string reads
 * back exactly. An empty argument gives an empty line; the first line holds
 * the count. */
#include <stdio.h>

int main(int argc, char** argv) {
    printf("%d\n", argc - 1);
    for (int i = 1; i < argc; ++i) {
        for (const unsigned char* byte = (const unsigned char*)argv[i]; *byte != 0; ++byte)
            printf("%02x", *byte);
        printf("\n");
    }
    return 0;
}
