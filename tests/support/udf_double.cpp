// An external user function for the tests: doubles the grid of its first
// argument. Usage: udf_double transfer result direct|sequential [mode]
// mode "fail" answers with status 1; "levels" returns every linear side as
// explicit levels; "huge" claims a 100000 x 100000 grid; "slow" takes 20 ms
// between reading its argument and answering, as a real program would.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

bool seq = false;

bool get(std::FILE* f, void* p, size_t bytes) {
  std::int32_t n = 0;
  if (seq && std::fread(&n, 4, 1, f) != 1) return false;
  if (std::fread(p, bytes, 1, f) != 1) return false;
  return !seq || std::fread(&n, 4, 1, f) == 1;
}

void put(std::FILE* f, const void* p, size_t bytes) {
  const std::int32_t n = std::int32_t(bytes);
  if (seq) std::fwrite(&n, 4, 1, f);
  std::fwrite(p, bytes, 1, f);
  if (seq) std::fwrite(&n, 4, 1, f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  seq = std::strcmp(argv[3], "sequential") == 0;
  const std::string mode = argc > 4 ? argv[4] : "";
  std::FILE* in = std::fopen(argv[1], "rb");
  if (!in) return 2;
  float head[20], h[20];
  if (!get(in, head, sizeof head) || !get(in, h, sizeof h)) return 2;
  const int isiz = int(h[3]), jsiz = int(h[4]);
  std::vector<float> v(static_cast<size_t>(isiz * jsiz)), ic(static_cast<size_t>(isiz)),
      jc(static_cast<size_t>(jsiz));
  if (!get(in, v.data(), v.size() * 4)) return 2;
  if (h[1] >= 0 && !get(in, ic.data(), ic.size() * 4)) return 2;
  if (h[2] >= 0 && !get(in, jc.data(), jc.size() * 4)) return 2;
  std::fclose(in);
  if (mode == "slow") std::this_thread::sleep_for(std::chrono::milliseconds(20));

  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) return 2;
  float status[20] = {};
  status[0] = mode == "fail" ? 1.0f : 0.0f;
  put(out, status, sizeof status);
  if (mode == "huge") {
    h[1] = 0, h[2] = 1, h[3] = h[4] = 100000;
    put(out, h, sizeof h);
  } else if (mode != "fail") {
    const bool levels = mode == "levels";
    if (levels && h[1] >= 0 && h[1] < 3) h[5] = 0;
    if (levels && h[2] >= 0 && h[2] < 3) h[6] = 0;
    put(out, h, sizeof h);
    for (float& x : v)
      if (x != h[0]) x *= 2;
    put(out, v.data(), v.size() * 4);
    if (h[1] >= 0 && h[5] == 0) put(out, ic.data(), ic.size() * 4);
    if (h[2] >= 0 && h[6] == 0) put(out, jc.data(), jc.size() * 4);
  }
  std::fclose(out);
  return 0;
}
