#include "silent_run.h"

#include "wizard_driver.h"

Outcome runSilently(const std::filesystem::path& program, DWORD timeoutMs) {
  Outcome run{STILL_ACTIVE, ""};
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd, writeEnd;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  bool started = driver::startProgram(L"\"" + program.wstring() + L"\" /S", program.parent_path(),
                                      startup, true, process) == 0;
  CloseHandle(writeEnd);
  char chunk[4096];
  DWORD got;
  while (started && ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got)
    run.errors.append(chunk, got);
  CloseHandle(readEnd);
  if (!started) return run;
  if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &run.code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}
