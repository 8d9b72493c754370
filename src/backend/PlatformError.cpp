#include "backend/PlatformError.h"

#include <cstring>

namespace lumivant {

PlatformError PlatformError::fromErrno(const std::string& whatFailed, int errnum) {
  return PlatformError(whatFailed + "：" + std::strerror(errnum));
}

}  // namespace lumivant
