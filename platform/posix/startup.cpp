// Everything the Linux layer does before main, in this order, and nothing
// more:
//  1. It keeps the argument vector, from which GetCommandLineW builds the
//     raw command line that Windows would hand over.
//  2. It sets SIGCHLD back to the default if it was started ignored: the
//     kernel would otherwise reap the child itself and lose its status.
//  3. It ignores SIGPIPE and SIGXFSZ for wexel itself, where they were at
//     the default, and notes them so that the child gets the default back:
//     a reader that has gone, or a file size limit, then costs wexel its
//     report at most, never the child's status.
// Everything else (the console handlers, the signals passed on to the
// child, the wait) is set up when wexel asks for it.
#include "layer.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

static int g_argumentCount;
static char** g_arguments;
static sigset_t g_changedFromDefault;

void GetStartupArguments(int* argumentCount, char*** arguments) {
    *argumentCount = g_argumentCount;
    *arguments = g_arguments;
}

void GetSignalsChangedFromDefault(sigset_t* signals) {
    *signals = g_changedFromDefault;
}

static void IgnoreIfDefault(int signalNumber) {
    if (ReplaceDefaultAction(signalNumber, SIG_IGN, 0))
        sigaddset(&g_changedFromDefault, signalNumber);
}

static void KeepChildStatus(void) {
    struct sigaction old;
    if (sigaction(SIGCHLD, NULL, &old) == 0 && old.sa_handler == SIG_IGN)
        signal(SIGCHLD, SIG_DFL);
}

// The arguments as the kernel laid them out, NUL after each, for C
// libraries that call start-up functions without them.
char** ReadArgumentBlock(const char* block, size_t length, int* argumentCount) {
    int count = 0;
    for (size_t i = 0; i < length; ++i)
        if (block[i] == 0) ++count;
    if (length > 0 && block[length - 1] != 0) ++count;  // cut short: keep what came
    char** vector = static_cast<char**>(malloc((count + 1) * sizeof(char*) + length + 1));
    if (vector == NULL) return NULL;
    char* bytes = reinterpret_cast<char*>(vector + count + 1);
    memcpy(bytes, block, length);
    bytes[length] = 0;
    for (int i = 0; i < count; ++i) {
        vector[i] = bytes;
        bytes += strlen(bytes) + 1;
    }
    vector[count] = NULL;
    *argumentCount = count;
    return vector;
}

#ifndef __GLIBC__
static void ReadOwnArguments(void) {
    int fd = open("/proc/self/cmdline", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    size_t size = 4096, length = 0;
    char* block = static_cast<char*>(malloc(size));
    ssize_t got = 1;
    while (block != NULL && got > 0) {
        if (length == size) {
            char* larger = static_cast<char*>(realloc(block, size *= 2));
            if (larger == NULL) break;
            block = larger;
        }
        while ((got = read(fd, block + length, size - length)) < 0 && errno == EINTR) {
        }
        if (got > 0) length += static_cast<size_t>(got);
    }
    close(fd);
    if (block != NULL) g_arguments = ReadArgumentBlock(block, length, &g_argumentCount);
    free(block);
}
#endif

// glibc hands argc and argv to every .init_array entry, in a static program
// as in a dynamic one; other C libraries call the entries without them, and
// there the kernel's own copy in /proc is read instead.
static void StartUp(int argumentCount, char** arguments, char**) {
#ifdef __GLIBC__
    g_argumentCount = argumentCount;
    g_arguments = arguments;
#else
    (void)argumentCount;
    (void)arguments;
    ReadOwnArguments();
#endif
    sigemptyset(&g_changedFromDefault);
    KeepChildStatus();
    IgnoreIfDefault(SIGPIPE);
    IgnoreIfDefault(SIGXFSZ);
}

__attribute__((section(".init_array"), used)) static void (*const g_startUp)(int, char**,
                                                                            char**) = StartUp;
