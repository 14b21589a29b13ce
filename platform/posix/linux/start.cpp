// Starting the command: posix_spawnp, and /bin/sh for a file that the
// kernel cannot run, as execvp and the shells do. posix_spawn rather than
// fork: glibc's and musl's start the child with CLONE_VM|CLONE_VFORK, so a
// large wexel costs nothing to copy and the child is running by the time
// the call returns.
#include "child.h"
#include "system_calls.h"

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

static const char* const Shell = "/bin/sh";

// What posix_spawnp and execvp search when PATH is not set.
static const char* const DefaultSearchPath = "/bin:/usr/bin";

static bool IsExecutableFile(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 && S_ISREG(status.st_mode) && access(path, X_OK) == 0;
}

// The file that the search by PATH ran into, as posix_spawnp found it: the
// first executable regular file. A name with a slash is taken as it is.
static bool FindProgram(const char* name, char* path, size_t size) {
    if (strchr(name, '/') != NULL) return snprintf(path, size, "%s", name) < static_cast<int>(size);
    const char* search = getenv("PATH");
    if (search == NULL) search = DefaultSearchPath;
    for (const char* entry = search;; ++entry) {
        const char* end = strchrnul(entry, ':');
        int length = static_cast<int>(end - entry);
        // An empty entry is the current directory.
        int written = length == 0 ? snprintf(path, size, "%s", name)
                                  : snprintf(path, size, "%.*s/%s", length, entry, name);
        if (written < static_cast<int>(size) && IsExecutableFile(path)) return true;
        if (*end == 0) return false;
        entry = end;
    }
}

// The file runs as a shell script: /bin/sh FILE ARGUMENTS..., as execvp
// runs it. When that cannot be done either, the kernel's ENOEXEC stands.
static int SpawnWithShell(pid_t* pid, char* const arguments[], const posix_spawnattr_t* attributes) {
    char path[PATH_MAX];
    if (!FindProgram(arguments[0], path, sizeof(path))) return ENOEXEC;
    size_t count = 0;
    while (arguments[count] != NULL) ++count;
    char** shellArguments = static_cast<char**>(osMalloc((count + 2) * sizeof(char*)));
    if (shellArguments == NULL) return ENOEXEC;
    shellArguments[0] = const_cast<char*>(Shell);
    shellArguments[1] = path;
    for (size_t i = 1; i <= count; ++i) shellArguments[i + 1] = arguments[i];
    int error = osPosixSpawn(pid, Shell, NULL, attributes, shellArguments, environ);
    free(shellArguments);
    return error == 0 ? 0 : ENOEXEC;
}

// The child gets this process's environment, directory, descriptors,
// process group and signal mask, and the signal dispositions wexel itself
// started with.
static int SpawnProgram(pid_t* pid, char* const arguments[]) {
    posix_spawnattr_t attributes;
    int error = posix_spawnattr_init(&attributes);
    if (error != 0) return error;
    sigset_t defaults;
    GetSignalsChangedFromDefault(&defaults);
    error = posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (error == 0) error = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    if (error == 0) error = osPosixSpawnp(pid, arguments[0], NULL, &attributes, arguments, environ);
    if (error == ENOEXEC) error = SpawnWithShell(pid, arguments, &attributes);
    posix_spawnattr_destroy(&attributes);
    return error;
}

int StartChild(Child* child, char* const arguments[]) {
    memset(child, 0, sizeof(*child));
    child->StatusFd = -1;
    LowerOwnPeakBeforeStart();
    StartCatchingSignalsForChild();
    NoteOutputBeforeStart();
    child->StartTime = BootTime();
    int error = SpawnProgram(&child->Pid, arguments);
    if (error != 0) {
        GiveSignalsBackAfterFailedStart();
        return error;
    }
    PassSignalsToChild(child->Pid);
    return 0;
}

void ReleaseChild(Child* child) {
    if (child->StatusFd >= 0) close(child->StatusFd);
    child->StatusFd = -1;
}
