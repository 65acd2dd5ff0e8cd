// The files of the script built-ins read() and write(). A pipe is a
// legitimate file there, but its other end may come late or never: the
// descriptor is kept non-blocking and every wait on it (for a writer, a
// reader, data or room) is done in short slices that look at the interrupt,
// so the first Ctrl-C ends it.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/safefile.h"
#include "script/gsint.h"

namespace {

// The stream of an opened descriptor: a pipe stays non-blocking, anything
// else is read and written as usual.
gs_io stream_of(int fd, const char* mode, script_open_file& out) {
  struct stat st;
  out.pipe = ::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode);
  out.stream = fdopen_owning(fd, mode, !out.pipe);
  if (!out.stream) return gs_io::failed;
  // Written records go to the descriptor at once (see gs_write_record).
  if (out.pipe && out.mode == 2) std::setvbuf(out.stream, nullptr, _IONBF, 0);
  return gs_io::done;
}

}  // namespace

gs_io gs_open_read(const std::string& name, script_open_file& out) {
  if (name.find('\0') != std::string::npos) return gs_io::failed;
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return gs_io::failed;
  out.mode = 1;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode)) {
    // No writer yet: nothing is reported until one comes (and has written
    // or gone again), where a read would see the end of the file at once.
    bool interrupted;
    if (!wait_on(fd, POLLIN, interrupted)) {
      ::close(fd);
      return interrupted ? gs_io::interrupted : gs_io::failed;
    }
  }
  return stream_of(fd, "r", out);
}

gs_io gs_open_write(const std::string& name, bool append, script_open_file& out) {
  if (name.find('\0') != std::string::npos) return gs_io::failed;
  const int flags = (append ? O_RDWR | O_APPEND : O_WRONLY | O_TRUNC) | O_CREAT | O_CLOEXEC;
  out.mode = 2;
  const int fd = open_waiting_for_reader(name, flags);
  if (fd < 0) return errno == EINTR ? gs_io::interrupted : gs_io::failed;
  return stream_of(fd, append ? "a+" : "w", out);
}

gs_io gs_read_record(script_open_file& f, std::string& line, std::size_t max) {
  line.clear();
  while (line.size() < max) {
    errno = 0;
    const int c = std::getc(f.stream);
    if (c != EOF) {
      line += static_cast<char>(c);
      if (c == '\n') break;
      continue;
    }
    if (!f.pipe || !std::ferror(f.stream) || errno != EAGAIN) break;
    // A pipe with nothing to read yet.
    std::clearerr(f.stream);
    bool interrupted;
    if (!wait_on(fileno(f.stream), POLLIN, interrupted))
      return interrupted ? gs_io::interrupted : gs_io::failed;
  }
  if (line.empty() && std::ferror(f.stream)) return gs_io::failed;
  return gs_io::done;
}

gs_io gs_write_record(script_open_file& f, const std::string& rec) {
  if (!f.pipe) {
    // Flushed at once: a full device must fail this write, not a later close.
    if (std::fwrite(rec.data(), 1, rec.size(), f.stream) != rec.size() ||
        std::fputc('\n', f.stream) == EOF || std::fflush(f.stream) != 0)
      return gs_io::failed;
    return gs_io::done;
  }
  // The stream of a pipe is unbuffered: the record goes to the descriptor
  // directly, in as many pieces as the reader makes room for.
  const std::string out = rec + "\n";
  if (!write_waiting(fileno(f.stream), out.data(), out.size()))
    return errno == EINTR ? gs_io::interrupted : gs_io::failed;
  return gs_io::done;
}
