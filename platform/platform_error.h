#pragma once

#include <stdexcept>
#include <string>

namespace ruvello {

// What a platform service could not do. Backends throw it; the core decides per caller whether
// the failure passes on, becomes a false result or is skipped.
class PlatformError : public std::runtime_error {
  public:
    enum class Cause { NotFound, AccessDenied, Other };

    PlatformError(std::string operation, std::string path, Cause cause, const std::string& detail)
        : std::runtime_error(operation + ": " + path + (detail.empty() ? "" : " (" + detail + ")")),
          operation_(std::move(operation)),
          path_(std::move(path)),
          cause_(cause) {}

    const std::string& operation() const { return operation_; }
    const std::string& path() const { return path_; }
    Cause cause() const { return cause_; }

  private:
    std::string operation_;
    std::string path_;
    Cause cause_;
};

}  // namespace ruvello
