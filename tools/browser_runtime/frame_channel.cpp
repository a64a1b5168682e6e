#include "tools/browser_runtime/frame_channel.h"

#include "tools/browser_runtime/runtime_browser.h"
#include "tools/browser_runtime/runtime_log.h"

namespace runtime {

std::wstring ChannelBase(DWORD browserPid, int browserId) {
  return L"dvcef-" + std::to_wstring(browserPid) + L"-" + std::to_wstring(browserId);
}

std::wstring PipeName(const std::wstring& base, const wchar_t* direction) {
  return L"\\\\.\\pipe\\" + base + L"-" + direction;
}

std::wstring FrameBufferName(const std::wstring& base, uint32_t sequence) {
  return L"Local\\" + base + L"-frame-" + std::to_wstring(sequence);
}

bool WriteMessage(HANDLE pipe, const FrameMessage& message) {
  DWORD written = 0;
  return WriteFile(pipe, &message, sizeof(message), &written, nullptr) && written == sizeof(message);
}

bool ReadMessage(HANDLE pipe, FrameMessage* message) {
  DWORD got = 0;
  return ReadFile(pipe, message, sizeof(*message), &got, nullptr) && got == sizeof(*message);
}

bool WriteProcessMessage(HANDLE pipe, const void* data, size_t size) {
  return WritePayload(pipe, kProcessMessage, data, size);
}

bool WritePayload(HANDLE pipe, FrameMessageKind kind, const void* data, size_t size, uint32_t sequence) {
  if (size > static_cast<size_t>(kMaxProcessMessageBytes)) return false;
  FrameMessage header{kind, static_cast<int32_t>(size), 0, sequence};
  if (!WriteMessage(pipe, header)) return false;
  DWORD written = 0;
  return size == 0 || (WriteFile(pipe, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
}

bool ReadPayload(HANDLE pipe, int32_t size, std::vector<char>* payload) {
  if (size < 0 || size > kMaxProcessMessageBytes) return false;
  payload->resize(size);
  DWORD done = 0;
  while (done < static_cast<DWORD>(size)) {
    DWORD got = 0;
    if (!ReadFile(pipe, payload->data() + done, size - done, &got, nullptr) && GetLastError() != ERROR_MORE_DATA)
      return false;
    if (got == 0) return false;
    done += got;
  }
  return true;
}

std::vector<char> EncodeDocument(const std::string& url, int status, const std::string& headers, const std::string& body) {
  std::string head = url + '\0' + std::to_string(status) + '\0' + headers + '\0';
  std::vector<char> out(head.begin(), head.end());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

bool DecodeDocument(const std::vector<char>& payload, std::string* url, int* status, std::string* headers, std::string* body) {
  std::string fields[3];
  size_t at = 0;
  for (std::string& field : fields) {
    size_t end = at;
    while (end < payload.size() && payload[end] != '\0') ++end;
    if (end == payload.size()) return false;
    field.assign(payload.data() + at, end - at);
    at = end + 1;
  }
  *url = fields[0];
  *status = atoi(fields[1].c_str());
  *headers = fields[2];
  body->assign(payload.data() + at, payload.size() - at);
  return true;
}

}  // namespace runtime
