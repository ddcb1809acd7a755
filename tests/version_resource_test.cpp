// The version resource of the DLL, read back as Windows and viewers' plug-in lists read it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "testing/module_under_test.h"

namespace {

// The string the resource gives for a field, in its US English, Unicode translation.
std::wstring Field(const std::vector<char>& resource, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(resource.data(), path.c_str(), &value, &length) || length == 0) {
    return L"(missing)";
  }
  return std::wstring(static_cast<const wchar_t*>(value), length - 1);
}

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}

TEST(VersionResource, NamesTheModuleAndItsVersion) {
  const std::string path = module_under_test::ModulePath();
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), nullptr);
  ASSERT_GT(size, 0u) << "no version resource in " << path;
  std::vector<char> resource(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, resource.data()));

  const std::wstring version = Widen(LUMIVAR_VERSION);
  const std::wstring file_name = Widen(path.substr(path.find_last_of("/\\") + 1));
  EXPECT_EQ(Field(resource, L"FileVersion"), version);
  EXPECT_EQ(Field(resource, L"ProductVersion"), version);
  EXPECT_EQ(Field(resource, L"ProductName"), L"lumivar");
  EXPECT_EQ(Field(resource, L"InternalName"), L"lumivar");
  EXPECT_EQ(Field(resource, L"OriginalFilename"), file_name);
  EXPECT_EQ(Field(resource, L"FileDescription"), L"PAC picture input plug-in for image viewers");
  EXPECT_NE(Field(resource, L"LegalCopyright").find(L"MIT"), std::wstring::npos);

  void* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(resource.data(), L"\\", &fixed, &length));
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_DLL));
  const std::wstring numbers = std::to_wstring(HIWORD(info->dwFileVersionMS)) + L"." +
                               std::to_wstring(LOWORD(info->dwFileVersionMS)) + L"." +
                               std::to_wstring(HIWORD(info->dwFileVersionLS));
  EXPECT_EQ(numbers, version);
}

}  // namespace
