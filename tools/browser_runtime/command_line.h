#pragma once

// A process command line: the program, "--name" or "--name=value" switches and plain arguments.

#include <string>
#include <utility>
#include <vector>

#include "browser/cef/cef_runtime_abi.h"

namespace runtime {

class CommandLine {
 public:
  static CommandLine FromString(const std::wstring& text);

  bool HasSwitch(const std::wstring& name) const;
  std::wstring SwitchValue(const std::wstring& name) const;
  void AppendSwitch(const std::wstring& name, const std::wstring& value = L"");
  // The program, then the switches in order, then the arguments; parts with spaces quoted.
  std::wstring ToString() const;
  const std::vector<std::pair<std::wstring, std::wstring>>& switches() const { return switches_; }

  // A view for the program's application object, valid while this object lives.
  cef_runtime_command_line* CView();

 private:
  std::wstring program_;
  std::vector<std::pair<std::wstring, std::wstring>> switches_;
  std::vector<std::wstring> arguments_;
  cef_runtime_command_line view_{};
};

// Copies `text` into a caller buffer of `chars` characters, always terminated; returns its length.
size_t CopyOut(const std::wstring& text, wchar_t* buffer, size_t chars);

}  // namespace runtime
