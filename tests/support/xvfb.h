// Helpers for tests against a real X server: a private Xvfb on a display
// number it picks itself, and a reader of window dump files.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vemra_test {

// One Xvfb server for the life of the object. ok() is false when no server
// could be started (the caller then skips).
class Xvfb {
 public:
  explicit Xvfb(int depth, bool backing_store = false) {
    int fds[2];
    if (pipe(fds) != 0) return;
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
      // The server ends with the test process, however that ends (a test
      // killed at its time limit runs no destructor), and holds none of its
      // descriptors but the one it reports on: an inherited lock or pipe
      // would otherwise stay held by a server nobody stops.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      if (fds[1] > 3) close_range(3, unsigned(fds[1]) - 1, 0);
      close_range(unsigned(fds[1]) + 1, ~0U, 0);
      int null = open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, 1);
        dup2(null, 2);
      }
      std::string screen = "1024x768x" + std::to_string(depth);
      std::string fd = std::to_string(fds[1]);
      // Without -noreset the server starts over each time its last client
      // leaves, and refuses the next test's connection while it does.
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
             "tcp", "-noreset", backing_store ? "+bs" : "-bs", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      return;
    }
    // The server writes its display number once it accepts connections.
    std::string num;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
      char c;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      num.push_back(c);
    }
    close(fds[0]);
    if (num.empty()) {
      stop();
      return;
    }
    display_ = ":" + num;
  }
  ~Xvfb() { stop(); }
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  bool ok() const { return !display_.empty(); }
  const std::string& display() const { return display_; }

 private:
  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  pid_t pid_ = -1;
  std::string display_;
};

// A window dump file read back: header words, colour table and pixels.
struct XwdImage {
  bool valid = false;
  uint32_t h[25] = {};
  std::string name;
  struct Colour {
    uint32_t pixel;
    uint16_t r, g, b;
  };
  std::vector<Colour> colours;
  std::string data;

  uint32_t header_size() const { return h[0]; }
  uint32_t depth() const { return h[3]; }
  int width() const { return static_cast<int>(h[4]); }
  int height() const { return static_cast<int>(h[5]); }
  uint32_t byte_order() const { return h[7]; }
  uint32_t bits_per_pixel() const { return h[11]; }
  uint32_t bytes_per_line() const { return h[12]; }
  uint32_t visual_class() const { return h[13]; }
  uint32_t ncolors() const { return h[19]; }

  uint32_t pixel(int x, int y) const {
    std::size_t bpp = bits_per_pixel() / 8;
    std::size_t at = static_cast<std::size_t>(y) * bytes_per_line() + x * bpp;
    uint32_t v = 0;
    for (std::size_t i = 0; i < bpp; i++) {
      uint32_t b = static_cast<unsigned char>(data[at + i]);
      v |= byte_order() == 0 ? b << (8 * i) : b << (8 * (bpp - 1 - i));
    }
    return v;
  }

  // The colour of a pixel as 8-bit components packed 0xRRGGBB.
  uint32_t rgb(int x, int y) const {
    uint32_t v = pixel(x, y);
    if (visual_class() == 4 || visual_class() == 5) {  // TrueColor, DirectColor
      auto comp = [v](uint32_t mask) {
        uint32_t m = mask, shift = 0;
        while (m && !(m & 1)) {
          m >>= 1;
          shift++;
        }
        return ((v & mask) >> shift) * 255 / (m ? m : 1);
      };
      return comp(h[14]) << 16 | comp(h[15]) << 8 | comp(h[16]);
    }
    for (const Colour& c : colours)
      if (c.pixel == v) return uint32_t(c.r >> 8) << 16 | uint32_t(c.g >> 8) << 8 | (c.b >> 8);
    return 0xffffffff;
  }
};

// A big-endian number of n bytes at byte at.
inline uint32_t be(const std::string& s, std::size_t at, int n = 4) {
  uint32_t v = 0;
  for (int i = 0; i < n; i++) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

inline XwdImage decode_xwd(const std::string& s) {
  XwdImage im;
  if (s.size() < 100) return im;
  for (int i = 0; i < 25; i++) im.h[i] = be(s, 4 * i);
  if (im.header_size() < 101 || im.header_size() > s.size()) return im;
  im.name = s.substr(100, im.header_size() - 100);
  if (!im.name.empty() && im.name.back() == '\0') im.name.pop_back();
  std::size_t at = im.header_size();
  if (s.size() < at + 12 * std::size_t(im.ncolors())) return im;
  for (uint32_t i = 0; i < im.ncolors(); i++, at += 12) {
    im.colours.push_back({be(s, at), static_cast<uint16_t>(be(s, at + 4, 2)),
                          static_cast<uint16_t>(be(s, at + 6, 2)),
                          static_cast<uint16_t>(be(s, at + 8, 2))});
  }
  im.data = s.substr(at);
  im.valid = im.data.size() == std::size_t(im.bytes_per_line()) * im.height();
  return im;
}

}  // namespace vemra_test
