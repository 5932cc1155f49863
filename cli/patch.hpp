// Patching a file in place from a dump, all or nothing.
//
// The dump is read once and judged whole before anything is written; what it asks for is kept
// meanwhile in bounded memory, or past that in a temporary file in $TMPDIR (default /tmp). The
// original bytes of every range about to change are saved first, with a checksum, in an undo
// file beside the target ("TARGET.mivo-undo") and flushed to disk; then the target is written
// and flushed, and the undo file removed. A failed write or a SIGINT, SIGTERM, SIGHUP or SIGPIPE
// puts the original bytes back; after a kill -9 or a power cut the undo file stays, further
// patches of that target are refused, and undo_patch puts them back.
#ifndef MIVO_CLI_PATCH_HPP
#define MIVO_CLI_PATCH_HPP

#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <mivo.hpp>

#include "io.hpp"

namespace mivo_cli {

// A patch stopped by a signal, the target put back: report what(), then die of the signal.
class interrupted : public failure {
 public:
  interrupted(const std::string& message, int signal) : failure(message), signal_(signal) {}
  [[nodiscard]] int signal() const noexcept { return signal_; }

 private:
  int signal_;
};

// The calls through which a patch writes its target, so that a test can make one fail.
struct target_writes {
  ssize_t (*pwrite)(int fd, const void* data, std::size_t n, off_t at) = ::pwrite;
};

// The undo file of `target`.
std::string undo_file_of(const std::string& target);

// Writes each row of the dump text of the inputs (rows labelled with byte offsets, laid out as
// `layout` says) at its
// place in `target`, a regular file or a block device, which keeps every other byte. Throws
// failure "NAME: ..." with nothing changed, or "TARGET: ...; TARGET restored, nothing changed",
// or interrupted.
void undump_patch(std::vector<std::string> names, const std::string& target,
                  const mivo::dump_layout& layout, const target_writes& writes = {});

// Puts back what the undo file of `target` saved, then removes it. A damaged undo file is
// never applied.
void undo_patch(const std::string& target);

}  // namespace mivo_cli

#endif  // MIVO_CLI_PATCH_HPP
