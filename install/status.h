// Status: the outcome of an operation that can fail, with a message that names
// the object and the reason ("cabinet.cab: not a cabinet (no signature)").
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kolvenar {

class [[nodiscard]] Status {
 public:
  enum class Kind {
    kOk,
    kNotFound,         // a file, folder, section or program that is not there
    kCorrupt,          // data that is not in the expected format, or damaged
    kIoError,          // reading, writing, creating or deleting failed
    kInvalidArgument,  // the caller asked for something that cannot be done
  };

  Status() = default;
  static Status Ok() { return Status(); }
  static Status NotFound(std::string message) { return Status(Kind::kNotFound, std::move(message)); }
  static Status Corrupt(std::string message) { return Status(Kind::kCorrupt, std::move(message)); }
  static Status IoError(std::string message) { return Status(Kind::kIoError, std::move(message)); }
  static Status InvalidArgument(std::string message) {
    return Status(Kind::kInvalidArgument, std::move(message));
  }

  bool ok() const { return m_kind == Kind::kOk; }
  Kind kind() const { return m_kind; }
  const std::string& message() const { return m_message; }

 private:
  Status(Kind kind, std::string message) : m_kind(kind), m_message(std::move(message)) {}

  Kind m_kind = Kind::kOk;
  std::string m_message;
};

// The problems a stage met while it went on: every one is reported, none stops it.
using Problems = std::vector<std::string>;

}  // namespace kolvenar
