#pragma once

// Paths into the source or build tree, which the test runner names by Unix paths in DV_SOURCE_DIR
// and DV_BINARY_DIR; Wine shows them on drive Z:.

#include <cstdlib>
#include <string>

namespace test_support {

inline std::wstring TreePath(const wchar_t* variable, const std::wstring& relative) {
  const wchar_t* root = _wgetenv(variable);
  std::wstring path = root ? root : L".";
  if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
  path += L"/" + relative;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

inline std::wstring SourcePath(const std::wstring& relative) { return TreePath(L"DV_SOURCE_DIR", relative); }

}  // namespace test_support
