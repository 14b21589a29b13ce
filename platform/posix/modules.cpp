// A fixed table in place of the loader: the two modules wexel asks for and
// the one export each that it looks up. kernel32.dll is always loaded;
// Psapi.dll must be loaded first. Names of modules match without regard to
// case, names of functions exactly, as on Windows.
#include "win32_calls.h"

#include <errno.h>

struct PosixModule {
    const WCHAR* Name;
    const char* ExportName;
    Win32CallIndex Export;
    bool AlwaysLoaded;
    bool Loaded;
};

static PosixModule g_modules[] = {
    {TEXT("kernel32.dll"), "K32GetProcessMemoryInfo", Win32K32GetProcessMemoryInfo, true, true},
    {TEXT("Psapi.dll"), "GetProcessMemoryInfo", Win32GetProcessMemoryInfo, false, false},
};

static WCHAR LowerCase(WCHAR unit) {
    return unit >= 'A' && unit <= 'Z' ? static_cast<WCHAR>(unit - 'A' + 'a') : unit;
}

static bool SameModuleName(LPCWSTR a, LPCWSTR b) {
    for (; LowerCase(*a) == LowerCase(*b); ++a, ++b)
        if (*a == 0) return true;
    return false;
}

static PosixModule* FindModule(LPCWSTR name) {
    if (name == NULL) return NULL;
    for (PosixModule& module : g_modules)
        if (SameModuleName(module.Name, name)) return &module;
    return NULL;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
    PosixModule* module = FindModule(name);
    if (module == NULL || !(module->AlwaysLoaded || module->Loaded)) {
        SetLastError(ENOENT);
        return NULL;
    }
    return module;
}

HMODULE WINAPI LoadModule(LPCWSTR name) {
    PosixModule* module = FindModule(name);
    if (module == NULL) {
        SetLastError(ENOENT);
        return NULL;
    }
    module->Loaded = true;
    return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    FARPROC address = NULL;
    if (module != NULL && name != NULL && strcmp(module->ExportName, name) == 0)
        address = MemoryQueryExport(module->Export);
    if (address == NULL) SetLastError(ENOENT);
    return address;
}
