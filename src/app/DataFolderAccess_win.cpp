#include "app/DataFolderAccess.h"

#include <windows.h>
#include <aclapi.h>

#include "base/WideText.h"
#include "base/WinHandles.h"

namespace drovane {
namespace {

// Modify: everything but changing the security or taking ownership.
constexpr DWORD kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// The built-in Users group, in a buffer of its own: nothing to free.
struct UsersSid {
  UsersSid() {
    DWORD size = sizeof bytes;
    valid = CreateWellKnownSid(WinBuiltinUsersSid, nullptr, bytes, &size) != FALSE;
  }
  PSID get() { return valid ? bytes : nullptr; }
  alignas(DWORD) BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  bool valid = false;
};

}  // namespace

bool GrantsUsersModify(const ACL* dacl) {
  if (!dacl) return true;  // no list at all: everyone may do everything
  UsersSid users;
  if (!users.get()) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), i, &entry)) return false;
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        (allowed->Header.AceFlags & kInherited) == kInherited &&
        (allowed->Mask & kModify) == kModify &&
        EqualSid(const_cast<DWORD*>(&allowed->SidStart), users.get())) {
      return true;
    }
  }
  return false;
}

ACL* WithUsersModify(ACL* dacl) {
  UsersSid users;
  if (!users.get()) return nullptr;
  EXPLICIT_ACCESS_W access = {};
  access.grfAccessPermissions = kModify;
  access.grfAccessMode = GRANT_ACCESS;
  access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = static_cast<LPWSTR>(users.get());
  PACL merged = nullptr;
  if (SetEntriesInAclW(1, &access, dacl, &merged) != ERROR_SUCCESS) return nullptr;
  return merged;
}

DataFolderAccess ShareDataFolder(const std::string& folder) {
  std::wstring wideFolder = Wide(folder);
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(wideFolder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return DataFolderAccess::Failed;
  }
  const LocalMemory ownedDescriptor(descriptor);  // dacl points into it
  if (GrantsUsersModify(dacl)) return DataFolderAccess::AlreadyShared;
  PACL merged = WithUsersModify(dacl);
  if (!merged) return DataFolderAccess::Failed;
  const LocalMemory ownedMerged(merged);
  // Also passed on to what the folder already holds.
  const DWORD result = SetNamedSecurityInfoW(
      &wideFolder[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, merged, nullptr);
  if (result == ERROR_ACCESS_DENIED) return DataFolderAccess::NotOwner;
  return result == ERROR_SUCCESS ? DataFolderAccess::Shared : DataFolderAccess::Failed;
}

const char* DataFolderAccessText(DataFolderAccess access) {
  switch (access) {
    case DataFolderAccess::Shared:
      return "The data folder now lets every Windows user of this computer keep its files.";
    case DataFolderAccess::AlreadyShared:
      return "The data folder lets every Windows user of this computer keep its files.";
    case DataFolderAccess::NotOwner:
      return "The data folder belongs to another Windows user, who has not opened it to the "
             "other users yet: until that user starts this version of the client, files the "
             "other user wrote cannot be changed from here.";
    case DataFolderAccess::Failed:
      break;
  }
  return "The data folder's access rights could not be read or changed.";
}

}  // namespace drovane
