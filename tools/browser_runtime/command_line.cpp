#include "tools/browser_runtime/command_line.h"

#include <windows.h>
#include <shellapi.h>

namespace runtime {

namespace {

std::wstring Quoted(const std::wstring& part) {
  if (part.find_first_of(L" \t\"") == std::wstring::npos && !part.empty()) return part;
  std::wstring out = L"\"";
  for (wchar_t c : part) {
    if (c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

}  // namespace

size_t CopyOut(const std::wstring& text, wchar_t* buffer, size_t chars) {
  if (buffer && chars > 0) {
    size_t n = text.size() < chars - 1 ? text.size() : chars - 1;
    text.copy(buffer, n);
    buffer[n] = L'\0';
  }
  return text.size();
}

CommandLine CommandLine::FromString(const std::wstring& text) {
  CommandLine line;
  int count = 0;
  LPWSTR* parts = CommandLineToArgvW(text.c_str(), &count);
  if (!parts) return line;
  bool switchesEnded = false;
  for (int i = 0; i < count; ++i) {
    std::wstring part = parts[i];
    if (i == 0) {
      line.program_ = part;
    } else if (!switchesEnded && part == L"--") {
      switchesEnded = true;
    } else if (!switchesEnded && part.size() > 2 && part.compare(0, 2, L"--") == 0) {
      size_t equals = part.find(L'=');
      if (equals == std::wstring::npos)
        line.switches_.emplace_back(part.substr(2), L"");
      else
        line.switches_.emplace_back(part.substr(2, equals - 2), part.substr(equals + 1));
    } else {
      line.arguments_.push_back(part);
    }
  }
  LocalFree(parts);
  return line;
}

bool CommandLine::HasSwitch(const std::wstring& name) const {
  for (auto& entry : switches_)
    if (entry.first == name) return true;
  return false;
}

std::wstring CommandLine::SwitchValue(const std::wstring& name) const {
  for (auto& entry : switches_)
    if (entry.first == name) return entry.second;
  return L"";
}

void CommandLine::AppendSwitch(const std::wstring& name, const std::wstring& value) {
  switches_.emplace_back(name, value);
}

std::wstring CommandLine::ToString() const {
  std::wstring out = Quoted(program_);
  for (auto& entry : switches_) out += L" " + Quoted(L"--" + entry.first + (entry.second.empty() ? L"" : L"=" + entry.second));
  for (auto& argument : arguments_) out += L" " + Quoted(argument);
  return out;
}

cef_runtime_command_line* CommandLine::CView() {
  view_.self = this;
  view_.append_switch = [](void* self, const wchar_t* name) {
    if (name) static_cast<CommandLine*>(self)->AppendSwitch(name);
  };
  view_.append_switch_with_value = [](void* self, const wchar_t* name, const wchar_t* value) {
    if (name) static_cast<CommandLine*>(self)->AppendSwitch(name, value ? value : L"");
  };
  view_.has_switch = [](void* self, const wchar_t* name) -> int {
    return name && static_cast<CommandLine*>(self)->HasSwitch(name);
  };
  view_.get_switch_value = [](void* self, const wchar_t* name, wchar_t* buffer, size_t chars) -> size_t {
    return CopyOut(name ? static_cast<CommandLine*>(self)->SwitchValue(name) : L"", buffer, chars);
  };
  view_.get_command_line_string = [](void* self, wchar_t* buffer, size_t chars) -> size_t {
    return CopyOut(static_cast<CommandLine*>(self)->ToString(), buffer, chars);
  };
  return &view_;
}

}  // namespace runtime
