// Writes alert.wav, the sound the client falls back to: a short two-tone
// chime, 8 kHz mono 8-bit PCM, a little over 2 KB.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s output.wav\n", argv[0]);
    return 2;
  }
  constexpr uint32_t rate = 8000;
  constexpr uint32_t toneSamples = rate / 8;  // 125 ms per tone
  const double tones[] = {880.0, 1318.5};

  std::vector<uint8_t> samples;
  for (double hz : tones) {
    for (uint32_t i = 0; i < toneSamples; ++i) {
      const double t = static_cast<double>(i) / rate;
      // Short attack, exponential decay: no click at either end.
      const double envelope = std::min(1.0, i / 40.0) * std::exp(-4.0 * i / toneSamples);
      const double v = 0.6 * envelope * std::sin(2.0 * std::numbers::pi * hz * t);
      samples.push_back(static_cast<uint8_t>(std::lround(128.0 + 127.0 * v)));
    }
  }

  std::vector<uint8_t> out;
  const auto data = static_cast<uint32_t>(samples.size());
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put32(out, 36 + data);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(out, 16);
  put16(out, 1);     // PCM
  put16(out, 1);     // mono
  put32(out, rate);  // samples per second
  put32(out, rate);  // bytes per second
  put16(out, 1);     // block align
  put16(out, 8);     // bits per sample
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(out, data);
  out.insert(out.end(), samples.begin(), samples.end());

  FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (std::fclose(f) != 0 || !ok) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
