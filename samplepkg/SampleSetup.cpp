// The stand-in for the client installation package, so that the distribution has something to publish
// until the vendor's real ZemSetup.exe is put in its place. It installs nothing.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    MessageBoxW(nullptr,
                L"This is a sample client installer: it installs nothing.\n"
                L"Replace ZemSetup.exe with the real client package before publishing.\n\n"
                L"这是示例客户端安装程序，不会安装任何内容。\n"
                L"這是範例用戶端安裝程式，不會安裝任何內容。",
                L"ZemSetup (sample)", MB_OK | MB_ICONINFORMATION);
    return 0;
}
