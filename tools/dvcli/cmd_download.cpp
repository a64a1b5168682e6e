// dvcli download --cdn <base>... --list <version list> --out <folder> [--limit <KB/s>] [--web-extra]
//                [--control]
// Downloads every file of a version list into the folder with the download manager, as the
// download state does: the content servers become the active base addresses, every file is
// queued with its MD5 and size, the pump runs them, and each file's result is printed as
// "result <code> <path> <message>", the engine's progress and speed messages as they come, and
// "done files=<n> failed=<n> bytes=<n> seconds=<s>" at the end. --limit sets the download speed
// setting (KB/s, per transfer). --control reads commands from standard input, one a line:
// pause, continue, cancel, queue (queue the unfinished files again), limit <KB/s> (0: none),
// quit; each is answered with "ack <command>" once the engine has carried it out.

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/thread_registry.h"
#include "dorevezi/core/dorevezi_core.h"
#include "dorevezi/core/messages.h"
#include "dorevezi/core/version_map.h"
#include "dorevezi/update/download_manager.h"
#include "tools/dvcli/commands.h"
#include "tools/dvcli/engine_host.h"

namespace {

struct FileEntry {
  std::string path;  // as the version list names it
  std::string localFile;
  std::string md5;
  int32_t size = 0;
  bool reported = false;
};

// The job lives on the worker thread; only the control reader posts to it.
struct DownloadJob {
  std::vector<FileEntry> files;
  std::vector<std::string> cdn;
  size_t failures = 0;
  int64_t bytes = 0;
  DWORD startTick = 0;
  bool finished = false;
};

DownloadJob g_job;

void FinishIfAllReported() {
  if (g_job.finished) return;
  for (const FileEntry& file : g_job.files) {
    if (!file.reported) return;
  }
  g_job.finished = true;
  char line[160];
  snprintf(line, sizeof(line), "done files=%zu failed=%zu bytes=%lld seconds=%.3f", g_job.files.size(),
           g_job.failures, static_cast<long long>(g_job.bytes), (GetTickCount() - g_job.startTick) / 1000.0);
  engine_host::PrintLine(line);
  engine_host::Finish(g_job.failures == 0 ? 0 : 1);
}

void OnFileDone(int32_t user, int32_t code, const std::string& urlPath, const std::string& message) {
  FileEntry& file = g_job.files.at(static_cast<size_t>(user));
  if (file.reported) return;
  file.reported = true;
  if (code != 0) ++g_job.failures;
  engine_host::PrintLine("result " + std::to_string(code) + " " + urlPath + " " + message);
  FinishIfAllReported();
}

void OnSpeed(int32_t /*user*/, double bytesPerSecond) {
  DownloadManager::GetInstance().AddSpeedSample(bytesPerSecond);
}

// Queues every file not reported yet, then announces the total as the download state does.
void QueueUnfinished() {
  DownloadManager& manager = DownloadManager::GetInstance();
  manager.activeUrls = g_job.cdn;
  manager.ResetSpeedStats();
  int64_t total = 0;
  size_t queued = 0;
  for (size_t i = 0; i < g_job.files.size(); ++i) {
    if (g_job.files[i].reported) continue;
    total += g_job.files[i].size;
    ++queued;
  }
  for (size_t i = 0; i < g_job.files.size(); ++i) {
    FileEntry& file = g_job.files[i];
    if (file.reported) continue;
    manager.DownloadFile(file.path, file.localFile, file.md5, file.size, &OnFileDone, &OnSpeed,
                         static_cast<int32_t>(i), 0, 0);
  }
  manager.totalBytes = total;
  manager.statsStartTick = GetTickCount();
  engine_host::PrintLine("queued " + std::to_string(queued) + " total=" + std::to_string(total));
  DoreveziCore::GetInstance().NotifyMainWindow(kMsgDownloadProgress, static_cast<WPARAM>(manager.totalBytes),
                                               static_cast<LPARAM>(manager.doneBytes));
}

void Acknowledge(const std::string& command) {
  engine_host::PrintLine("ack " + command);
}

void RunControlCommand(const std::string& line) {
  DownloadManager& manager = DownloadManager::GetInstance();
  if (line == "pause") {
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [&manager] {
      manager.PauseAll();
      Acknowledge("pause");
    });
  } else if (line == "continue") {
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [&manager] {
      manager.ContinueAll();
      Acknowledge("continue");
    });
  } else if (line == "cancel") {
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [&manager] {
      manager.CancelAll(kDownloadModeNormal);
      Acknowledge("cancel");
    });
  } else if (line == "queue") {
    base::ThreadRegistry::PostTask(base::kThreadIdMisc, [] {
      QueueUnfinished();
      Acknowledge("queue");
      FinishIfAllReported();
    });
  } else if (line.compare(0, 6, "limit ") == 0) {
    const int speed = atoi(line.c_str() + 6);
    // The settings belong to the UI thread, which hands the new limit to the engine.
    base::ThreadRegistry::PostTask(base::kThreadIdUi, [speed, &manager] {
      EnvConfig& settings = DoreveziCore::GetInstance().envConfig;
      settings.downloadLimit = speed > 0;
      if (speed > 0) settings.downloadSpeed = speed;
      manager.ApplySpeedLimit(kDownloadModeNormal);
      base::ThreadRegistry::PostTask(base::kThreadIdMisc, [&manager] {
        Acknowledge("limit " + std::to_string(manager.appliedSpeedLimit));
      });
    });
  } else if (line == "quit") {
    engine_host::Finish(1);
  }
}

DWORD WINAPI ReadControlCommands(void* /*unused*/) {
  char buffer[256];
  while (fgets(buffer, sizeof(buffer), stdin)) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
      line.pop_back();
    if (!line.empty()) RunControlCommand(line);
  }
  return 0;
}

int Usage() {
  fprintf(stderr,
          "usage: dvcli download --cdn <base>... --list <version list> --out <folder> [--limit <KB/s>] "
          "[--web-extra] [--control]\n");
  return 2;
}

}  // namespace

int RunDownloadCommand(const CommandArgs& args) {
  std::wstring listPath;
  std::string outFolder;
  int limit = 0;
  bool webExtra = false;
  bool control = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == L"--cdn") {
      while (i + 1 < args.size() && args[i + 1].compare(0, 2, L"--") != 0)
        g_job.cdn.push_back(engine_host::Utf8(args[++i]));
    } else if (args[i] == L"--list" && i + 1 < args.size()) {
      listPath = args[++i];
    } else if (args[i] == L"--out" && i + 1 < args.size()) {
      outFolder = engine_host::Narrow(args[++i]);
    } else if (args[i] == L"--limit" && i + 1 < args.size()) {
      limit = _wtoi(args[++i].c_str());
    } else if (args[i] == L"--web-extra") {
      webExtra = true;
    } else if (args[i] == L"--control") {
      control = true;
    } else {
      return Usage();
    }
  }
  if (listPath.empty() || outFolder.empty()) return Usage();
  VersionMap map;
  std::string error;
  if (!LoadVersionMapFile(listPath, map, error)) {
    fprintf(stderr, "dvcli: the version list cannot be used: %s\n", error.c_str());
    return 1;
  }
  while (!outFolder.empty() && (outFolder.back() == '\\' || outFolder.back() == '/')) outFolder.pop_back();
  for (const auto& entry : map) {
    if (entry.first == kVersionEntryName) continue;
    FileEntry file;
    file.path = entry.first;
    file.localFile = outFolder + "\\" + entry.first;
    for (char& c : file.localFile) {
      if (c == '/') c = '\\';
    }
    file.md5 = entry.second.md5;
    file.size = entry.second.size;
    g_job.bytes += file.size;
    g_job.files.push_back(file);
  }
  return engine_host::Run([limit, webExtra, control] {
    DoreveziCore& core = DoreveziCore::GetInstance();
    if (limit > 0) {
      core.envConfig.downloadLimit = true;
      core.envConfig.downloadSpeed = limit;
    }
    core.useWebExtraParam = webExtra;
    g_job.startTick = GetTickCount();
    DownloadManager::GetInstance().CancelAll(kDownloadModeNormal);
    QueueUnfinished();
    if (control) CloseHandle(CreateThread(nullptr, 0, &ReadControlCommands, nullptr, 0, nullptr));
    FinishIfAllReported();
  });
}
