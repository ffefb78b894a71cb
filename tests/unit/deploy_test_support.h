// Staged folders and small file helpers for the deployment tests.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

// A folder of its own for this test process below the system's temporary folder, emptied first.
inline std::string FreshFolder(const std::string& name)
{
    char szTemp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, szTemp);
    std::string folder = std::string(szTemp) + "zemdeploy" + std::to_string(::GetCurrentProcessId()) + "\\" + name + "\\";
    struct Walk
    {
        static void Remove(const std::string& dir)
        {
            WIN32_FIND_DATAA data;
            HANDLE hFind = ::FindFirstFileA((dir + "*").c_str(), &data);
            if (hFind == INVALID_HANDLE_VALUE)
                return;
            do
            {
                std::string name = data.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string path = dir + name;
                ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                {
                    Remove(path + "\\");
                    ::RemoveDirectoryA(path.c_str());
                }
                else
                    ::DeleteFileA(path.c_str());
            } while (::FindNextFileA(hFind, &data));
            ::FindClose(hFind);
        }
    };
    Walk::Remove(folder);
    for (size_t pos = folder.find('\\', 3); pos != std::string::npos; pos = folder.find('\\', pos + 1))
        ::CreateDirectoryA(folder.substr(0, pos).c_str(), nullptr);
    return folder;
}

inline bool WriteTextFile(const std::string& path, const std::string& text)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(h);
    return ok && written == text.size();
}

// The file's content, or "<missing>" when it cannot be read.
inline std::string ReadTextFile(const std::string& path)
{
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string text(static_cast<size_t>(::GetFileSize(h, nullptr)), '\0');
    DWORD read = 0;
    if (!text.empty())
        ::ReadFile(h, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
    ::CloseHandle(h);
    return text;
}

inline bool IsDirectory(const std::string& path)
{
    DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The names in a folder (files and folders), sorted, joined by '|'.
inline std::string FolderListing(const std::string& dir)
{
    std::string names;
    WIN32_FIND_DATAA data;
    HANDLE hFind = ::FindFirstFileA((dir + "*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    std::string all[64];
    int n = 0;
    do
    {
        std::string name = data.cFileName;
        if (name != "." && name != ".." && n < 64)
            all[n++] = name;
    } while (::FindNextFileA(hFind, &data));
    ::FindClose(hFind);
    std::sort(all, all + n);
    for (int i = 0; i < n; ++i)
        names += (i ? "|" : "") + all[i];
    return names;
}
