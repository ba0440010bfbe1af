#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <string>
#include <vector>

#include "base/write_all.hpp"
#include "work_file.hpp"

namespace app {

namespace {

// The work file's name is plain ASCII.
std::wstring widen(std::string_view name) { return std::wstring(name.begin(), name.end()); }

// The user this process runs as, in the text form of security descriptors.
base::Result<std::wstring> process_user_sid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::unexpected(base::last_os_error());
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    const bool got = GetTokenInformation(token, TokenUser, user.data(), size, &size);
    const DWORD code = GetLastError();
    CloseHandle(token);
    if (!got) return std::unexpected(base::os_error(static_cast<int>(code)));
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &text)) {
        return std::unexpected(base::last_os_error());
    }
    std::wstring sid(text);
    LocalFree(text);
    return sid;
}

// A protected access list that lets in the process's own user alone, in place of what a new file
// would inherit from the working directory.
base::Result<PSECURITY_DESCRIPTOR> user_only_descriptor() {
    const auto sid = process_user_sid();
    if (!sid) return std::unexpected(sid.error());
    const std::wstring sddl = L"D:P(A;;FA;;;" + *sid + L")";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return std::unexpected(base::last_os_error());
    }
    return descriptor;
}

}  // namespace

base::Result<void> write_whole_file(std::string_view name, std::span<const std::uint8_t> bytes) {
    // The file holds a device's secret key until it is removed again: readable by its user only.
    const auto owner_only = user_only_descriptor();
    if (!owner_only) return std::unexpected(owner_only.error());
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), *owner_only, FALSE};
    const HANDLE file = CreateFileW(widen(name).c_str(), GENERIC_WRITE, 0, &security, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD create_code = GetLastError();
    LocalFree(*owner_only);
    if (file == INVALID_HANDLE_VALUE) return std::unexpected(base::os_error(static_cast<int>(create_code)));

    const auto written = base::write_all(reinterpret_cast<base::FileHandle>(file), bytes);
    if (!written) {
        CloseHandle(file);
        return written;
    }
    if (!CloseHandle(file)) return std::unexpected(base::last_os_error());
    return {};
}

base::Result<void> remove_file(std::string_view name) {
    if (!DeleteFileW(widen(name).c_str())) return std::unexpected(base::last_os_error());
    return {};
}

}  // namespace app
