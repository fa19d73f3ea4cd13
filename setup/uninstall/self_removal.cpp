// Removing uninstall.exe, which cannot delete itself while it runs. A copy started from a fresh
// private folder under the temporary folder waits for this process to end, deletes
// uninstall.exe and the install folder if that is now empty, and moves itself out of its folder
// so that the folder can go too; the copy's file is opened for deletion on close before it
// starts, so it goes when the copy ends.
#include <stdlib.h>
#include <wchar.h>

#include "uninstall/uninstall.h"

const wchar_t cleanupFlag[] = L"/cleanup";

namespace {

extern "C" BOOLEAN WINAPI SystemFunction036(void* buffer, ULONG size);  // RtlGenRandom

// Access for the running account alone, inherited by what the folder holds.
bool ownerOnly(SECURITY_DESCRIPTOR* descriptor, ACL* acl, DWORD aclSize, BYTE* user, DWORD userSize) {
  HANDLE token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size;
  bool known = GetTokenInformation(token, TokenUser, user, userSize, &size);
  CloseHandle(token);
  return known && InitializeAcl(acl, aclSize, ACL_REVISION) &&
         AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                               FILE_ALL_ACCESS, reinterpret_cast<TOKEN_USER*>(user)->User.Sid) &&
         InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(descriptor, TRUE, acl, FALSE) &&
         SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

// Makes a folder of our own under the temporary folder: one that did not exist before, under a
// name no one can guess, that only the running account may enter, so that nothing can be
// planted there to be loaded beside the copy.
bool makePrivateFolder(wchar_t* folder) {
  wchar_t temp[widePathSize];
  DWORD length = GetTempPathW(widePathSize, temp);
  if (!length || length > widePathSize - 64) return false;
  SECURITY_DESCRIPTOR descriptor;
  alignas(4) BYTE acl[256], user[256];
  if (!ownerOnly(&descriptor, reinterpret_cast<ACL*>(acl), sizeof acl, user, sizeof user))
    return false;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, FALSE};
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    DWORD random[4];
    if (!SystemFunction036(random, sizeof random)) return false;
    wsprintfW(folder, L"%sqzu-%08lx%08lx%08lx%08lx", temp, random[0], random[1], random[2],
              random[3]);
    if (CreateDirectoryW(folder, &attributes)) return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

void appendHandle(wchar_t* command, HANDLE handle) {
  wchar_t number[16];
  // Handles keep to 32 significant bits, in 64-bit processes too.
  wsprintfW(number, L" %lx", static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(handle)));
  lstrcatW(command, number);
}

HANDLE handleFrom(const wchar_t* text) {
  return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(wcstoul(text, nullptr, 16)));
}

// Starts copy with this process and the copy's own file handed down, and uninstall.exe's path
// as written and as the file system names it.
bool startCopy(const wchar_t* copy, HANDLE self, HANDLE file, const wchar_t* ownFinal) {
  auto* command = static_cast<wchar_t*>(malloc(4 * widePathSize * sizeof(wchar_t)));
  if (!command) return false;
  lstrcpyW(command, L"\"");
  lstrcatW(command, copy);
  lstrcatW(command, L"\" ");
  lstrcatW(command, cleanupFlag);
  appendHandle(command, self);
  appendHandle(command, file);
  lstrcatW(command, L" \"");
  lstrcatW(command, uninstaller.ownPath);
  lstrcatW(command, L"\" \"");
  lstrcatW(command, ownFinal);
  lstrcatW(command, L"\"");
  // Only the two handles are meant for the copy: a caller's pipes must close when we end.
  const DWORD standard[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (DWORD which : standard) SetHandleInformation(GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);
  // The system folder as working folder: neither the install folder nor the private one is
  // held open by the copy.
  wchar_t system[widePathSize];
  if (!GetSystemDirectoryW(system, widePathSize)) system[0] = 0;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  bool started = CreateProcessW(copy, command, nullptr, nullptr, TRUE, 0, nullptr,
                                system[0] ? system : nullptr, &startup, &process) != 0;
  free(command);
  if (started) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return started;
}

// A running program cannot be deleted, but it can be moved: out of its private folder, which can
// then go, into the temporary folder, where it goes when its delete-on-close handle closes. The
// move goes through that handle, so that it is this very file that the handle deletes.
void moveOutOfFolder(HANDLE file) {
  wchar_t self[widePathSize];
  DWORD length = GetModuleFileNameW(nullptr, self, widePathSize);
  if (!length || length >= widePathSize) return;
  *wcsrchr(self, L'\\') = 0;
  const size_t nameBytes = (wcslen(self) + 4) * sizeof(wchar_t);
  auto* rename = static_cast<FILE_RENAME_INFO*>(calloc(1, sizeof(FILE_RENAME_INFO) + nameBytes));
  if (!rename) return;
  rename->FileNameLength = static_cast<DWORD>(nameBytes);
  wsprintfW(rename->FileName, L"%s.tmp", self);
  if (SetFileInformationByHandle(file, FileRenameInfo, rename,
                                 static_cast<DWORD>(sizeof(FILE_RENAME_INFO) + nameBytes)))
    RemoveDirectoryW(self);
  free(rename);
}

}  // namespace

bool startCleanupCopy() {
  // uninstall.exe as the file system names it, for the copy to check what it deletes.
  wchar_t folder[widePathSize], copy[widePathSize], ownFinal[widePathSize];
  wsprintfW(ownFinal, L"%s%s", uninstaller.folderFinal, wcsrchr(uninstaller.ownPath, L'\\'));
  if (!makePrivateFolder(folder)) return false;
  wsprintfW(copy, L"%s\\uninstall.exe", folder);
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE file = INVALID_HANDLE_VALUE, self = nullptr;
  if (CopyFileW(uninstaller.ownPath, copy, TRUE))
    file = CreateFileW(copy, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited,
                       OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  bool started = file != INVALID_HANDLE_VALUE &&
                 DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(),
                                 &self, SYNCHRONIZE, TRUE, 0) &&
                 startCopy(copy, self, file, ownFinal);
  if (self) CloseHandle(self);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);  // the copy holds its own handle
  if (!started) {
    DeleteFileW(copy);
    RemoveDirectoryW(folder);
  }
  return started;
}

int runCleanupCopy(int argc, wchar_t** argv) {
  if (argc != 6 || WaitForSingleObject(handleFrom(argv[2]), INFINITE) != WAIT_OBJECT_0)
    return exitNothingDone;
  wchar_t original[widePathSize], final[widePathSize];
  if (!canonicalPath(argv[4], original) || !normalisePath(argv[5], final, widePathSize))
    return exitNothingDone;
  testPause(L"copy");
  // The image of a process that has just ended can stay locked for a moment. Each attempt
  // checks anew that the path still leads to uninstall.exe itself.
  DWORD error = 0;
  for (int attempt = 0; attempt < 100; ++attempt, Sleep(100))
    if (deleteChecked(original, false, final, true, &error) != mayRemove || !error) break;
  cutLastName(original);
  cutLastName(final);
  deleteChecked(original, true, final, true, &error);  // only if empty: a user's files keep it
  moveOutOfFolder(handleFrom(argv[3]));
  return exitRemoved;
}
