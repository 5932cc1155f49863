// Throughput of every operation beside a memcpy of the same output, the raw kernels side by
// side, and (where installed) other libraries' hex functions. Bytes per second count the raw
// bytes: the encoder's input, the decoder's output, the dump's underlying bytes.
#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <ostream>
#include <random>
#include <streambuf>
#include <string>
#include <vector>

#include <sys/resource.h>

#include <mivo.hpp>

#include "kernels/kernels.hpp"

#if defined(MIVO_BENCH_ABSL)
#include <absl/strings/escaping.h>
#endif
#if defined(MIVO_BENCH_SODIUM)
#include <sodium.h>
#endif

namespace {

std::string random_bytes(std::size_t n) {
  std::mt19937_64 rng(42);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::size_t size_of(const benchmark::State& state) {
  return static_cast<std::size_t>(state.range(0));
}

void count_bytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void sizes(benchmark::internal::Benchmark* b) {
  for (std::int64_t n = 32; n <= (16 << 20); n *= 4) b->Arg(n);
  b->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20)->Arg(16 << 20);
}

// The ceiling: copying as many bytes as the encoder writes (2n).
void BM_memcpy_encoded_size(benchmark::State& state) {
  const std::string from(2 * size_of(state), 'x');
  std::string to(from.size(), '\0');
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

// The floor for small results: allocating a string of the result's size.
void BM_allocate_encoded_size(benchmark::State& state) {
  for (auto _ : state) {
    std::string s;
    s.reserve(2 * size_of(state));
    benchmark::DoNotOptimize(s.data());
  }
  count_bytes(state);
}

void BM_allocate_decoded_size(benchmark::State& state) {
  for (auto _ : state) {
    std::string s;
    s.reserve(size_of(state));
    benchmark::DoNotOptimize(s.data());
  }
  count_bytes(state);
}

// One operation on an input made once by make(n).
template <class Make, class Op>
void BM_op(benchmark::State& state, Make make, Op op) {
  const auto in = make(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(op(in));
  count_bytes(state);
}

std::vector<std::uint8_t> random_vector(std::size_t n) {
  const std::string s = random_bytes(n);
  return {s.begin(), s.end()};
}

mivo::cstruct random_slice(std::size_t n) { return mivo::cstruct::of_string(random_bytes(n)); }

mivo::bigstring random_array(std::size_t n) { return random_slice(n).buffer; }

mivo::hex_text random_text(std::size_t n) { return mivo::of_string(random_bytes(n)); }

constexpr std::array<std::uint8_t, 2> separators = {'\n', ' '};

// Random bytes holding no separator, then with a line feed ending every 64 bytes.
std::string bytes_without_separators(std::size_t n) {
  std::string s = random_bytes(n);
  for (char& c : s) {
    if (c == '\n' || c == ' ') c = 'x';
  }
  return s;
}

std::string lines_of_64(std::size_t n) {
  std::string s = bytes_without_separators(n);
  for (std::size_t i = 63; i < n; i += 64) s[i] = '\n';
  return s;
}

const auto of_string = [](const std::string& in) { return mivo::of_string(in); };
const auto of_string_skip = [](const std::string& in) { return mivo::of_string(separators, in); };
const auto of_bytes = [](const std::vector<std::uint8_t>& in) { return mivo::of_bytes(in); };
const auto of_cstruct = [](const mivo::cstruct& in) { return mivo::of_cstruct(in); };
const auto of_cstruct_skip = [](const mivo::cstruct& in) {
  return mivo::of_cstruct(separators, in);
};
const auto of_bigstring = [](const mivo::bigstring& in) { return mivo::of_bigstring(in); };
const auto to_string = [](const mivo::hex_text& in) { return mivo::to_string(in); };
const auto to_bytes = [](const mivo::hex_text& in) { return mivo::to_bytes(in); };
const auto to_cstruct = [](const mivo::hex_text& in) { return mivo::to_cstruct(in); };
const auto to_bigstring = [](const mivo::hex_text& in) { return mivo::to_bigstring(in); };
const auto hexdump_s = [](const mivo::hex_text& in) { return mivo::hexdump_s(in); };
const auto hexdump_s_bare = [](const mivo::hex_text& in) {
  return mivo::hexdump_s({.row_numbers = false, .char_column = false}, in);
};

BENCHMARK_CAPTURE(BM_op, of_string, random_bytes, of_string)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, of_string_skip, random_bytes, of_string_skip)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, of_string_lines, lines_of_64, of_string)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, of_string_skip_lines, lines_of_64, of_string_skip)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, of_string_skip_absent, bytes_without_separators, of_string_skip)
    ->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, of_bytes, random_vector, of_bytes)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, of_cstruct, random_slice, of_cstruct)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, of_cstruct_skip, random_slice, of_cstruct_skip)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, of_bigstring, random_array, of_bigstring)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, to_string, random_text, to_string)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, to_bytes, random_text, to_bytes)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, to_cstruct, random_text, to_cstruct)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, to_bigstring, random_text, to_bigstring)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, hexdump_s, random_text, hexdump_s)->Apply(sizes);
BENCHMARK_CAPTURE(BM_op, hexdump_s_bare, random_text, hexdump_s_bare)->Apply(sizes);

// The caller-buffer forms, into one buffer reused across iterations (on the stack for 32 B).
void BM_encode_into(benchmark::State& state) {
  const std::string in = random_bytes(size_of(state));
  std::vector<char> out(2 * in.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(mivo::encode_into(out, in));
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

// Lines of 60 digits, as xxd -p writes them, beside encode_into of the same bytes.
void BM_encode_lines_into(benchmark::State& state) {
  const std::string in = random_bytes(size_of(state) / 30 * 30);
  std::vector<char> out(2 * in.size() + in.size() / 30);
  const auto bytes = std::span(reinterpret_cast<const std::uint8_t*>(in.data()), in.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(mivo::encode_lines_into(out, bytes, 60));
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

void BM_decode_into(benchmark::State& state) {
  const std::string in = random_text(size_of(state)).text;
  std::vector<std::uint8_t> out(in.size() / 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(mivo::decode_into(out, in));
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

void BM_encode_into_digest(benchmark::State& state) {
  const std::string in = random_bytes(32);
  for (auto _ : state) {
    std::array<char, 64> out;
    benchmark::DoNotOptimize(mivo::encode_into(out, in));
    benchmark::DoNotOptimize(out.data());
  }
  count_bytes(state);
}

void BM_decode_into_digest(benchmark::State& state) {
  const std::string in = random_text(32).text;
  for (auto _ : state) {
    std::array<std::uint8_t, 32> out;
    benchmark::DoNotOptimize(mivo::decode_into(out, in));
    benchmark::DoNotOptimize(out.data());
  }
  count_bytes(state);
}
// Text forms, beside encode_into and decode_into at the same size: "de:ad:be:ef" both ways,
// and "0xde, 0xad" decoded.
void BM_encode_text_into(benchmark::State& state) {
  const std::string in = random_bytes(size_of(state));
  const mivo::text_form form{.separator = ":"};
  std::vector<char> out(mivo::text_size(in.size(), form));
  for (auto _ : state) {
    benchmark::DoNotOptimize(mivo::encode_text_into(out, mivo::as_bytes(in), form));
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

void BM_decode_text_into(benchmark::State& state, mivo::text_form form,
                         mivo::text_reading reading) {
  const std::string bytes = random_bytes(size_of(state));
  const std::string in = mivo::encode_text(mivo::as_bytes(bytes), form);
  std::vector<std::uint8_t> out(in.size() / 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(mivo::decode_text_into(out, in, reading));
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

BENCHMARK(BM_encode_into)->Apply(sizes);
BENCHMARK(BM_decode_into)->Apply(sizes);
BENCHMARK(BM_encode_text_into)->Arg(1 << 20);
BENCHMARK_CAPTURE(BM_decode_text_into, colons, mivo::text_form{.separator = ":"},
                  mivo::text_reading{.ignore = ":"})
    ->Arg(1 << 20);
BENCHMARK_CAPTURE(BM_decode_text_into, prefixed,
                  mivo::text_form{.separator = ", ", .byte_prefix = "0x"},
                  mivo::text_reading{.ignore = ", ", .prefix = "0x"})
    ->Arg(1 << 20);
BENCHMARK(BM_encode_lines_into)->Arg(1 << 20);
BENCHMARK(BM_encode_into_digest)->Arg(32);
BENCHMARK(BM_decode_into_digest)->Arg(32);

// A stream that throws away what it is given, so the writer alone is timed.
class discarding_buffer : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

long peak_rss_kib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// range(0) bytes through dump_writer::write_bytes in 64 KiB calls; reports the growth of peak
// memory over the run.
void BM_dump_writer(benchmark::State& state) {
  const std::string chunk = random_bytes(64 << 10);
  const long rss_before = peak_rss_kib();
  discarding_buffer sink;
  std::ostream out(&sink);
  for (auto _ : state) {
    mivo::dump_writer writer(out);
    for (std::size_t done = 0; done < size_of(state); done += chunk.size()) {
      writer.write_bytes(mivo::as_bytes(chunk));
    }
    writer.finish();
  }
  state.counters["peak_growth_MiB"] = static_cast<double>(peak_rss_kib() - rss_before) / 1024;
  count_bytes(state);
}
BENCHMARK(BM_dump_writer)->Arg(std::int64_t{1} << 30)->Unit(benchmark::kMillisecond);

// The streaming decoder, beside BM_decode_into: the digits of range(0) bytes a piece, with no
// skip list, and with the tool's (ASCII whitespace) over the same digits.
void BM_decode_writer(benchmark::State& state, mivo::skip_list skip) {
  const std::string in = random_text(size_of(state)).text;
  discarding_buffer sink;
  std::ostream out(&sink);
  mivo::decode_writer writer(skip, out);
  for (auto _ : state) writer.write_text(in);
  count_bytes(state);
}
BENCHMARK_CAPTURE(BM_decode_writer, plain, mivo::skip_list{})->Arg(1 << 19);
BENCHMARK_CAPTURE(BM_decode_writer, whitespace, mivo::skip_list{' ', '\t', '\n', '\v', '\f', '\r'})
    ->Arg(1 << 19);

// The raw kernels, into preallocated buffers: scalar against each SIMD kernel.
void BM_kernel_encode(benchmark::State& state, const mivo::detail::kernel* k) {
  const std::string in = random_bytes(size_of(state));
  std::string out(2 * in.size(), '\0');
  for (auto _ : state) {
    k->encode(reinterpret_cast<const std::uint8_t*>(in.data()), in.size(), out.data());
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

void BM_kernel_decode(benchmark::State& state, const mivo::detail::kernel* k) {
  const std::string in = random_text(size_of(state)).text;
  std::vector<std::uint8_t> out(in.size() / 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(k->decode(in.data(), out.size(), out.data()));
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

#if defined(MIVO_BENCH_ABSL)
void BM_absl_BytesToHexString(benchmark::State& state) {
  const std::string in = random_bytes(size_of(state));
  for (auto _ : state) benchmark::DoNotOptimize(absl::BytesToHexString(in));
  count_bytes(state);
}

void BM_absl_HexStringToBytes(benchmark::State& state) {
  const std::string in = random_text(size_of(state)).text;
  for (auto _ : state) benchmark::DoNotOptimize(absl::HexStringToBytes(in));
  count_bytes(state);
}
BENCHMARK(BM_absl_BytesToHexString)->Apply(sizes);
BENCHMARK(BM_absl_HexStringToBytes)->Apply(sizes);
#endif

#if defined(MIVO_BENCH_SODIUM)
void BM_sodium_bin2hex(benchmark::State& state) {
  const std::string in = random_bytes(size_of(state));
  std::string out(2 * in.size() + 1, '\0');
  for (auto _ : state) {
    sodium_bin2hex(out.data(), out.size(), reinterpret_cast<const unsigned char*>(in.data()),
                   in.size());
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}

void BM_sodium_hex2bin(benchmark::State& state) {
  const std::string in = random_text(size_of(state)).text;
  std::vector<unsigned char> out(in.size() / 2);
  for (auto _ : state) {
    std::size_t written = 0;
    sodium_hex2bin(out.data(), out.size(), in.data(), in.size(), nullptr, &written, nullptr);
    benchmark::DoNotOptimize(written);
    benchmark::ClobberMemory();
  }
  count_bytes(state);
}
BENCHMARK(BM_sodium_bin2hex)->Apply(sizes);
BENCHMARK(BM_sodium_hex2bin)->Apply(sizes);
#endif

BENCHMARK(BM_memcpy_encoded_size)->Apply(sizes);
BENCHMARK(BM_allocate_encoded_size)->Arg(32);
BENCHMARK(BM_allocate_decoded_size)->Arg(32);

[[maybe_unused]] const bool kernels_registered = [] {
  for (const mivo::detail::kernel* k : mivo::detail::supported_kernels()) {
    benchmark::RegisterBenchmark((std::string("BM_kernel_encode/") + k->name).c_str(),
                                 BM_kernel_encode, k)
        ->Apply(sizes);
    benchmark::RegisterBenchmark((std::string("BM_kernel_decode/") + k->name).c_str(),
                                 BM_kernel_decode, k)
        ->Apply(sizes);
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
