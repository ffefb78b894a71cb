// Staged folders, small file helpers and the metabase tool for the deployment tests.
#pragma once

#include "Text.h"
#include "UiDriver.h"

#include <afxwin.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A catalogue string filled in, and the error line of a failed copy, as the run writes them.
template <typename... Args>
std::string Msg(UINT nID, Args... args)
{
    CString str;
    str.Format(nID, args...);
    return std::string(str);
}

inline std::string ErrorLine(DWORD code)
{
    return "Error[" + std::to_string(code) + "]: " + SystemErrorText(code);
}

inline void RemoveTree(const std::string& dir)
{
    WIN32_FIND_DATAA data;
    HANDLE hFind = ::FindFirstFileA((dir + "*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do
    {
        std::string name = data.cFileName, path = dir + name;
        if (name == "." || name == "..")
            continue;
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTree(path + "\\"), ::RemoveDirectoryA(path.c_str());
        else
            ::DeleteFileA(path.c_str());
    } while (::FindNextFileA(hFind, &data));
    ::FindClose(hFind);
}

// A folder of its own for this test process below the system's temporary folder, emptied first.
inline std::string FreshFolder(const std::string& name)
{
    char szTemp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, szTemp);
    std::string folder = std::string(szTemp) + "zemdeploy" + std::to_string(::GetCurrentProcessId()) + "\\" + name + "\\";
    RemoveTree(folder);
    for (size_t pos = folder.find('\\', 3); pos != std::string::npos; pos = folder.find('\\', pos + 1))
        ::CreateDirectoryA(folder.substr(0, pos).c_str(), nullptr);
    return folder;
}

inline bool WriteTextFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    return bool(out.write(text.data(), static_cast<std::streamsize>(text.size())));
}

// The file's content, or "<missing>" when it cannot be read.
inline std::string ReadTextFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()) : "<missing>";
}

inline bool IsDirectory(const std::string& path)
{
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The names in a folder (files and folders), sorted, joined by '|': leftovers show up here.
inline std::string FolderListing(const std::string& dir)
{
    std::vector<std::string> all;
    WIN32_FIND_DATAA data;
    HANDLE hFind = ::FindFirstFileA((dir + "*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return std::string();
    do
        if (strcmp(data.cFileName, ".") && strcmp(data.cFileName, ".."))
            all.push_back(data.cFileName);
    while (::FindNextFileA(hFind, &data));
    ::FindClose(hFind);
    std::sort(all.begin(), all.end());
    std::string names;
    for (size_t i = 0; i < all.size(); ++i)
        names += (i ? "|" : "") + all[i];
    return names;
}

// mdutil beside the test, with this process's environment (and so its store); its exit code.
inline DWORD RunMdutil(const std::string& arguments)
{
    std::string exe = WideToAnsi(zem::ui::ExeFolder().c_str()) + "mdutil.exe";
    std::string command = "\"" + exe + "\" " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
        return ~0u;
    ::WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = ~0u;
    ::GetExitCodeProcess(pi.hProcess, &code);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return code;
}

// A store of this process's own with web sites 1 to nSites, made the one every metabase call uses.
inline bool UseStoreWithSites(const std::string& name, int nSites)
{
    std::string store = FreshFolder(name) + "MetaBase.xml";
    std::string root = FreshFolder(name + "root");
    root.pop_back();   // a backslash before the closing quote would escape it
    ::SetEnvironmentVariableA("ZEM_METABASE_PATH", store.c_str());
    for (int i = 1; i <= nSites; ++i)
        if (RunMdutil("add-site " + std::to_string(i) + " \"Site " + std::to_string(i) + "\" \"" + root + "\" :80:") != 0)
            return false;
    return true;
}
