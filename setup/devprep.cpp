// Registration of the input method library, as its own DllRegisterServer does it.
#include "devprep.h"

#include "platform/com.h"
#include "platform/modules.h"

namespace setup {

int DevPrepMain() {
    HMODULE library = LoadLibraryW(kInputMethodLibrary);
    if (!library) return 1;
    auto registerServer = reinterpret_cast<DllRegisterServerProc>(GetProcAddressW(library, u"DllRegisterServer"));
    const HRESULT hr = registerServer ? registerServer() : E_FAIL;
    FreeLibrary(library);
    if (!registerServer) return 2;
    return SUCCEEDED(hr) ? 0 : 3;
}

}  // namespace setup
