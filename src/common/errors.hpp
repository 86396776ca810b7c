#pragma once
// A failure that ends a command and carries the message the user sees.

#include <stdexcept>
#include <string>

namespace morvik {

class CommandError : public std::runtime_error {
public:
  // Error: shown in an error box ("Invalid numeric input").
  // Notice: a refusal the user must act on, shown in a plain message box
  // ("Please choose a comparison star").
  enum class Kind { Error, Notice };

  explicit CommandError(const std::string& message, Kind kind = Kind::Error)
      : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

private:
  Kind kind_;
};

} // namespace morvik
