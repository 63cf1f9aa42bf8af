#pragma once

#include <cstring>
#include <exception>
#include <string_view>

// Root of every failure that numeric, data and file code throws. Thrown by value, caught by
// reference; the command that started the work shows what() in a message box.
// The message is a short English sentence kept in a fixed buffer of 100 characters (longer
// texts are cut at 99), so copying an exception never allocates and never throws.
class MyException : public std::exception {
 public:
  static constexpr std::size_t kMaxMessage = 99;

  MyException() noexcept { message_[0] = '\0'; }
  explicit MyException(std::string_view message) noexcept {
    std::size_t n = message.size() < kMaxMessage ? message.size() : kMaxMessage;
    std::memcpy(message_, message.data(), n);
    message_[n] = '\0';
  }
  const char* what() const noexcept override { return message_; }

 private:
  char message_[kMaxMessage + 1];
};

#define LUMIVANE_EXCEPTION(Name)                                   \
  class Name : public MyException {                                \
   public:                                                         \
    Name() noexcept = default;                                     \
    explicit Name(std::string_view m) noexcept : MyException(m) {} \
  }

// Any allocation failure: "Out of memory" (matrices, Gridwise) or "Out of Memory!" (Vantor's
// data-set and network code).
LUMIVANE_EXCEPTION(OutOfMemoryException);
// Operand sizes that do not fit.
LUMIVANE_EXCEPTION(IllegalMatrixSizeException);
// A row or column range outside the matrix.
LUMIVANE_EXCEPTION(BadRangeException);
// A stored block or file whose layout is not the expected one.
LUMIVANE_EXCEPTION(IllegalDataFormatException);
// A project whose stored data description does not fit the loaded raw data.
LUMIVANE_EXCEPTION(BadProjectException);
// Network-construction errors.
LUMIVANE_EXCEPTION(IllegalOrderException);
// Network-size errors.
LUMIVANE_EXCEPTION(IllegalSizeException);

#undef LUMIVANE_EXCEPTION
