#include "command_line.h"
#include "layer.h"

#include <errno.h>
#include <sys/mman.h>
#include <unistd.h>

static bool IsBlank(unsigned unit) {
    return unit == ' ' || unit == '\t';
}

static bool NeedsQuotes(const char* argument) {
    return *argument == 0 || strpbrk(argument, " \t\"") != NULL;
}

// Writes (when out is not NULL) and counts the units of one character run.
static size_t Put(LPWSTR out, size_t at, unsigned char byte, size_t times) {
    if (out != NULL)
        for (size_t i = 0; i < times; ++i) out[at + i] = byte;
    return at + times;
}

// The name has to be skipped whole by the rule that finds a program's name
// (quotes toggle, nothing escapes) and split back whole by the argument
// rules. Inside quotes a quote is doubled, and so is a run of backslashes
// before a quote or before the closing quote: the first rule sees pairs of
// quotes, which leave the quoting as it was; the second reads each doubled
// run back as the run and "" as one quote.
static size_t PutProgramName(LPWSTR out, size_t at, const char* name) {
    if (!NeedsQuotes(name)) {
        for (; *name != 0; ++name) at = Put(out, at, static_cast<unsigned char>(*name), 1);
        return at;
    }
    at = Put(out, at, '"', 1);
    for (const char* c = name;; ++c) {
        size_t backslashes = 0;
        while (*c == '\\') {
            ++backslashes;
            ++c;
        }
        bool beforeQuote = *c == '"' || *c == 0;
        at = Put(out, at, '\\', beforeQuote ? backslashes * 2 : backslashes);
        if (*c == 0) break;
        at = Put(out, at, static_cast<unsigned char>(*c), *c == '"' ? 2 : 1);
    }
    return Put(out, at, '"', 1);
}

// Backslashes are literal except in a run before a quote: that run is
// doubled and the quote escaped. A closing quote counts as such a quote.
static size_t PutArgument(LPWSTR out, size_t at, const char* argument) {
    bool quoted = NeedsQuotes(argument);
    if (quoted) at = Put(out, at, '"', 1);
    for (const char* c = argument;; ++c) {
        size_t backslashes = 0;
        while (*c == '\\') {
            ++backslashes;
            ++c;
        }
        if (*c == 0) {
            at = Put(out, at, '\\', quoted ? backslashes * 2 : backslashes);
            break;
        }
        if (*c == '"') {
            at = Put(out, at, '\\', backslashes * 2 + 1);
        } else {
            at = Put(out, at, '\\', backslashes);
        }
        at = Put(out, at, static_cast<unsigned char>(*c), 1);
    }
    if (quoted) at = Put(out, at, '"', 1);
    return at;
}

static size_t PutCommandLine(LPWSTR out, int argumentCount, char* const* arguments) {
    size_t at = 0;
    if (argumentCount > 0) at = PutProgramName(out, at, arguments[0]);
    for (int i = 1; i < argumentCount; ++i) {
        at = Put(out, at, ' ', 1);
        at = PutArgument(out, at, arguments[i]);
    }
    return Put(out, at, 0, 1);
}

LPWSTR BuildCommandLine(int argumentCount, char* const* arguments) {
    size_t units = PutCommandLine(NULL, argumentCount, arguments);
    LPWSTR line = static_cast<LPWSTR>(malloc(units * sizeof(WCHAR)));
    if (line != NULL) PutCommandLine(line, argumentCount, arguments);
    return line;
}

// One pass of the split: counts when vector is NULL, fills it otherwise.
// Returns false for a unit above 0xFF, which no byte of an argument makes.
static bool ParseCommandLine(LPCWSTR line, char** vector, char* bytes, size_t* argumentCount,
                             size_t* byteCount) {
    size_t count = 0, used = 0;
    const WCHAR* p = line;
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == 0) break;
        if (vector != NULL) vector[count] = bytes + used;
        ++count;
        bool quoted = false;
        while (*p != 0 && (quoted || !IsBlank(*p))) {
            if (*p > 0xFF) return false;
            if (*p == '\\') {
                size_t backslashes = 0;
                while (p[backslashes] == '\\') ++backslashes;
                bool beforeQuote = p[backslashes] == '"';
                size_t kept = beforeQuote ? backslashes / 2 : backslashes;
                if (vector != NULL) memset(bytes + used, '\\', kept);
                used += kept;
                p += backslashes;
                if (beforeQuote && backslashes % 2 == 1) {
                    if (vector != NULL) bytes[used] = '"';
                    ++used;
                    ++p;
                }
                continue;
            }
            if (*p == '"') {
                // Inside quotes, "" stands for one literal quote.
                if (quoted && p[1] == '"') {
                    if (vector != NULL) bytes[used] = '"';
                    ++used;
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
                continue;
            }
            if (vector != NULL) bytes[used] = static_cast<char>(*p);
            ++used;
            ++p;
        }
        if (vector != NULL) bytes[used] = 0;
        ++used;
    }
    if (vector != NULL) vector[count] = NULL;
    *argumentCount = count;
    *byteCount = used;
    return true;
}

static char** ReceivedArgumentsIfSame(LPCWSTR commandLine);

char** SplitCommandLine(LPCWSTR commandLine) {
    char** received = ReceivedArgumentsIfSame(commandLine);
    if (received != NULL || errno == ENOMEM) return received;
    size_t count, used;
    if (!ParseCommandLine(commandLine, NULL, NULL, &count, &used)) {
        errno = EILSEQ;
        return NULL;
    }
    size_t vectorBytes = (count + 1) * sizeof(char*);
    char** vector = static_cast<char**>(malloc(vectorBytes + used));
    if (vector == NULL) {
        errno = ENOMEM;
        return NULL;
    }
    ParseCommandLine(commandLine, vector, reinterpret_cast<char*>(vector) + vectorBytes, &count,
                     &used);
    return vector;
}

// The raw command line. A long one is kept in pages of a memory file of its
// own: they can be let go before the spawn and come back unchanged from the
// file if the line is read again (anonymous pages would come back as
// zeros). Lines below this many bytes are not worth the three calls.
static const size_t SharedLineBytes = 64 * 1024;
static LPWSTR g_line;
static size_t g_lineBytes;
static size_t g_tailUnits;  // where the first argument starts in the line
static bool g_lineShared;
static bool g_lineLost;

static LPWSTR AllocateLine(size_t bytes) {
    if (bytes >= SharedLineBytes) {
        int fd = memfd_create("wexel-command-line", MFD_CLOEXEC);
        if (fd >= 0) {
            void* pages = MAP_FAILED;
            if (ftruncate(fd, static_cast<off_t>(bytes)) == 0)
                pages = mmap(NULL, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            close(fd);
            if (pages != MAP_FAILED) {
                g_lineShared = true;
                return static_cast<LPWSTR>(pages);
            }
        }
    }
    return static_cast<LPWSTR>(malloc(bytes));
}

// Built once, kept for the life of the process, as Windows keeps its own.
// A line that could not be built stays lost (the empty line stands in), so
// that every caller sees the same line.
LPWSTR GetCommandLineW(void) {
    static WCHAR empty[1];
    if (g_line == NULL && !g_lineLost) {
        int argumentCount;
        char** arguments;
        GetStartupArguments(&argumentCount, &arguments);
        size_t units = PutCommandLine(NULL, argumentCount, arguments);
        g_line = AllocateLine(units * sizeof(WCHAR));
        if (g_line == NULL) {
            g_lineLost = true;
            return empty;
        }
        g_lineBytes = units * sizeof(WCHAR);
        PutCommandLine(g_line, argumentCount, arguments);
        if (argumentCount > 1) g_tailUnits = PutProgramName(NULL, 0, arguments[0]) + 1;
    }
    return g_line != NULL ? g_line : empty;
}

bool CommandLineLost(void) {
    return g_lineLost;
}

// A command line that is the raw line's tail unchanged splits into the
// arguments wexel itself received, by the round trip this file keeps: the
// vector then points at those, which live as long as the process, and no
// second copy of every byte is made (nor is resident when the child is
// started). NULL with errno 0 when the line is another one.
static char** ReceivedArgumentsIfSame(LPCWSTR commandLine) {
    errno = 0;
    int argumentCount;
    char** arguments;
    GetStartupArguments(&argumentCount, &arguments);
    if (g_line == NULL || argumentCount < 2) return NULL;
    LPCWSTR tail = g_line + g_tailUnits;
    size_t units = g_lineBytes / sizeof(WCHAR) - g_tailUnits;
    // Unit by unit: a shorter line ends at its NUL, where the tail has none.
    for (size_t i = 0; i < units; ++i)
        if (commandLine[i] != tail[i]) return NULL;
    size_t count = static_cast<size_t>(argumentCount) - 1;
    char** vector = static_cast<char**>(malloc((count + 1) * sizeof(char*)));
    if (vector == NULL) {
        errno = ENOMEM;
        return NULL;
    }
    memcpy(vector, arguments + 1, count * sizeof(char*));
    vector[count] = NULL;
    return vector;
}

bool ReleaseCommandLinePages(void) {
    return g_lineShared && madvise(g_line, g_lineBytes, MADV_DONTNEED) == 0;
}
