// The branch commands of the extended reading, kept on a stack so that they nest.
//
// #RANDOM n / #SETRANDOM n open a block with a value; #IF k, #ELSEIF k, #ELSE and #ENDIF choose
// the lines of the innermost value; #ENDRANDOM closes the block. #SWITCH n / #SETSWITCH n open a
// switch; #CASE k starts the lines taken when the value is k, and they run on through the next
// cases (fall-through) until #SKIP; #DEF is taken when no case matched; #ENDSW closes it.
//
// A block inside lines not taken is not met: it draws no value. Charts that omit closing lines
// still read as players read them: a #RANDOM on the level of an open block replaces it, a block
// opened inside an #IF branch and never closed ends with that branch's #ENDIF, closing lines
// without an open block are ignored. The stack only grows by one frame per line, so any input
// is bounded by its size.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace quillon {

class BranchStack {
 public:
  // Called for each #RANDOM or #SWITCH that is met; returns its value (1..range expected).
  using Draw = std::function<int32_t(bool is_switch, int32_t range)>;

  explicit BranchStack(Draw draw) : draw_(std::move(draw)) {}

  // Takes `command` (upper case, e.g. "#IF") with its value text when it is a branch command:
  // true then, false for any other command.
  bool Handle(std::string_view command, std::string_view value);
  // Whether the lines here are taken.
  bool Active() const { return frames_.empty() || frames_.back().active; }
  size_t Depth() const { return frames_.size(); }

 private:
  enum class Kind : uint8_t { kRandom, kIf, kSwitch };
  struct Frame {
    Kind kind;
    bool outer_active;  // whether the lines around this frame are taken
    bool active;        // whether the lines inside it are taken now
    bool done;          // an #IF branch was taken / a #CASE or #DEF matched
    bool skipped;       // a switch passed #SKIP
    int32_t value;      // the value in scope (the block's, the switch's)
  };

  void Push(Kind kind, int32_t value, bool active, bool done);
  // Pops frames down to and including the innermost one of `kind`; nothing when there is none.
  void PopThrough(Kind kind);
  int32_t ValueInScope() const { return frames_.empty() ? 0 : frames_.back().value; }

  Draw draw_;
  std::vector<Frame> frames_;
  size_t open_[3] = {0, 0, 0};  // frames of each kind on the stack
};

}  // namespace quillon
