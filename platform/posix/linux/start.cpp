// Starting the command, with what it would have had without wexel. The
// child is started as glibc's and musl's posix_spawn start theirs, with
// clone(CLONE_VM | CLONE_VFORK): it runs in wexel's memory, on a stack of
// its own, until its exec, and wexel goes on only then, so a large wexel
// costs nothing to copy. posix_spawn itself cannot be used: between the
// start and the exec the child must take over what Linux does not carry
// across a fork but does across an exec (the parent-death signal, the CPU
// timers, a real-time policy that resets on fork). Until its exec the child
// makes only system calls, through the C library's one-call wrappers: no
// lock, no allocation, nothing that touches what wexel is using.
//
// A failed exec comes back through a close-on-exec pipe, as musl's
// posix_spawn does it: the child writes the errno there, and wexel reads
// until the exec closes the pipe or the child's end does. That holds under
// any fork semantics: qemu-user and valgrind run this clone as a plain
// fork, where what the child writes into memory never reaches wexel. The
// shared record stays as the channel where no pipe can be had (a
// descriptor limit already reached), exact under a real vfork.
#include "child.h"
#include "system_calls.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static const char* const Shell = "/bin/sh";

// What execvp searches when PATH is not set.
static const char* const DefaultSearchPath = "/bin:/usr/bin";

// What the child sends back when no exec succeeded: the errno, and for
// ENOEXEC the file that the kernel could not run, as far as its NUL.
struct ExecFailure {
    volatile int Error;
    char RefusedFile[PATH_MAX];
};

// What the child needs, read by wexel before the start. The child sees the
// same record, since it runs in wexel's memory until its exec.
struct StartRequest {
    char* const* Arguments;  // arguments[0] names the program
    const char* SearchPath;  // PATH for a name without a slash; NULL to take it as a path
    pid_t Parent;            // wexel, whose end the death signal stands for
    int DeathSignal;         // for the command: wexel's own, or SIGKILL where it has none
    int Policy;              // a real-time policy that resets on fork; -1 for none
    struct sched_param Priority;
    struct itimerval VirtualTimer;  // wexel's ITIMER_VIRTUAL, moved to the command
    struct itimerval ProfileTimer;  // and its ITIMER_PROF
    int ErrorPipe;           // the pipe's end the child writes; -1 without a pipe
    ExecFailure Failure;     // written by the child when no exec succeeded
};

alignas(16) static char g_childStack[64 * 1024];

static bool IsArmed(const struct itimerval& timer) {
    return timer.it_value.tv_sec != 0 || timer.it_value.tv_usec != 0;
}

// A SIGKILL that ends wexel cannot be passed on; as its death signal the
// kernel delivers it to the command as wexel dies, so that a supervisor's
// kill -9 ends the command too, as it would have without wexel. So does
// any other end of wexel while the command runs (a fault of its own, a
// wait that failed), which would otherwise leave the command running on,
// holding its caller's output open. A death signal that wexel's own
// caller chose goes to the command instead.
static void ReadWhatWexelHas(StartRequest* request) {
    request->Parent = getpid();
    request->DeathSignal = 0;
    prctl(PR_GET_PDEATHSIG, &request->DeathSignal);
    if (request->DeathSignal == 0) request->DeathSignal = SIGKILL;
    // A policy flagged SCHED_RESET_ON_FORK is SCHED_OTHER again in a child.
    int policy = sched_getscheduler(0);
    int base = policy & ~SCHED_RESET_ON_FORK;
    bool realTime = policy >= 0 && (policy & SCHED_RESET_ON_FORK) && (base == SCHED_FIFO || base == SCHED_RR);
    request->Policy = realTime && sched_getparam(0, &request->Priority) == 0 ? policy : -1;
    getitimer(ITIMER_VIRTUAL, &request->VirtualTimer);
    getitimer(ITIMER_PROF, &request->ProfileTimer);
}

// A death signal set now comes too late for a wexel that is already gone.
__attribute__((no_sanitize("address"))) static void TakeOverWhatWexelHas(const StartRequest* request) {
    prctl(PR_SET_PDEATHSIG, request->DeathSignal);
    if (getppid() != request->Parent) kill(getpid(), request->DeathSignal);
    if (request->Policy >= 0) sched_setscheduler(0, request->Policy, &request->Priority);
    if (IsArmed(request->VirtualTimer)) setitimer(ITIMER_VIRTUAL, &request->VirtualTimer, NULL);
    if (IsArmed(request->ProfileTimer)) setitimer(ITIMER_PROF, &request->ProfileTimer, NULL);
}

__attribute__((no_sanitize("address"))) static int ExecFile(StartRequest* request,
                                                           const char* path) {
    execve(path, request->Arguments, environ);
    int error = errno;
    // A file the kernel looked into has a name shorter than PATH_MAX.
    size_t length = strlen(path);
    if (error == ENOEXEC && length < sizeof(request->Failure.RefusedFile))
        memcpy(request->Failure.RefusedFile, path, length + 1);
    return error;
}

// The search of execvp: each entry of PATH in turn (an empty one is the
// current directory); a file that is missing there, or that may not be run,
// sends it on to the next, and any other failure ends it.
__attribute__((no_sanitize("address"))) static int ExecBySearch(StartRequest* request) {
    const char* name = request->Arguments[0];
    if (request->SearchPath == NULL) return ExecFile(request, name);
    if (*name == 0) return ENOENT;
    int error = ENOENT;
    bool denied = false;
    char path[PATH_MAX];
    for (const char* entry = request->SearchPath;; entry = strchrnul(entry, ':') + 1) {
        size_t length = static_cast<size_t>(strchrnul(entry, ':') - entry);
        size_t nameLength = strlen(name);
        if (length + 1 + nameLength < sizeof(path)) {
            memcpy(path, entry, length);
            path[length] = '/';
            memcpy(path + length + 1, name, nameLength + 1);
            error = ExecFile(request, length == 0 ? name : path);
        } else {
            error = ENAMETOOLONG;
        }
        if (error == EACCES) denied = true;
        else if (error != ENOENT && error != ENOTDIR && error != ENAMETOOLONG && error != ESTALE)
            return error;
        if (entry[length] == 0) return denied ? EACCES : error;
    }
}

// The child: the dispositions and the mask wexel was given, what Linux
// would have handed over, then the exec. All signals are blocked until the
// mask is set, so no handler of wexel's runs on the child's stack.
__attribute__((no_sanitize("address"))) static int RunCommand(void* data) {
    StartRequest* request = static_cast<StartRequest*>(data);
    RestoreDispositionsForChild();
    TakeOverWhatWexelHas(request);
    sigprocmask(SIG_SETMASK, GivenSignalMask(), NULL);
    ExecFailure* failure = &request->Failure;
    failure->Error = ExecBySearch(request);
    size_t length = offsetof(ExecFailure, RefusedFile);
    if (failure->Error == ENOEXEC) length += strlen(failure->RefusedFile) + 1;
    if (request->ErrorPipe >= 0) write(request->ErrorPipe, failure, length);
    _exit(127);
}

// Everything the child wrote, up to the end that its exec or its exit
// makes; an error comes whole, or not at all, in one pipe buffer.
static void ReadExecFailure(int fd, ExecFailure* failure) {
    char* into = reinterpret_cast<char*>(failure);
    size_t have = 0;
    for (;;) {
        ssize_t length = read(fd, into + have, sizeof(*failure) - have);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0 || (have += static_cast<size_t>(length)) == sizeof(*failure)) break;
    }
    if (have >= offsetof(ExecFailure, RefusedFile) + 1) into[have - 1] = 0;
}

static int StartProcess(pid_t* pid, StartRequest* request) {
    memset(&request->Failure, 0, offsetof(ExecFailure, RefusedFile));
    int errorPipe[2] = {-1, -1};
    if (osPipe2(errorPipe, O_CLOEXEC) != 0) errorPipe[0] = errorPipe[1] = -1;
    request->ErrorPipe = errorPipe[1];
    int started = osClone(RunCommand, g_childStack + sizeof(g_childStack),
                          CLONE_VM | CLONE_VFORK | SIGCHLD, request);
    int cloneError = errno;
    if (errorPipe[1] >= 0) close(errorPipe[1]);
    if (errorPipe[0] >= 0) {
        if (started >= 0) ReadExecFailure(errorPipe[0], &request->Failure);
        close(errorPipe[0]);
    }
    if (started < 0) return cloneError;
    if (request->Failure.Error != 0) {
        while (waitpid(started, NULL, 0) < 0 && errno == EINTR) {
        }
        return request->Failure.Error;
    }
    *pid = started;
    return 0;
}

// The test bash makes before it runs a file as a script: no NUL byte before
// the end of the first line, within its first 80 bytes. A program built for
// another machine has one; a shell would run its bytes as commands.
static bool LooksLikeText(const char* path) {
    int fd = osOpen(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char start[80];
    ssize_t length;
    while ((length = read(fd, start, sizeof(start))) < 0 && errno == EINTR) {
    }
    close(fd);
    if (length < 0) return false;
    for (ssize_t i = 0; i < length && start[i] != '\n'; ++i)
        if (start[i] == 0) return false;
    return true;
}

// A text file the kernel cannot run runs as a shell script, as execvp runs
// it: /bin/sh FILE ARGUMENTS... When that cannot be done, ENOEXEC stands.
static int StartWithShell(pid_t* pid, StartRequest* request) {
    char file[PATH_MAX];
    strcpy(file, request->Failure.RefusedFile);
    if (!LooksLikeText(file)) return ENOEXEC;
    char* const* arguments = request->Arguments;
    size_t count = 0;
    while (arguments[count] != NULL) ++count;
    char** shellArguments = static_cast<char**>(osMalloc((count + 2) * sizeof(char*)));
    if (shellArguments == NULL) return ENOEXEC;
    shellArguments[0] = const_cast<char*>(Shell);
    shellArguments[1] = file;
    for (size_t i = 1; i <= count; ++i) shellArguments[i + 1] = arguments[i];
    request->Arguments = shellArguments;
    request->SearchPath = NULL;
    int error = StartProcess(pid, request);
    free(shellArguments);
    return error == 0 ? 0 : ENOEXEC;
}

// Moved, not copied: the command's CPU time is what the timers count now.
static void StopOwnCpuTimers(const StartRequest* request) {
    struct itimerval disarmed;
    memset(&disarmed, 0, sizeof(disarmed));
    if (IsArmed(request->VirtualTimer)) setitimer(ITIMER_VIRTUAL, &disarmed, NULL);
    if (IsArmed(request->ProfileTimer)) setitimer(ITIMER_PROF, &disarmed, NULL);
}

// The command keeps the descriptor limit it was given; wexel, given too few
// to open the command's status file, takes more of the hard limit for
// itself once the command has started.
static void RaiseOwnDescriptorLimit(void) {
    const rlim_t Enough = 16;
    struct rlimit limit;
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= Enough) return;
    limit.rlim_cur = limit.rlim_max < Enough ? limit.rlim_max : Enough;
    setrlimit(RLIMIT_NOFILE, &limit);
}

static int StartProgram(pid_t* pid, char* const arguments[]) {
    StartRequest request;
    memset(&request, 0, sizeof(request));
    request.Arguments = arguments;
    if (strchr(arguments[0], '/') == NULL) {
        request.SearchPath = getenv("PATH");
        if (request.SearchPath == NULL) request.SearchPath = DefaultSearchPath;
    }
    ReadWhatWexelHas(&request);
    int error = StartProcess(pid, &request);
    if (error == ENOEXEC) error = StartWithShell(pid, &request);
    if (error == 0) StopOwnCpuTimers(&request);
    return error;
}

int StartChild(Child* child, char* const arguments[]) {
    memset(child, 0, sizeof(*child));
    child->StatusFd = -1;
    LowerOwnPeakBeforeStart();
    HoldSignals();
    NoteOutputBeforeStart();
    child->StartTime = BootTime();
    int error = StartProgram(&child->Pid, arguments);
    if (error != 0) {
        ReleaseSignalsAfterFailedStart();
        return error;
    }
    RaiseOwnDescriptorLimit();
    return 0;
}

void ReleaseChild(Child* child) {
    if (child->StatusFd >= 0) close(child->StatusFd);
    child->StatusFd = -1;
}
