#include "ShellLink.h"

#include <objbase.h>
#include <shlobj.h>

#include "ComHolder.h"

void CreateShortcut(const CWideString& target, const CWideString& shortcutPath)
{
    CComHolder<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.Receive()))) {
        return;  // nothing later depends on the shortcut
    }
    CComHolder<IPersistFile> file;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.Receive()))) {
        link->SetPath(target);
        file->Save(shortcutPath, TRUE);
    }
}
