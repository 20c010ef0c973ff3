// The demo product of the local demo on Windows: a window saying the product
// runs (the same words as the Linux demo product).
#include <windows.h>

#include <cstdio>

int main() {
    const wchar_t* text =
        L"hobnar 语音文字转换器\n\n演示版已安装并正在运行。\nThe demo product is installed and "
        L"running.";
    std::printf("hobnar 语音文字转换器 (demo) is installed and runs.\n");
    MessageBoxW(nullptr, text, L"hobnar 语音文字转换器", MB_OK | MB_ICONINFORMATION);
    return 0;
}
