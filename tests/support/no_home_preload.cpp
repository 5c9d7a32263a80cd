// Preloaded into a program under test: the password database knows no user,
// so with HOME unset the program has no home folder at all, as for a service
// account or a stripped container.
#include <pwd.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>

extern "C" {

int getpwuid_r(uid_t, passwd*, char*, std::size_t, passwd** result) {
  *result = nullptr;
  return 0;
}

passwd* getpwuid(uid_t) {
  errno = 0;
  return nullptr;
}

}  // extern "C"
