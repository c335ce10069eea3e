#pragma once
// The one shared lock of the process, taken under four roles. All roles are
// the same lock: recursive inside the process, exclusive across processes that
// open the same name (flock on a file named "mutex" in $XDG_RUNTIME_DIR, else
// /tmp/parvola-$UID). Waits have no time-out.
namespace parvola {

enum class LockRole { Accounts, Tasks, FileList, Transfers };

void lockRole(LockRole role);
void unlockRole(LockRole role);
// Takes the role only when that needs no wait; true when taken.
bool tryLockRole(LockRole role);

// Holds one role for its lifetime.
class RoleGuard {
  public:
    explicit RoleGuard(LockRole role) : role_(role) { lockRole(role_); }
    ~RoleGuard() { unlockRole(role_); }
    RoleGuard(const RoleGuard&) = delete;
    RoleGuard& operator=(const RoleGuard&) = delete;

  private:
    LockRole role_;
};

}  // namespace parvola
