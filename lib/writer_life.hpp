// The life of a streaming writer (dump_writer, decode_writer): open, then finished, or spent by
// a failure, after which it takes nothing more.
#ifndef MIVO_WRITER_LIFE_HPP
#define MIVO_WRITER_LIFE_HPP

#include <stdexcept>
#include <string>

namespace mivo::detail {

class writer_life {
 public:
  explicit writer_life(const char* name) noexcept : name_(name) {}

  [[nodiscard]] bool open() const noexcept { return now_ == status::open; }
  [[nodiscard]] bool finished() const noexcept { return now_ == status::finished; }
  void mark_finished() noexcept { now_ = status::finished; }

  // Throws std::logic_error unless the writer is open.
  void check_writable() const {
    if (now_ == status::finished)
      throw std::logic_error(std::string(name_) + ": written after finish");
    if (now_ == status::spent)
      throw std::logic_error(std::string(name_) + ": used after a failure");
  }

  // finish(): `finish` once, unless it has run already.
  template <class Finish>
  void finish_once(Finish finish) {
    if (finished()) return;
    finish();
    mark_finished();
  }

  // The destructor: finishes an open writer, swallowing any error.
  template <class Finish>
  void finish_quietly(Finish finish) const noexcept {
    if (!open()) return;
    try {
      finish();
    } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor must not throw
    }
  }

  // Runs one call; any exception spends the writer.
  template <class Step>
  void run(Step step) {
    try {
      step();
    } catch (...) {
      now_ = status::spent;
      throw;
    }
  }

 private:
  enum class status { open, finished, spent };
  const char* name_;
  status now_ = status::open;
};

}  // namespace mivo::detail

#endif  // MIVO_WRITER_LIFE_HPP
