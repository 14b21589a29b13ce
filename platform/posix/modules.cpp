// A fixed table in place of the loader: the two modules wexel asks for and
// the one export each that it looks up. kernel32.dll is always loaded;
// Psapi.dll must be loaded first. Names of modules match without regard to
// case, names of functions exactly, as on Windows.
#include "layer.h"
#include "seams.h"

#include <errno.h>

struct PosixModule {
    const WCHAR* Name;
    const char* ExportName;
    FARPROC Export;
    bool* ExportHidden;  // a test seam, or NULL
    bool* ModuleHidden;
    bool AlwaysLoaded;
    bool Loaded;
};

static FARPROC AsFarProc(BOOL(WINAPI* function)(HANDLE, PPROCESS_MEMORY_COUNTERS, DWORD)) {
    return reinterpret_cast<FARPROC>(function);
}

static PosixModule g_modules[] = {
    {TEXT("kernel32.dll"), "K32GetProcessMemoryInfo", AsFarProc(K32GetProcessMemoryInfo),
     &g_PosixSeams.HideKernelMemoryQuery, NULL, true, true},
    {TEXT("Psapi.dll"), "GetProcessMemoryInfo", AsFarProc(GetProcessMemoryInfo), NULL,
     &g_PosixSeams.HidePsapi, false, false},
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
    for (PosixModule& module : g_modules) {
        bool hidden = module.ModuleHidden != NULL && *module.ModuleHidden;
        if (!hidden && SameModuleName(module.Name, name)) return &module;
    }
    return NULL;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
    PosixModule* module = FindModule(name);
    if (module == NULL || !(module->AlwaysLoaded || module->Loaded)) {
        SetLastErrorCode(ENOENT);
        return NULL;
    }
    return module;
}

HMODULE LoadLibraryW(LPCWSTR name) {
    PosixModule* module = FindModule(name);
    if (module == NULL) {
        SetLastErrorCode(ENOENT);
        return NULL;
    }
    module->Loaded = true;
    return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    bool hidden = module != NULL && module->ExportHidden != NULL && *module->ExportHidden;
    if (module == NULL || name == NULL || hidden || strcmp(module->ExportName, name) != 0) {
        SetLastErrorCode(ENOENT);
        return NULL;
    }
    return module->Export;
}
