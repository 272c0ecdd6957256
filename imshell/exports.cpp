// The library's exports: the in-process server contract and the entry point.
#include <string>

#include "CKeybInput.h"
#include "com_server.h"
#include "platform/modules.h"
#include "platform/oleauto.h"
#include "registrar.h"

#define VX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr UINT kRegistryScriptId = 101;
constexpr DWORD kPathChars = 260;

imshell::ComModule::ObjectEntry g_objectMap[] = {
    {&CLSID_KeybInput, &imshell::CreateObject<CKeybInput>, nullptr},
    {nullptr, nullptr, nullptr},
};

// The library's own path; fails with the platform's error for an insufficient buffer when the
// path does not fit the device's path limit.
HRESULT ModulePath(std::u16string* path) {
    WCHAR buffer[kPathChars] = {};
    const DWORD length = GetModuleFileNameW(imshell::Module().Instance(), buffer, kPathChars);
    if (length == 0) return HRESULT_FROM_WIN32(GetLastError());
    if (length >= kPathChars) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    *path = std::u16string(buffer, length);
    return S_OK;
}

std::vector<imshell::Replacement> ScriptReplacements(const std::u16string& path) {
    // %MODULE% stands inside quoted script text, where a quote is written twice.
    std::u16string quoted;
    for (WCHAR c : path) {
        quoted.push_back(c);
        if (c == u'\'') quoted.push_back(c);
    }
    return {{u"MODULE", quoted}, {u"MODULE_RAW", path}};
}

// Registers the type library in the library's own resources, with its folder as help folder.
HRESULT RegisterOwnTypeLibrary(const std::u16string& path) {
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLib(path.c_str(), &lib);
    if (FAILED(hr)) return hr;
    const size_t slash = path.rfind(u'\\');
    const std::u16string folder = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
    hr = RegisterTypeLib(lib, path.c_str(), folder.c_str());
    lib->Release();
    return hr;
}

}  // namespace

VX_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    return imshell::Module().GetClassObject(clsid, riid, object);
}

VX_EXPORT HRESULT DllCanUnloadNow() { return imshell::Module().CanUnloadNow(); }

VX_EXPORT HRESULT DllRegisterServer() {
    std::u16string path;
    HRESULT hr = ModulePath(&path);
    if (FAILED(hr)) return hr;
    hr = imshell::RunRegistryResource(imshell::Module().Instance(), kRegistryScriptId, ScriptReplacements(path),
                                      imshell::RegistrarMode::Register);
    if (FAILED(hr)) return hr;
    return RegisterOwnTypeLibrary(path);
}

VX_EXPORT HRESULT DllUnregisterServer() {
    std::u16string path;
    if (SUCCEEDED(ModulePath(&path)))
        imshell::RunRegistryResource(imshell::Module().Instance(), kRegistryScriptId, ScriptReplacements(path),
                                     imshell::RegistrarMode::Unregister);
    return S_OK;
}

VX_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        imshell::Module().Init(g_objectMap, instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        imshell::Module().Term();
        CMainWnd::UnregisterWndClass(instance);
    }
    return TRUE;
}
