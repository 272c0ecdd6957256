// GetOpenFileNameW over the answerer a front end or a test installed.
#include "host/windows/file_dialog.h"

#include <mutex>

#include "host/kernel/device.h"
#include "platform/text.h"

namespace host {

namespace {

std::mutex g_lock;
OpenFileAnswerer g_answerer;
thread_local DWORD t_lastError = 0;

BOOL Failed(DWORD error) {
    t_lastError = error;
    return FALSE;
}

}  // namespace

void SetOpenFileAnswerer(OpenFileAnswerer answerer) {
    std::lock_guard guard(g_lock);
    g_answerer = std::move(answerer);
}

}  // namespace host

BOOL GetOpenFileNameW(OPENFILENAMEW* ofn) {
    using host::Failed;
    if (!ofn || ofn->lStructSize != sizeof(OPENFILENAMEW)) return Failed(CDERR_STRUCTSIZE);
    if (!ofn->lpstrFile || ofn->nMaxFile == 0) return Failed(FNERR_BUFFERTOOSMALL);
    host::OpenFileAnswerer answerer;
    {
        std::lock_guard guard(host::g_lock);
        answerer = host::g_answerer;
    }
    std::optional<std::u16string> answer = answerer ? answerer(*ofn) : std::nullopt;
    if (!answer) {
        if (!answerer)
            if (host::Device* device = host::CurrentDevice())
                device->Trace(u"GetOpenFileNameW: nobody answers the open-file dialog; it is cancelled\n");
        return Failed(0);
    }
    std::u16string path = std::move(*answer);
    // Only a full device path names a file the dialog could show.
    const size_t slash = path.rfind(u'\\');
    if (path.empty() || path[0] != u'\\' || slash == path.size() - 1) return Failed(FNERR_INVALIDFILENAME);
    const size_t nameStart = slash + 1;
    if (path.find(u'.', nameStart) == std::u16string::npos && ofn->lpstrDefExt && *ofn->lpstrDefExt)
        path += u"." + std::u16string(ofn->lpstrDefExt);
    const std::u16string name = path.substr(nameStart);
    // The buffers are left as they were when the answer does not fit them.
    if (path.size() + 1 > ofn->nMaxFile || path.size() > 0xFFFF) return Failed(FNERR_BUFFERTOOSMALL);
    if (ofn->lpstrFileTitle && name.size() + 1 > ofn->nMaxFileTitle) return Failed(FNERR_BUFFERTOOSMALL);
    path.copy(ofn->lpstrFile, path.size());
    ofn->lpstrFile[path.size()] = u'\0';
    if (ofn->lpstrFileTitle) {
        name.copy(ofn->lpstrFileTitle, name.size());
        ofn->lpstrFileTitle[name.size()] = u'\0';
    }
    const size_t dot = name.rfind(u'.');
    ofn->nFileOffset = static_cast<WORD>(nameStart);
    ofn->nFileExtension = static_cast<WORD>(dot == std::u16string::npos ? path.size() : nameStart + dot + 1);
    host::t_lastError = 0;
    return TRUE;
}

DWORD CommDlgExtendedError() { return host::t_lastError; }
