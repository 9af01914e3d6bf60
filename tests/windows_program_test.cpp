// What Windows reads from cardstow.exe before it runs it: the version
// resource (Properties, Details) and the application manifest. The test
// program carries the same manifest, so that what it declares shows here.
#define WIN32_LEAN_AND_MEAN
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// The string `name` of the version resource `data` (US English, Unicode).
std::wstring version_string(const std::vector<char>& data,
                            const std::wstring& name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = L"\\StringFileInfo\\040904B0\\" + name;
  if (!VerQueryValueW(data.data(), path.c_str(), &value, &length) ||
      length == 0) {
    return L"";
  }
  return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

}  // namespace

TEST(WindowsProgram, CarriesTheProjectVersion) {
  const std::wstring exe = std::filesystem::path(CARDSTOW_BINARY).wstring();
  DWORD unused = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &unused);
  ASSERT_NE(size, 0u) << "no version resource in " << CARDSTOW_BINARY;
  std::vector<char> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, data.data()));
  void* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", &fixed, &length));
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  EXPECT_EQ(info->dwProductVersionMS,
            MAKELONG(CARDSTOW_VERSION_MINOR, CARDSTOW_VERSION_MAJOR));
  EXPECT_EQ(info->dwFileVersionLS, MAKELONG(0, CARDSTOW_VERSION_PATCH));
  const std::wstring version = CARDSTOW_VERSION;
  const std::wstring expected[][2] = {{L"ProductName", L"cardstow"},
                                      {L"ProductVersion", version},
                                      {L"FileVersion", version},
                                      {L"OriginalFilename", L"cardstow.exe"}};
  for (const auto& [name, value] : expected) {
    EXPECT_EQ(version_string(data, name), value)
        << std::filesystem::path(name).string();
  }
}

// Windows 8.1 and later, and Wine, report Windows 8 (6.2) to a program whose
// manifest does not name Windows 10 among the versions it supports.
TEST(WindowsProgram, ManifestNamesWindows10) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  EXPECT_EQ(info.dwMajorVersion, 10u) << "minor " << info.dwMinorVersion;
}
