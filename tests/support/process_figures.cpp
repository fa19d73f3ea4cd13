#include "process_figures.h"

#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <vector>

namespace figures {

int threadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry;
  entry.dwSize = sizeof entry;
  int count = 0;
  DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == self) ++count;
  CloseHandle(snapshot);
  return count;
}

long long privateBytes() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                       sizeof counters);
  // Wine leaves PrivateUsage 0 and fills PagefileUsage, which for a process's own figures is the
  // same commit charge.
  return static_cast<long long>(counters.PrivateUsage ? counters.PrivateUsage
                                                      : counters.PagefileUsage);
}

namespace {

// The system's handle table, as NtQuerySystemInformation(SystemHandleInformation) gives it.
struct HandleEntry {
  ULONG process;
  BYTE type, flags;
  USHORT value;
  void* object;
  ACCESS_MASK access;
};

// This process's entries in the system's handle table; -1 when it cannot be read.
long handlesInSystemTable() {
  using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return -1;
  const LONG lengthMismatch = static_cast<LONG>(0xC0000004);
  std::vector<ULONG_PTR> buffer(1 << 14);
  LONG status;
  while ((status = query(16, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR)),
                         nullptr)) == lengthMismatch &&
         buffer.size() < (1u << 24))
    buffer.resize(buffer.size() * 4);
  if (status != 0) return -1;
  ULONG count = static_cast<ULONG>(buffer[0]);
  auto* entries = reinterpret_cast<const HandleEntry*>(buffer.data() + 1);
  long own = 0;
  for (ULONG i = 0; i < count; ++i) own += entries[i].process == GetCurrentProcessId();
  return own;
}

}  // namespace

long handleCount() {
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  // Wine's GetProcessHandleCount always answers 0; its system handle table is kept.
  return handles ? static_cast<long>(handles) : handlesInSystemTable();
}

Sample sample() {
  Sample s;
  s.handles = handleCount();
  s.threads = threadCount();
  s.privateBytes = privateBytes();
  return s;
}

Sample settledSample() {
  int count = threadCount();
  DWORD stableSince = GetTickCount(), start = stableSince;
  while (GetTickCount() - stableSince < 500 && GetTickCount() - start < 20000) {
    Sleep(20);
    int now = threadCount();
    if (now != count) {
      count = now;
      stableSince = GetTickCount();
    }
  }
  return sample();
}

void add(Track& track, const Sample& s) {
  if (track.samples++ == 0) track.first = track.max = s;
  track.last = s;
  track.max.handles = std::max(track.max.handles, s.handles);
  track.max.threads = std::max(track.max.threads, s.threads);
  track.max.privateBytes = std::max(track.max.privateBytes, s.privateBytes);
}

bool judge(const Track& track, const Bounds& bounds, std::FILE* out) {
  struct Row {
    const char* name;
    long long first, last, max, bound;
  } rows[] = {
      {"handles", track.first.handles, track.last.handles, track.max.handles, bounds.handles},
      {"threads", track.first.threads, track.last.threads, track.max.threads, bounds.threads},
      {"private KiB", track.first.privateBytes / 1024, track.last.privateBytes / 1024,
       track.max.privateBytes / 1024, bounds.privateBytes / 1024},
  };
  bool within = track.samples > 1;
  for (const Row& r : rows) {
    bool ok = r.last - r.first <= r.bound;
    std::fprintf(out, "%-12s first %8lld  last %8lld  max %8lld  growth %+lld (bound %lld) %s\n",
                 r.name, r.first, r.last, r.max, r.last - r.first, r.bound,
                 ok ? "ok" : "OVER THE BOUND");
    within = within && ok;
  }
  return within;
}

}  // namespace figures
