// Layout text for CDialogBuilder: a skin folder is outside input, so any
// document must build a tree (or nothing), lay out and answer lookups.
#include <cstddef>
#include <cstdint>
#include <string>

#include "duilib/UIlib.h"

using namespace DuiLib;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool nullBackend = [] {
        UseNullBackend();
        return true;
    }();
    (void)nullBackend;
    // The builder reads a file name unless the text starts with '<'.
    std::string xml = "<" + std::string(reinterpret_cast<const char*>(data), size);

    CPaintManagerUI manager;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(xml.c_str(), static_cast<UINT>(0), nullptr, &manager);
    if (!manager.AttachDialog(root)) {
        return 0;
    }
    SIZE initial = manager.GetInitSize();
    const POINT points[] = {
        {0, 0}, {initial.cx / 2, initial.cy / 2}, {initial.cx - 1, initial.cy - 1}};
    for (const POINT& pt : points) {
        manager.FindControl(pt);
    }
    manager.FindControl("switch");
    LRESULT result = 0;
    manager.MessageHandler(WM_KEYDOWN, VK_TAB, 0, result);
    manager.MessageHandler(WM_KEYDOWN, VK_RETURN, 0, result);
    return 0;
}
