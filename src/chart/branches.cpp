#include "chart/branches.h"

#include "chart/numbers.h"

namespace quillon {

void BranchStack::Push(Kind kind, int32_t value, bool active, bool done) {
  frames_.push_back({kind, Active(), active, done, false, value});
  ++open_[static_cast<int>(kind)];
}

void BranchStack::PopThrough(Kind kind) {
  if (open_[static_cast<int>(kind)] == 0) return;
  while (!frames_.empty()) {
    const Kind top = frames_.back().kind;
    --open_[static_cast<int>(top)];
    frames_.pop_back();
    if (top == kind) return;
  }
}

bool BranchStack::Handle(std::string_view command, std::string_view value) {
  const auto number = [&] { return ReadWhole<int32_t>(value).value_or(0); };
  const bool is_random = command == "#RANDOM", is_set_random = command == "#SETRANDOM";
  if (is_random || is_set_random) {
    // Without #ENDRANDOM, a block on the level of an open one starts the next block.
    if (!frames_.empty() && frames_.back().kind == Kind::kRandom) PopThrough(Kind::kRandom);
    const bool met = Active();
    const int32_t v = !met ? 0 : is_random ? draw_(false, number()) : number();
    Push(Kind::kRandom, v, met, false);
  } else if (command == "#ENDRANDOM") {
    PopThrough(Kind::kRandom);
  } else if (command == "#IF") {
    const bool take = Active() && ValueInScope() == number();
    Push(Kind::kIf, ValueInScope(), take, take);
  } else if (command == "#ELSEIF" || command == "#ELSE") {
    if (frames_.empty() || frames_.back().kind != Kind::kIf) return true;
    Frame& f = frames_.back();
    const bool match = command == "#ELSE" || f.value == number();
    f.active = f.outer_active && !f.done && match;
    f.done = f.done || f.active;
  } else if (command == "#ENDIF") {
    PopThrough(Kind::kIf);
  } else if (command == "#SWITCH" || command == "#SETSWITCH") {
    const bool met = Active();
    const int32_t v = !met ? 0 : command == "#SWITCH" ? draw_(true, number()) : number();
    Push(Kind::kSwitch, v, false, false);
  } else if (command == "#CASE" || command == "#DEF") {
    if (frames_.empty() || frames_.back().kind != Kind::kSwitch) return true;
    Frame& f = frames_.back();
    // A matched case runs on through the following ones (fall-through) until #SKIP.
    if (!f.done && (command == "#DEF" || f.value == number())) f.done = true;
    f.active = f.outer_active && f.done && !f.skipped;
  } else if (command == "#SKIP") {
    if (frames_.empty() || frames_.back().kind != Kind::kSwitch) return true;
    Frame& f = frames_.back();
    if (f.active) {
      f.skipped = true;
      f.active = false;
    }
  } else if (command == "#ENDSW") {
    PopThrough(Kind::kSwitch);
  } else {
    return false;
  }
  return true;
}

}  // namespace quillon
