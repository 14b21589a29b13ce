// wexel's own resident floor under the command's Physical figure. Linux
// folds the peak resident set of the image that exec replaces into the new
// image's record, and the command, started with CLONE_VM, execs in wexel's
// own address space: wexel's peak at the start becomes the least the
// command can show.
// A long command line is held three times over (the arguments, the raw
// line, the command buffer); the raw line is not needed for the start, so
// it lives in pages that can be let go, and wexel's peak is then set back to
// what is resident.
#include "child.h"
#include "system_calls.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

// Blocks below this many bytes are not worth the three calls of a memory
// file, nor the reset.
static const size_t ReleasableBytes = 64 * 1024;

static void* g_releasable;  // the pages of a memory file, or NULL
static size_t g_releasableBytes;

// Pages of a memory file of wexel's own (memfd_create), mapped shared: after
// MADV_DONTNEED they come back from the file as they were, where anonymous
// pages would come back as zeros.
static void* MapMemoryFile(size_t bytes) {
    int fd = memfd_create("wexel-command-line", MFD_CLOEXEC);
    if (fd < 0) return NULL;
    void* pages = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(bytes)) == 0)
        pages = mmap(NULL, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return pages == MAP_FAILED ? NULL : pages;
}

void* AllocateReleasable(size_t bytes) {
    void* block = bytes >= ReleasableBytes ? MapMemoryFile(bytes) : NULL;
    if (block == NULL) return osMalloc(bytes);
    g_releasable = block;
    g_releasableBytes = bytes;
    return block;
}

void FreeReleasable(void* block, size_t bytes) {
    if (block == NULL) return;
    if (block != g_releasable) {
        free(block);
        return;
    }
    munmap(block, bytes);
    g_releasable = NULL;
}

// Neither step's failure matters: the figure is then only higher. Writing
// "5" to /proc/self/clear_refs sets the process's peak resident size back
// to its resident size now.
void LowerOwnPeakBeforeStart(void) {
    if (g_releasable == NULL || madvise(g_releasable, g_releasableBytes, MADV_DONTNEED) != 0) return;
    int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    ssize_t written = write(fd, "5", 1);
    (void)written;
    close(fd);
}
