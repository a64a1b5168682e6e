// The download manager's synchronous requests from the command line, run on the engine's worker
// thread as the update states run them:
//   dvcli probe  [--gate] [--body TEXT] <base>... <path>
//   dvcli memory [--gate] [--body TEXT] <base>... <path>
//   dvcli request [--body TEXT] <url>
//   dvcli post [--queue] <track|attribution|url> <body> [<target> <body>]...
//   dvcli attribution <name=value>...
// The bases become the active base addresses (--gate: the gate list the manager built from its
// built-in addresses and "GateURLs"). Each operation prints one line
// "result <code> exists=<0|1>|size=<n> url=<url> message=<text>"; memory and request follow it
// with "body:" and the body. The exit code is 0 when the result code is 0 and the message empty.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/thread_registry.h"
#include "dorevezi/update/download_manager.h"
#include "tools/dvcli/commands.h"
#include "tools/dvcli/engine_host.h"

namespace {

struct RequestOptions {
  bool gate = false;
  bool queue = false;
  std::string body;
  std::vector<std::string> positional;
};

bool ParseOptions(const CommandArgs& args, RequestOptions& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--gate") {
      options.gate = true;
    } else if (args[i] == L"--queue") {
      options.queue = true;
    } else if (args[i] == L"--body" && i + 1 < args.size()) {
      options.body = engine_host::Utf8(args[++i]);
    } else {
      options.positional.push_back(engine_host::Utf8(args[i]));
    }
  }
  return true;
}

std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      line += "\\n";
    } else if (c != '\r') {
      line += c;
    }
  }
  return line;
}

int ExitCodeFor(int32_t code, const std::string& message) {
  return code == 0 && message.empty() ? 0 : 1;
}

void OnProbed(int32_t /*user*/, int32_t code, const std::string& url, bool exists,
              const std::string& message) {
  engine_host::PrintLine("result " + std::to_string(code) + " exists=" + (exists ? "1" : "0") +
                         " url=" + url + " message=" + OneLine(message));
  engine_host::Finish(ExitCodeFor(code, message));
}

void OnResponse(int32_t /*user*/, int32_t code, const std::string& url, const char* body, int32_t size,
                const std::string& message) {
  engine_host::PrintLine("result " + std::to_string(code) + " size=" + std::to_string(size) + " url=" + url +
                         " message=" + OneLine(message));
  engine_host::PrintLine("body:\n" + std::string(body ? body : "", body ? size_t(size) : 0));
  engine_host::Finish(ExitCodeFor(code, message));
}

// Bases and path from the positional arguments; false for bad usage.
bool SetBases(const RequestOptions& options, std::string& path) {
  if (options.positional.empty()) return false;
  DownloadManager& manager = DownloadManager::GetInstance();
  path = options.positional.back();
  manager.activeUrls.assign(options.positional.begin(), options.positional.end() - 1);
  if (options.gate)
    manager.activeUrls.insert(manager.activeUrls.begin(), manager.gateUrls.begin(), manager.gateUrls.end());
  return true;
}

std::string ResolveTarget(const std::string& target) {
  DownloadManager& manager = DownloadManager::GetInstance();
  if (target == "track") return manager.trackUrl;
  if (target == "attribution") return manager.GetAttributionUrl();
  return target;
}

size_t QueuedCount() {
  size_t count = 0;
  for (const auto& entry : DownloadManager::GetInstance().queuedPosts) count += entry.second.size();
  return count;
}

// One queued report leaves per engine tick, as in the ready state.
void SendQueuedPosts() {
  DownloadManager& manager = DownloadManager::GetInstance();
  if (QueuedCount() == 0) {
    engine_host::PrintLine("result 0 queued=0");
    engine_host::Finish(0);
    return;
  }
  manager.SendNextQueuedPost();
  base::ThreadRegistry::PostDelayedTask(base::kThreadIdMisc, &SendQueuedPosts, base::TimeDelta(2000));
}

}  // namespace

int RunProbeCommand(const CommandArgs& args) {
  RequestOptions options;
  ParseOptions(args, options);
  if (options.positional.empty()) {
    fprintf(stderr, "usage: dvcli probe [--gate] [--body TEXT] <base>... <path>\n");
    return 2;
  }
  return engine_host::Run([options] {
    std::string path;
    SetBases(options, path);
    if (!DownloadManager::GetInstance().ProbeUrl(path, options.body, &OnProbed, 0)) {
      engine_host::PrintLine("result none (no base address)");
      engine_host::Finish(1);
    }
  });
}

int RunMemoryCommand(const CommandArgs& args) {
  RequestOptions options;
  ParseOptions(args, options);
  if (options.positional.empty()) {
    fprintf(stderr, "usage: dvcli memory [--gate] [--body TEXT] <base>... <path>\n");
    return 2;
  }
  return engine_host::Run([options] {
    std::string path;
    SetBases(options, path);
    DownloadManager::GetInstance().DownloadMemory(path, options.body, &OnResponse, 0);
  });
}

int RunRequestCommand(const CommandArgs& args) {
  RequestOptions options;
  ParseOptions(args, options);
  if (options.positional.size() != 1) {
    fprintf(stderr, "usage: dvcli request [--body TEXT] <url>\n");
    return 2;
  }
  return engine_host::Run([options] {
    DownloadManager::GetInstance().RequestUrl(options.positional[0], options.body, &OnResponse, 0);
  });
}

int RunPostCommand(const CommandArgs& args) {
  RequestOptions options;
  ParseOptions(args, options);
  if (options.positional.empty() || options.positional.size() % 2 != 0) {
    fprintf(stderr, "usage: dvcli post [--queue] <track|attribution|url> <body> [<target> <body>]...\n");
    return 2;
  }
  return engine_host::Run([options] {
    DownloadManager& manager = DownloadManager::GetInstance();
    for (size_t i = 0; i < options.positional.size(); i += 2) {
      const std::string url = ResolveTarget(options.positional[i]);
      manager.PostJson(options.positional[i + 1], url, !options.queue);
      if (!options.queue) engine_host::PrintLine("result 0 sent url=" + url);
    }
    if (options.queue) {
      engine_host::PrintLine("queued " + std::to_string(QueuedCount()));
      SendQueuedPosts();
      return;
    }
    engine_host::Finish(0);
  });
}

int RunAttributionCommand(const CommandArgs& args) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const std::wstring& arg : args) {
    const std::string field = engine_host::Utf8(arg);
    const std::string::size_type at = field.find('=');
    if (at == std::string::npos) {
      fprintf(stderr, "usage: dvcli attribution <name=value>...\n");
      return 2;
    }
    fields.emplace_back(field.substr(0, at), field.substr(at + 1));
  }
  return engine_host::Run([fields] {
    DownloadManager& manager = DownloadManager::GetInstance();
    const std::string url = manager.GetAttributionUrl();
    manager.PostJson(BuildFormQuery(fields), url, true);
    engine_host::PrintLine("result 0 sent url=" + url);
    engine_host::Finish(0);
  });
}
