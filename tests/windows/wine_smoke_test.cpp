// What the Windows build relies on about its own executables: UTF-16 wide
// text, a statically linked run-time, the C run-time's wide formatting. Also
// reports the Windows (and Wine) version the tests run on.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>

namespace {

using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
using WineGetVersionFn = const char*(CDECL*)();

// An export of ntdll as a function of type Fn, or null.
template <typename Fn>
Fn ntdllProc(const char* name) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    FARPROC proc = ntdll ? GetProcAddress(ntdll, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

} // namespace

TEST(WindowsRuntime, ReportsTheWindowsVersionItRunsOn) {
    auto rtlGetVersion = ntdllProc<RtlGetVersionFn>("RtlGetVersion");
    ASSERT_NE(rtlGetVersion, nullptr);
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    ASSERT_EQ(rtlGetVersion(&info), 0);
    EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_GE(info.dwMajorVersion, 6u);

    // Present only under Wine: the proof in the log that these tests ran there.
    auto wineGetVersion = ntdllProc<WineGetVersionFn>("wine_get_version");
    std::printf("Windows %lu.%lu build %lu, %s %s\n", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber,
                wineGetVersion ? "Wine" : "not under Wine", wineGetVersion ? wineGetVersion() : "");
    RecordProperty("wine_version", wineGetVersion ? wineGetVersion() : "none");
}

TEST(WindowsRuntime, WideCharacterIsOneUtf16CodeUnit) {
    EXPECT_EQ(sizeof(wchar_t), 2u);
    EXPECT_EQ(sizeof(void*), 8u);
    // U+1F600 needs a surrogate pair in UTF-16, one unit in UTF-32.
    const std::wstring text = L"\u00e9\U0001F600";
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(text[1], static_cast<wchar_t>(0xD83D));
    EXPECT_EQ(text[2], static_cast<wchar_t>(0xDE00));
}

TEST(WindowsRuntime, ExecutableModuleHandleIsTheModuleOfItsCode) {
    HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_NE(self, nullptr);

    HMODULE owner = nullptr;
    ASSERT_TRUE(
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(&ntdllProc<FARPROC>), &owner));
    EXPECT_EQ(owner, self);

    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    ASSERT_GT(length, 4u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(_wcsicmp(path + length - 4, L".exe"), 0) << "module path: " << std::wstring(path);
}

TEST(WindowsRuntime, CAndCxxRuntimesAreLinkedIn) {
    // Exercise the C++ run-time and winpthread before looking for their DLLs.
    std::string text;
    std::thread worker([&text] { text = std::to_string(42); });
    worker.join();
    EXPECT_EQ(text, "42");

    EXPECT_EQ(GetModuleHandleW(L"libstdc++-6.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"libgcc_s_seh-1.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"libwinpthread-1.dll"), nullptr);
}

TEST(WindowsRuntime, WideFormatTakesWideStringsAndReportsTruncation) {
    wchar_t buffer[16];
    int written = std::swprintf(buffer, 16, L"%ls=%d", L"bones", 7);
    EXPECT_EQ(written, 7);
    EXPECT_STREQ(buffer, L"bones=7");

    // Truncation shows as a negative result or as the would-be length: code
    // that formats into fixed buffers checks `rc < 0 || rc >= n`.
    wchar_t small[4];
    int rc = std::swprintf(small, 4, L"%ls", L"abcdef");
    EXPECT_TRUE(rc < 0 || rc >= 4) << "rc = " << rc;
}
