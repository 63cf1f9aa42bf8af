#pragma once

#include <string>

// How a long operation in an engine reports progress without knowing about windows. The
// workbenches pass the progress indicator (which pumps events on every report); engine tests
// pass a recorder or nothing.
class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // Sets the message line.
  virtual void setText(const std::string& text) = 0;
  // Sets the bar position in the indicator's range (0 … 100 unless the caller set another).
  virtual void setPosition(int position) = 0;
  // True once after the user pressed Cancel (the flag clears when read); always false for
  // indicators without a Cancel button.
  virtual bool cancelRequested() = 0;
};

// A sink that shows nothing and is never cancelled.
class NullProgress final : public ProgressSink {
 public:
  void setText(const std::string&) override {}
  void setPosition(int) override {}
  bool cancelRequested() override { return false; }
};
